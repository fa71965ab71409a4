// Writes what Tandrel.DLL's own DllRegisterServer puts in the registry as the
// registry elements of the Windows Installer package, so that the package
// registers the band through the Installer's own tables while the DLL's
// registry script stays their one source. The DLL registers and unregisters
// itself in a registry sandbox of this process, which goes with it: the
// registry of the machine that builds the package is left as it was.
//
// Usage: RegistrationHarvest.exe <DLL> <file reference> <folder reference> <output .wxi>
// A value that is the DLL's path becomes the file reference ("[#TandrelDll]"),
// one that is its folder the folder reference; any other mention of the
// folder is refused, as the package would carry the build machine's path.
//
// A key that unregistration keeps (a NoRemove key of the script, such as the
// browser's shared Toolbar key) is a row of its own, created and kept, so
// that the uninstall never takes a key that others share or that was there
// before. A key that registration creates without a value and unregistration
// removes is a row too, created and removed with the package. Other keys the
// Installer creates with their values, and removes once they are empty.
#include <windows.h>
#include <stdio.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/common/RegistrySandbox.h"

namespace {

const struct {
    HKEY root;
    const char* name; // as WiX names the root
} kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKCR"},
    {HKEY_LOCAL_MACHINE, "HKLM"},
    {HKEY_CURRENT_USER, "HKCU"},
    {HKEY_USERS, "HKU"},
};

struct CValue {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

struct CKeyState {
    bool hasSubkeys = false;
    std::vector<CValue> values;
};

// Every key below every root, by "ROOT\path".
using CRegistryState = std::map<std::string, CKeyState>;

void ReadTree(HKEY root, const std::string& path, const std::string& shown, CRegistryState& state)
{
    CKeyState& key = state[shown];
    for (const std::string& name : RegistryProbe::ValueNames(root, path)) {
        auto raw = RegistryProbe::ReadRaw(root, path, name);
        if (!raw)
            throw std::runtime_error("cannot read " + shown + " : " + name);
        key.values.push_back({name, raw->first, raw->second});
    }
    for (const std::string& sub : RegistryProbe::SubkeyNames(root, path)) {
        key.hasSubkeys = true;
        ReadTree(root, path + "\\" + sub, shown + "\\" + sub, state);
    }
}

CRegistryState ReadState()
{
    CRegistryState state;
    for (const auto& root : kRoots)
        for (const std::string& sub : RegistryProbe::SubkeyNames(root.root, ""))
            ReadTree(root.root, sub, std::string(root.name) + "\\" + sub, state);
    return state;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

bool ContainsIgnoringCase(const std::string& text, const std::string& part)
{
    for (size_t at = 0; at + part.size() <= text.size(); ++at)
        if (EqualsIgnoringCase(text.substr(at, part.size()), part))
            return true;
    return false;
}

std::string Xml(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Registry text is in the ANSI code page; the package's source is UTF-8.
std::string Utf8(const std::string& text)
{
    int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring converted(wide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), converted.data(), wide);
    int narrow = WideCharToMultiByte(CP_UTF8, 0, converted.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(narrow, '\0');
    WideCharToMultiByte(CP_UTF8, 0, converted.data(), wide, out.data(), narrow, nullptr, nullptr);
    return out;
}

// Square brackets open a reference in the Installer's formatted text.
std::string Formatted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '[')
            out += "[\\[]";
        else if (c == ']')
            out += "[\\]]";
        else
            out += c;
    }
    return out;
}

class CHarvest {
public:
    CHarvest(std::string module, std::string fileReference, std::string folderReference)
        : m_module(std::move(module)), m_folder(m_module.substr(0, m_module.rfind('\\'))),
          m_fileReference(std::move(fileReference)), m_folderReference(std::move(folderReference))
    {
    }

