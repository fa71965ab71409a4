#include "tests/common/RegistrySandbox.h"

#include <stdio.h>

#include <algorithm>
#include <stdexcept>

namespace {

class CKey {
public:
    CKey() = default;
    ~CKey()
    {
        if (m_h)
            RegCloseKey(m_h);
    }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    HKEY* Receive() { return &m_h; }
    HKEY Get() const { return m_h; }

private:
    HKEY m_h = nullptr;
};

bool OpenForRead(HKEY root, const std::string& path, CKey& key)
{
    return RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

std::string Join(const std::string& path, const std::string& name)
{
    return path.empty() ? name : path + "\\" + name;
}

const char* TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return "SZ";
    case REG_EXPAND_SZ: return "EXPAND_SZ";
    case REG_BINARY: return "BINARY";
    case REG_DWORD: return "DWORD";
    case REG_MULTI_SZ: return "MULTI_SZ";
    default: return "OTHER";
    }
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data)
{
    char hex[4];
    std::string text;
    if (type == REG_DWORD && data.size() == 4) {
        DWORD value;
        memcpy(&value, data.data(), 4);
        char number[16];
        snprintf(number, sizeof(number), "0x%08lx", static_cast<unsigned long>(value));
        return number;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        text.assign(data.begin(), data.end());
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        return "\"" + text + "\"";
    }
    for (BYTE b : data) {
        snprintf(hex, sizeof(hex), "%02x", b);
        text += hex;
    }
    return text;
}

void DumpKey(HKEY root, const std::string& path, const std::string& shown, std::vector<std::string>& lines)
{
    lines.push_back(shown);
    for (const std::string& name : RegistryProbe::ValueNames(root, path)) {
        auto raw = RegistryProbe::ReadRaw(root, path, name);
        if (raw)
            lines.push_back(shown + " : " + (name.empty() ? "@" : name) + " = " + TypeName(raw->first) + " " +
                            FormatData(raw->first, raw->second));
    }
    for (const std::string& sub : RegistryProbe::SubkeyNames(root, path))
        DumpKey(root, Join(path, sub), Join(shown, sub), lines);
}

const struct {
    HKEY predefined;
    const char* name;
} kRedirectedRoots[] = {
    {HKEY_CLASSES_ROOT, "HKCR"},
    {HKEY_LOCAL_MACHINE, "HKLM"},
    {HKEY_CURRENT_USER, "HKCU"},
    {HKEY_USERS, "HKU"},
};

const char kSandboxesKey[] = "Software\\TandrelTestSandbox";
// A 64-bit process's type library registration writes the interfaces' keys
// into the 32-bit registry view as well, and the platform opens the classes
// root of the other view past any redirection: those keys land in the real
// registry. The ones written since the sandbox was made go with it. They are
// reached through the machine's key: the platform hands out a new handle for
// every opening of the other view's classes root, which Wine never closes.
void RemoveOtherViewInterfacesWrittenSince(const FILETIME& since)
{
#ifdef _WIN64
    CKey interfaces;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Wow6432Node\\Interface", 0, KEY_READ | KEY_WRITE,
                      interfaces.Receive()) != ERROR_SUCCESS)
        return;
    const auto writtenSince = [&since](HKEY key) {
        FILETIME written = {};
        return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, &written) == ERROR_SUCCESS &&
               CompareFileTime(&written, &since) >= 0;
    };
    if (!writtenSince(interfaces.Get()))
        return;
    for (const std::string& name : RegistryProbe::SubkeyNames(interfaces.Get(), "")) {
        CKey entry;
        if (!OpenForRead(interfaces.Get(), name, entry) || !writtenSince(entry.Get()))
            continue;
        RegDeleteTreeA(interfaces.Get(), name.c_str());
        RegDeleteKeyA(interfaces.Get(), name.c_str());
    }
#endif
}

} // namespace

