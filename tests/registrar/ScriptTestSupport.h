#pragma once
#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registrar/RegObject.h"
#include "registrar/ScriptParser.h"
#include "tests/common/ThreadLocale.h"

// The band's own registry script, as the DLL carries it.
extern const char kBandScript[];
extern const char kBandClassId[];
extern const char kModulePath[];

// Runs a script once with the substitutions a registration run provides
// ("Module" with its quotes doubled).
HRESULT RunScriptText(const std::string& script, BOOL bRegister);

// A value's type and data as RegistryProbe::ReadRaw gives them.
using RawValue = std::optional<std::pair<DWORD, std::vector<BYTE>>>;
RawValue Raw(DWORD type, std::vector<BYTE> data);
std::vector<BYTE> Bytes(std::initializer_list<int> values);

// Creates a key (and the keys above it) straight through the registry, with
// one string value when a name is given; the registry's error comes back.
LONG CreateKeyWithValue(HKEY root, const std::string& path, const char* name = nullptr, const char* text = nullptr,
                        DWORD options = REG_OPTION_NON_VOLATILE);

// A key whose DACL grants everyone only the given rights, given full
// rights back when the test ends so that its sandbox can be removed.
class CRestrictedKey {
public:
    CRestrictedKey(HKEY root, const char* path, DWORD allowed);
    ~CRestrictedKey();
    CRestrictedKey(const CRestrictedKey&) = delete;
    CRestrictedKey& operator=(const CRestrictedKey&) = delete;

private:
    bool SetDacl(DWORD allowed);

    HKEY m_hKey = nullptr;
};

