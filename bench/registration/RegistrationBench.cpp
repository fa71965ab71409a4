// Self-registration against the alternatives for the same registry entries:
// DllRegisterServer + DllUnregisterServer of the built DLL, an import and a
// removal with the platform's regedit from .reg files, and the raw registry
// calls that write and delete the entries one by one. Runs on the real
// registry of the Wine prefix and leaves it as it found it.
#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "support/Owners.h"
#include "tests/common/Platform.h"

namespace {

const char kClassId[] = "{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}";
const char kLibraryId[] = "{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}";
const char kInterfaceId[] = "{D27B5E90-48A3-4C1F-8E62-915AF0C7B3D8}";
const char kProxyStub[] = "{00020424-0000-0000-C000-000000000046}";
const char kToolbarKey[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";

struct Entry {
    HKEY root;
    std::string key;
    std::string name; // empty: the default value
    std::string data; // null text: the key alone
    bool hasValue;
};

// Everything registration writes: the script's entries and the type library
// registration, with the module path.
std::vector<Entry> RegisteredEntries(const std::string& module)
{
    const std::string cls = std::string("CLSID\\") + kClassId;
    const std::string lib = std::string("TypeLib\\") + kLibraryId + "\\1.0";
    const std::string itf = std::string("Interface\\") + kInterfaceId;
    const std::string folder = module.substr(0, module.rfind('\\'));
    HKEY cr = HKEY_CLASSES_ROOT;
    return {
        {cr, "Tandrel.RefresherBand.1", "", "Tandrel", true},
        {cr, "Tandrel.RefresherBand.1\\CLSID", "", kClassId, true},
        {cr, "Tandrel.RefresherBand", "", "Tandrel", true},
        {cr, "Tandrel.RefresherBand\\CLSID", "", kClassId, true},
        {cr, "Tandrel.RefresherBand\\CurVer", "", "Tandrel.RefresherBand.1", true},
        {cr, cls, "", "Tandrel", true},
        {cr, cls + "\\ProgID", "", "Tandrel.RefresherBand.1", true},
        {cr, cls + "\\VersionIndependentProgID", "", "Tandrel.RefresherBand", true},
        {cr, cls + "\\Programmable", "", "", false},
        {cr, cls + "\\InprocServer32", "", module, true},
        {cr, cls + "\\InprocServer32", "ThreadingModel", "Apartment", true},
        {cr, cls + "\\TypeLib", "", kLibraryId, true},
        {HKEY_LOCAL_MACHINE, kToolbarKey, kClassId, "0", true},
        {cr, lib, "", "Tandrel 1.0 Type Library", true},
        {cr, lib + "\\409\\" + kOwnPlatformKey, "", module, true},
        {cr, lib + "\\FLAGS", "", "8", true},
        {cr, lib + "\\HELPDIR", "", folder, true},
        {cr, itf, "", "IRefresherBand", true},
        {cr, itf + "\\ProxyStubClsid", "", kProxyStub, true},
        {cr, itf + "\\ProxyStubClsid32", "", kProxyStub, true},
        {cr, itf + "\\TypeLib", "", kLibraryId, true},
        {cr, itf + "\\TypeLib", "Version", "1.0", true},
    };
}

// What unregistration deletes, deepest first.
std::vector<std::pair<HKEY, std::string>> DeletedKeys()
{
    const std::string cls = std::string("CLSID\\") + kClassId;
    const std::string lib = std::string("TypeLib\\") + kLibraryId;
    const std::string itf = std::string("Interface\\") + kInterfaceId;
    HKEY cr = HKEY_CLASSES_ROOT;
    return {
        {cr, "Tandrel.RefresherBand.1\\CLSID"}, {cr, "Tandrel.RefresherBand.1"},
        {cr, "Tandrel.RefresherBand\\CLSID"}, {cr, "Tandrel.RefresherBand\\CurVer"}, {cr, "Tandrel.RefresherBand"},
        {cr, cls + "\\ProgID"}, {cr, cls + "\\VersionIndependentProgID"}, {cr, cls + "\\Programmable"},
        {cr, cls + "\\InprocServer32"}, {cr, cls + "\\TypeLib"}, {cr, cls},
        {cr, lib + "\\1.0\\409\\" + kOwnPlatformKey}, {cr, lib + "\\1.0\\409"}, {cr, lib + "\\1.0\\FLAGS"},
        {cr, lib + "\\1.0\\HELPDIR"}, {cr, lib + "\\1.0"}, {cr, lib},
        {cr, itf + "\\ProxyStubClsid"}, {cr, itf + "\\ProxyStubClsid32"}, {cr, itf + "\\TypeLib"}, {cr, itf},
    };
}

void WriteRaw(const std::vector<Entry>& entries)
{
    for (const Entry& entry : entries) {
        HKEY key = nullptr;
        RegCreateKeyExA(entry.root, entry.key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        if (entry.hasValue)
            RegSetValueExA(key, entry.name.empty() ? nullptr : entry.name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(entry.data.c_str()), static_cast<DWORD>(entry.data.size() + 1));
        RegCloseKey(key);
    }
}

void DeleteRaw()
{
    HKEY toolbar = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarKey, 0, KEY_SET_VALUE, &toolbar) == ERROR_SUCCESS) {
        RegDeleteValueA(toolbar, kClassId);
        RegCloseKey(toolbar);
    }
    for (const auto& key : DeletedKeys())
        RegDeleteKeyA(key.first, key.second.c_str());
}

std::string RootName(HKEY root)
{
    return root == HKEY_CLASSES_ROOT ? "HKEY_CLASSES_ROOT" : "HKEY_LOCAL_MACHINE";
}

std::string RegText(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return "\"" + escaped + "\"";
}

void WriteFileText(const std::string& path, const std::string& text)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ImportFile(const std::vector<Entry>& entries)
{
    std::string text = "REGEDIT4\r\n";
    for (const Entry& entry : entries) {
        text += "\r\n[" + RootName(entry.root) + "\\" + entry.key + "]\r\n";
        if (entry.hasValue)
            text += (entry.name.empty() ? std::string("@") : RegText(entry.name)) + "=" + RegText(entry.data) + "\r\n";
    }
    return text;
}

std::string RemovalFile()
{
    std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\" + std::string(kToolbarKey) + "]\r\n" +
                       RegText(kClassId) + "=-\r\n";
    for (const auto& key : DeletedKeys())
        text += "\r\n[-" + RootName(key.first) + "\\" + key.second + "]\r\n";
    return text;
}

