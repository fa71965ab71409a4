#include <gtest/gtest.h>

#include <random>

#include "tests/common/RegistrySandbox.h"
#include "tests/registrar/ScriptTestSupport.h"

namespace {

constexpr unsigned kSeed = 20261208;
constexpr int kScripts = 1000;

// The roots the sandbox leaves alone, sent into it as well, so that a script
// naming them cannot reach the real registry either.
class CExtraRootsRedirect {
public:
    explicit CExtraRootsRedirect(const CRegistrySandbox& sandbox)
    {
        const struct {
            HKEY root;
            const char* name;
        } roots[] = {{HKEY_CURRENT_CONFIG, "HKCC"}, {HKEY_PERFORMANCE_DATA, "HKPD"}, {HKEY_DYN_DATA, "HKDD"}};
        for (const auto& root : roots) {
            HKEY standIn = nullptr;
            RegCreateKeyExA(sandbox.StandIn(HKEY_USERS), root.name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &standIn,
                            nullptr);
            RegOverridePredefKey(root.root, standIn);
            m_redirects.push_back({root.root, standIn});
        }
    }
    ~CExtraRootsRedirect()
    {
        for (const auto& redirect : m_redirects) {
            RegOverridePredefKey(redirect.first, nullptr);
            RegCloseKey(redirect.second);
        }
    }
    CExtraRootsRedirect(const CExtraRootsRedirect&) = delete;
    CExtraRootsRedirect& operator=(const CExtraRootsRedirect&) = delete;

private:
    std::vector<std::pair<HKEY, HKEY>> m_redirects;
};

// Scripts built from the language's own pieces, then broken in small ways.
class CScriptMutator {
public:
    explicit CScriptMutator(unsigned seed) : m_random(seed) {}

    std::string Next()
    {
        std::string script = Pick(2) == 0 ? std::string(kBandScript) : RandomScript();
        const int mutations = Pick(4);
        for (int i = 0; i < mutations; ++i)
            Mutate(script);
        return script;
    }

private:
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }

    template <size_t N>
    const char* PickFrom(const char* const (&items)[N])
    {
        return items[Pick(static_cast<int>(N))];
    }

    std::string RandomValue()
    {
        static const char* const types[] = {"s", "d", "b", "m", "S", "t", "sz"};
        static const char* const texts[] = {"'x'", "'0A0b'", "'ABC'", "'4294967295'", "'one\\0two'", "''",
                                            "'It''s'", "'%MODULE%'", "'{'", "'}'", "12", "'\x83\x5C'"};
        return std::string(Pick(8) == 0 ? "=x" : "=") + " " + PickFrom(types) + " " + PickFrom(texts);
    }

    void AppendEntries(std::string& script, int depth)
    {
        static const char* const prefixes[] = {"", "", "", "ForceRemove ", "Delete ", "NoRemove ", "NoRemove val ",
                                               "val ", "ForceRemove NoRemove "};
        static const char* const names[] = {"K", "CLSID", "Software", "'Two words'", "Programmable", "A\\B",
                                            "{6F3A2D14-9C57-4E0B-A1D8-3B72C54E9A06}", "%MODULE_RAW%", "'\x83\x5CX'"};
        const int entries = Pick(4);
        for (int i = 0; i < entries; ++i) {
            script += std::string(" ") + PickFrom(prefixes) + PickFrom(names);
            if (Pick(2) == 0)
                script += " " + RandomValue();
            if (depth < 4 && Pick(2) == 0) {
                script += " {";
                AppendEntries(script, depth + 1);
                script += " }";
            }
        }
    }

    std::string RandomScript()
    {
        static const char* const roots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC", "HKEY_CURRENT_USER", "HKPD"};
        std::string script;
        const int blocks = 1 + Pick(3);
        for (int i = 0; i < blocks; ++i) {
            script += std::string(PickFrom(roots)) + "\r\n{";
            AppendEntries(script, 1);
            script += "\r\n}\r\n";
        }
        return script;
    }

    void Mutate(std::string& script)
    {
        static const char* const pieces[] = {"{", "}", "=", "'", "''", "%", "%%", "%MODULE%", "\\", " ", "val",
                                             "Delete", "NoRemove", "ForceRemove", "HKCU", "\x83", "{x", "}x"};
        const size_t at = script.empty() ? 0 : static_cast<size_t>(Pick(static_cast<int>(script.size())));
        switch (Pick(4)) {
        case 0:
            script.insert(at, PickFrom(pieces));
            break;
        case 1:
            script.erase(at, static_cast<size_t>(Pick(16)));
            break;
        case 2:
            script.insert(at, script.substr(at, static_cast<size_t>(Pick(64))));
            break;
        default:
            if (!script.empty())
                script[at] = static_cast<char>(1 + Pick(255));
            break;
        }
    }

    std::mt19937 m_random;
};

// Every status the engine has any business returning.
bool IsEngineStatus(HRESULT hr)
{
    return hr == S_OK || hr == DISP_E_EXCEPTION || hr == E_FAIL || hr == E_OUTOFMEMORY ||
           hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || (FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32);
}

// The parts of the real registry a script that escaped its sandbox would
// change: the top of every root and the existing keys that the scripts'
// names lead into. Subkey and value names, one line each.
std::string RealRegistry()
{
    const struct {
        HKEY root;
        const char* path;
    } places[] = {
        {HKEY_CLASSES_ROOT, ""},
        {HKEY_CLASSES_ROOT, "CLSID"},
        {HKEY_CURRENT_USER, ""},
        {HKEY_CURRENT_USER, "Software"},
        {HKEY_LOCAL_MACHINE, ""},
        {HKEY_LOCAL_MACHINE, "Software"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer"},
        {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Toolbar"},
        {HKEY_USERS, ""},
        {HKEY_CURRENT_CONFIG, ""},
    };
    std::string lines;
    for (const auto& place : places) {
        for (const std::string& name : RegistryProbe::SubkeyNames(place.root, place.path))
            lines += std::string(place.path) + "\\" + name + "\n";
        for (const std::string& name : RegistryProbe::ValueNames(place.root, place.path))
            lines += std::string(place.path) + " : " + name + "\n";
    }
    return lines;
}

} // namespace

TEST(ScriptFuzz, MutatedAndRandomScriptsAlwaysReturnAStatusAndStayInTheirSandbox)
{
    { CRegistrySandbox first; }
    const std::string before = RealRegistry();
    CScriptMutator mutator(kSeed);
    int succeeded = 0;
    for (int i = 0; i < kScripts; ++i) {
        const std::string script = mutator.Next();
        CRegistrySandbox sandbox;
        CExtraRootsRedirect extraRoots(sandbox);
        const HRESULT registered = RunScriptText(script, TRUE);
        const HRESULT unregistered = RunScriptText(script, FALSE);
        ASSERT_TRUE(IsEngineStatus(registered)) << std::hex << registered << "\n" << script;
        ASSERT_TRUE(IsEngineStatus(unregistered)) << std::hex << unregistered << "\n" << script;
        succeeded += registered == S_OK;
    }
    // The corpus must exercise the walker, not only the syntax checks.
    EXPECT_GT(succeeded, kScripts / 10);
    EXPECT_EQ(before, RealRegistry());
}