    // The elements for the registry after registration, given what
    // unregistration leaves.
    std::string Elements(const CRegistryState& registered, const CRegistryState& unregistered) const
    {
        std::string elements;
        for (const auto& [key, state] : registered) {
            auto kept = unregistered.find(key);
            if (kept != unregistered.end() && !kept->second.values.empty())
                throw std::runtime_error("unregistration keeps values of " + key);
            for (const CValue& value : state.values)
                elements += Value(key, value);
            if (kept != unregistered.end())
                elements += KeyRow(key, "+");
            else if (state.values.empty() && !state.hasSubkeys)
                elements += KeyRow(key, "*");
        }
        return elements;
    }

private:
    std::string Value(const std::string& key, const CValue& value) const
    {
        if (value.type == REG_SZ) {
            std::string text(value.data.begin(), value.data.end());
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            return Element(key, value.name, "string", StringData(key, text));
        }
        if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
            DWORD number;
            memcpy(&number, value.data.data(), sizeof(number));
            return Element(key, value.name, "integer", std::to_string(number));
        }
        throw std::runtime_error("a value of a type the package does not write: " + key + " : " + value.name);
    }

    std::string StringData(const std::string& key, const std::string& text) const
    {
        if (text.empty())
            throw std::runtime_error("an empty string, which the Installer's tables cannot tell from no value: " + key);
        if (EqualsIgnoringCase(text, m_module))
            return m_fileReference;
        if (EqualsIgnoringCase(text, m_folder))
            return m_folderReference;
        if (ContainsIgnoringCase(text, m_folder))
            throw std::runtime_error("a path of the build machine in " + key + ": " + text);
        return Formatted(text);
    }

    // A row with no value that only creates a key ("+"), or creates it and
    // removes it on uninstall ("*").
    static std::string KeyRow(const std::string& key, const char* name)
    {
        return Element(key, name, "string", "");
    }

    static std::string Element(const std::string& key, const std::string& name, const std::string& type,
                               const std::string& data)
    {
        size_t separator = key.find('\\');
        std::string element = "  <RegistryValue Root=\"" + key.substr(0, separator) + "\" Key=\"" +
                              Xml(Utf8(Formatted(key.substr(separator + 1)))) + "\"";
        if (!name.empty())
            element += " Name=\"" + Xml(Utf8(Formatted(name))) + "\"";
        return element + " Type=\"" + type + "\" Value=\"" + Xml(Utf8(data)) + "\"/>\n";
    }

    std::string m_module;
    std::string m_folder;
    std::string m_fileReference;
    std::string m_folderReference;
};

class CLibrary {
public:
    explicit CLibrary(const char* path) : m_h(LoadLibraryA(path))
    {
        if (!m_h)
            throw std::runtime_error(std::string("cannot load ") + path);
    }
    ~CLibrary() { FreeLibrary(m_h); }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;

    std::string Path() const
    {
        char path[MAX_PATH];
        DWORD length = GetModuleFileNameA(m_h, path, MAX_PATH);
        if (length == 0 || length == MAX_PATH)
            throw std::runtime_error("cannot read the DLL's path");
        return std::string(path, length);
    }

    void Call(const char* entryPoint) const
    {
        auto function = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(m_h, entryPoint)));
        if (!function)
            throw std::runtime_error(std::string("no ") + entryPoint);
        HRESULT hr = function();
        if (hr != S_OK) {
            char text[96];
            snprintf(text, sizeof(text), "%s returned 0x%08lx", entryPoint, static_cast<unsigned long>(hr));
            throw std::runtime_error(text);
        }
    }

private:
    HMODULE m_h;
};

std::string Harvest(const char* dll, const char* fileReference, const char* folderReference)
{
    CRegistrySandbox sandbox;
    CLibrary library(dll);
    library.Call("DllRegisterServer");
    CRegistryState registered = ReadState();
    CHarvest harvest(library.Path(), fileReference, folderReference);
    library.Call("DllUnregisterServer");
    return harvest.Elements(registered, ReadState());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: RegistrationHarvest <DLL> <file reference> <folder reference> <output .wxi>\n");
        return 2;
    }
    try {
        std::string elements = Harvest(argv[1], argv[2], argv[3]);
        FILE* output = fopen(argv[4], "wb");
        if (!output)
            throw std::runtime_error(std::string("cannot write ") + argv[4]);
        fprintf(output,
                "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                "<!-- Written by RegistrationHarvest from what the DLL registers: not to be edited. -->\n"
                "<Include>\n%s</Include>\n",
                elements.c_str());
        fclose(output);
    } catch (const std::exception& e) {
        fprintf(stderr, "RegistrationHarvest: %s\n", e.what());
        return 1;
    }
    return 0;
}