void RunRegedit(const std::string& file)
{
    std::string command = "regedit.exe /s \"" + file + "\"";
    STARTUPINFOA startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

bool KeyExists(HKEY root, const char* path);

// One method is only timed once it has been seen to write the class key and
// to take it out again.
template <typename Write, typename Remove>
bool WritesAndRemoves(Write write, Remove remove)
{
    const std::string server = std::string("CLSID\\") + kClassId + "\\InprocServer32";
    write();
    const bool written = KeyExists(HKEY_CLASSES_ROOT, server.c_str());
    remove();
    return written && !KeyExists(HKEY_CLASSES_ROOT, server.c_str());
}

template <typename Cycle>
double MillisecondsPerCycle(int cycles, Cycle cycle)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    cycle(); // warm-up: module, caches and the registry's own structures
    QueryPerformanceCounter(&start);
    for (int i = 0; i < cycles; ++i)
        cycle();
    QueryPerformanceCounter(&end);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / cycles;
}

bool KeyExists(HKEY root, const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int cycles = argc > 1 ? atoi(argv[1]) : 20;
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string folder = program;
    folder.resize(folder.rfind('\\') + 1);
    const std::string module = folder + "Tandrel.DLL";

    const CModuleHandle dll(LoadLibraryA(module.c_str()));
    if (!dll) {
        printf("cannot load %s\n", module.c_str());
        return 1;
    }
    typedef HRESULT(STDAPICALLTYPE * EntryPoint)();
    auto registerServer = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(dll.Get(), "DllUnregisterServer")));
    const bool hadToolbar = KeyExists(HKEY_LOCAL_MACHINE, kToolbarKey);

    const std::vector<Entry> entries = RegisteredEntries(module);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string importPath = std::string(temp) + "TandrelBenchImport.reg";
    const std::string removalPath = std::string(temp) + "TandrelBenchRemoval.reg";
    WriteFileText(importPath, ImportFile(entries));
    WriteFileText(removalPath, RemovalFile());

    if (!WritesAndRemoves(registerServer, unregisterServer) ||
        !WritesAndRemoves([&] { WriteRaw(entries); }, DeleteRaw) ||
        !WritesAndRemoves([&] { RunRegedit(importPath); }, [&] { RunRegedit(removalPath); })) {
        printf("a method does not write and remove the entries; nothing measured\n");
        return 1;
    }

    const double selfRegistration = MillisecondsPerCycle(cycles, [&] {
        registerServer();
        unregisterServer();
    });
    const double raw = MillisecondsPerCycle(cycles, [&] {
        WriteRaw(entries);
        DeleteRaw();
    });
    const int regeditCycles = cycles / 4 > 0 ? cycles / 4 : 1;
    const double regedit = MillisecondsPerCycle(regeditCycles, [&] {
        RunRegedit(importPath);
        RunRegedit(removalPath);
    });

    DeleteFileA(importPath.c_str());
    DeleteFileA(removalPath.c_str());
    if (!hadToolbar)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kToolbarKey);

    printf("register + unregister, %d cycles (%d with regedit), %zu entries\n", cycles, regeditCycles, entries.size());
    printf("  DllRegisterServer + DllUnregisterServer  %9.3f ms/cycle\n", selfRegistration);
    printf("  regedit /s import + removal .reg files   %9.3f ms/cycle\n", regedit);
    printf("  raw registry calls                       %9.3f ms/cycle\n", raw);
    printf("  self-registration / regedit              %9.3f\n", selfRegistration / regedit);
    printf("  self-registration / raw calls            %9.3f\n", selfRegistration / raw);
    return 0;
}
