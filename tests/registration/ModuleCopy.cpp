#include "tests/registration/ModuleCopy.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

// Long paths need the extended-length form for the file functions.
std::wstring Extended(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

void CreateFolders(const std::wstring& root, const std::wstring& relative)
{
    std::wstring path = root;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos)
            end = relative.size();
        path += L"\\" + relative.substr(start, end - start);
        CreateDirectoryW(Extended(path).c_str(), nullptr);
        start = end + 1;
    }
}

void DeleteFolderTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Extended(folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteFolderTree(child);
            else
                DeleteFileW(Extended(child).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(Extended(folder).c_str());
}

std::vector<BYTE> ReadResource(HMODULE module, LPCWSTR type, LPCWSTR name)
{
    HRSRC info = FindResourceW(module, name, type);
    if (!info)
        throw std::runtime_error("resource missing");
    auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    return std::vector<BYTE>(data, data + SizeofResource(module, info));
}

} // namespace

std::string ToAnsi(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &result[0], bytes, nullptr, nullptr);
    result.resize(bytes - 1);
    return result;
}

std::wstring ToWide(const std::string& text)
{
    int chars = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(chars, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], chars);
    result.resize(chars - 1);
    return result;
}

std::wstring BuiltModulePath()
{
    WCHAR program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring path = program;
    return path.substr(0, path.rfind(L'\\') + 1) + L"Tandrel.DLL";
}

CModuleCopy::CModuleCopy(const std::wstring& folder, const std::wstring& fileName)
{
    static LONG s_counter;
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_root = std::wstring(temp) + L"TandrelReg" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(InterlockedIncrement(&s_counter));
    CreateDirectoryW(Extended(m_root).c_str(), nullptr);
    CreateFolders(m_root, folder);
    m_path = m_root + L"\\" + folder + L"\\" + fileName;
    if (!CopyFileW(Extended(BuiltModulePath()).c_str(), Extended(m_path).c_str(), FALSE))
        throw std::runtime_error("cannot copy Tandrel.DLL");
}

CModuleCopy::~CModuleCopy()
{
    // A loaded file cannot be deleted.
    m_module.Reset();
    DeleteFolderTree(m_root);
}

std::string CModuleCopy::AnsiPath() const
{
    return ToAnsi(m_path);
}

std::wstring CModuleCopy::TypeLibraryPath() const
{
    size_t dot = m_path.rfind(L'.');
    return m_path.substr(0, dot) + L".tlb";
}

void CModuleCopy::Rename(const std::wstring& fileName)
{
    std::wstring renamed = m_path.substr(0, m_path.rfind(L'\\') + 1) + fileName;
    if (!MoveFileW(Extended(m_path).c_str(), Extended(renamed).c_str()))
        throw std::runtime_error("cannot rename the copy");
    m_path = renamed;
}

void CModuleCopy::HideResourceType(const std::wstring& type, wchar_t lastLetter)
{
    HANDLE file = CreateFileW(Extended(m_path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<BYTE> image(GetFileSize(file, nullptr));
    DWORD done = 0;
    ReadFile(file, image.data(), static_cast<DWORD>(image.size()), &done, nullptr);
    // A directory name is its length in UTF-16 units followed by the units.
    std::vector<BYTE> name{static_cast<BYTE>(type.size()), 0};
    for (wchar_t c : type) {
        name.push_back(static_cast<BYTE>(c));
        name.push_back(0);
    }
    auto found = std::search(image.begin(), image.end(), name.begin(), name.end());
    if (found == image.end())
        throw std::runtime_error("resource type not in the directory");
    *(found + name.size() - 2) = static_cast<BYTE>(lastLetter);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &done, nullptr);
    CloseHandle(file);
}

void CModuleCopy::AddResource(LPCWSTR type, LPCWSTR name, const std::string& data)
{
    HANDLE update = BeginUpdateResourceW(Extended(m_path).c_str(), FALSE);
    if (!update)
        throw std::runtime_error("cannot update resources");
    UpdateResourceW(update, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), const_cast<char*>(data.data()),
                    static_cast<DWORD>(data.size()));
    if (!EndUpdateResourceW(update, FALSE))
        throw std::runtime_error("cannot write resources");
}

void CModuleCopy::WriteTypeLibraryFile()
{
    const CModuleHandle built(LoadLibraryExW(BuiltModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const std::vector<BYTE> library = ReadResource(built.Get(), L"TYPELIB", MAKEINTRESOURCEW(1));
    HANDLE file = CreateFileW(Extended(TypeLibraryPath()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, library.data(), static_cast<DWORD>(library.size()), &written, nullptr);
    CloseHandle(file);
    if (written != library.size())
        throw std::runtime_error("cannot write the .tlb file");
}

HMODULE CModuleCopy::Load()
{
    m_module.Reset(LoadLibraryW(m_path.c_str()));
    if (!m_module)
        throw std::runtime_error("cannot load the copy of Tandrel.DLL");
    return m_module.Get();
}

HRESULT CModuleCopy::Call(const char* exportName)
{
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(m_module.Get(), exportName)));
    if (!entry)
        throw std::runtime_error("export missing");
    return entry();
}