// A sandbox that cannot be made throws: going on would let the caller write
// to the real registry.
CRegistrySandbox::CRegistrySandbox()
{
    static LONG s_counter;
    char name[96];
    snprintf(name, sizeof(name), "%s\\%lu-%ld", kSandboxesKey, GetCurrentProcessId(),
             InterlockedIncrement(&s_counter));
    m_name = name;
    GetSystemTimeAsFileTime(&m_created);
    if (RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hRoot, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the registry sandbox");
    for (const auto& root : kRedirectedRoots) {
        HKEY standIn = nullptr;
        if (RegCreateKeyExA(m_hRoot, root.name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &standIn, nullptr) != ERROR_SUCCESS) {
            Restore();
            throw std::runtime_error(std::string("cannot create the registry sandbox's ") + root.name);
        }
        m_redirects.push_back({root.predefined, standIn, false});
    }
    // HKCU last: the stand-ins above were created through the real one.
    for (auto it = m_redirects.rbegin(); it != m_redirects.rend(); ++it) {
        if (RegOverridePredefKey(it->predefined, it->standIn) != ERROR_SUCCESS) {
            Restore();
            throw std::runtime_error("cannot redirect a predefined registry key to the sandbox");
        }
        it->redirected = true;
    }
}

CRegistrySandbox::~CRegistrySandbox()
{
    Restore();
}

void CRegistrySandbox::Restore()
{
    for (const Redirect& redirect : m_redirects) {
        if (redirect.redirected)
            RegOverridePredefKey(redirect.predefined, nullptr);
        RegCloseKey(redirect.standIn);
    }
    m_redirects.clear();
    RegCloseKey(m_hRoot);
    RegDeleteTreeA(HKEY_CURRENT_USER, m_name.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, m_name.c_str());
    // The last sandbox takes the common key with it, so that a run leaves
    // the registry as it found it; one still in use elsewhere keeps it.
    RegDeleteKeyA(HKEY_CURRENT_USER, kSandboxesKey);
    RemoveOtherViewInterfacesWrittenSince(m_created);
}

HKEY CRegistrySandbox::StandIn(HKEY root) const
{
    for (const Redirect& redirect : m_redirects)
        if (redirect.predefined == root)
            return redirect.standIn;
    return nullptr;
}

std::string CRegistrySandbox::Dump() const
{
    std::vector<std::string> lines;
    for (size_t i = 0; i < m_redirects.size(); ++i)
        for (const std::string& sub : RegistryProbe::SubkeyNames(m_redirects[i].standIn, ""))
            DumpKey(m_redirects[i].standIn, sub, std::string(kRedirectedRoots[i].name) + "\\" + sub, lines);
    return RegistryProbe::SortedDump(lines);
}

bool CRegistrySandbox::IsEmpty() const
{
    for (const Redirect& redirect : m_redirects)
        if (!RegistryProbe::SubkeyNames(redirect.standIn, "").empty() || !RegistryProbe::ValueNames(redirect.standIn, "").empty())
            return false;
    return true;
}

namespace RegistryProbe {

bool KeyExists(HKEY root, const std::string& path)
{
    CKey key;
    return OpenForRead(root, path, key);
}

std::optional<std::pair<DWORD, std::vector<BYTE>>> ReadRaw(HKEY root, const std::string& path, const std::string& name)
{
    CKey key;
    if (!OpenForRead(root, path, key))
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<BYTE> data(size);
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    return std::make_pair(type, data);
}

std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name)
{
    auto raw = ReadRaw(root, path, name);
    if (!raw || (raw->first != REG_SZ && raw->first != REG_EXPAND_SZ))
        return std::nullopt;
    std::string text(raw->second.begin(), raw->second.end());
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const std::string& name)
{
    auto raw = ReadRaw(root, path, name);
    if (!raw || raw->first != REG_DWORD || raw->second.size() != 4)
        return std::nullopt;
    DWORD value;
    memcpy(&value, raw->second.data(), 4);
    return value;
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    CKey key;
    if (!OpenForRead(root, path, key))
        return names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    CKey key;
    if (!OpenForRead(root, path, key))
        return names;
    char name[16384];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumValueA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string DumpTree(HKEY root, const std::string& path)
{
    std::vector<std::string> lines;
    if (KeyExists(root, path))
        DumpKey(root, path, "", lines);
    return SortedDump(lines);
}

std::string SortedDump(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace RegistryProbe
