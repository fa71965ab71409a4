#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Redirects HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and
// HKEY_USERS of this process to fresh, empty keys for the sandbox's lifetime,
// so that a test sees exactly what the code under test wrote. Everything is
// deleted and the roots restored when the sandbox goes. The private keys live
// under the real HKCU\Software\TandrelTestSandbox, which the last sandbox to
// go removes. A sandbox that cannot be made throws before anything is
// redirected or left behind. In a 64-bit process the interface keys that type
// library registration writes into the 32-bit view pass the redirection; the
// sandbox removes them when it goes.
class CRegistrySandbox {
public:
    CRegistrySandbox();
    ~CRegistrySandbox();
    CRegistrySandbox(const CRegistrySandbox&) = delete;
    CRegistrySandbox& operator=(const CRegistrySandbox&) = delete;

    // The real key that stands in for a redirected root.
    HKEY StandIn(HKEY root) const;
    // Every key and value below every redirected root, one sorted line each.
    std::string Dump() const;
    // True when no redirected root holds anything.
    bool IsEmpty() const;

private:
    void Restore();

    std::string m_name;
    FILETIME m_created = {};
    HKEY m_hRoot = nullptr;
    struct Redirect {
        HKEY predefined;
        HKEY standIn;
        bool redirected;
    };
    std::vector<Redirect> m_redirects;
};

// Probes of the registry for exact assertions. Paths are relative to root;
// an empty value name stands for the key's default value.
namespace RegistryProbe {

bool KeyExists(HKEY root, const std::string& path);
std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name);
std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const std::string& name);
// Raw data and type of a value.
std::optional<std::pair<DWORD, std::vector<BYTE>>> ReadRaw(HKEY root, const std::string& path, const std::string& name);
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);
std::vector<std::string> ValueNames(HKEY root, const std::string& path);
// Every key below path (path itself included, as ""), with its values, one
// sorted line each: "key" or "key : name = TYPE data".
std::string DumpTree(HKEY root, const std::string& path);
// Lines sorted and joined in the form of DumpTree and CRegistrySandbox::Dump,
// for the expected side of a comparison with them.
std::string SortedDump(std::vector<std::string> lines);

} // namespace RegistryProbe
