#pragma once
#include <windows.h>
#include <wtypes.h>

class CRegObject;
class CRegistryKey;
class CScriptTextBuffer;

// Applies one registry script to the registry, in register or unregister
// mode, with the substitutions of its registrar. One parser serves one run on
// one thread. Text is stepped and converted in the system's ANSI code page,
// the one the registry's ANSI functions split names in, so that a trail byte
// the registry takes for a backslash is one here too, whatever the thread's
// locale.
class CRegScriptParser {
public:
    // Every token buffer handed to the parser has this many bytes.
    static constexpr INT32 kTokenBytes = 4096;
    // Remembered key names keep at most this many bytes less one.
    static constexpr INT32 kKeyNameBytes = 260;
    // Deeper nesting is refused rather than allowed to exhaust the stack.
    static constexpr INT32 kMaxNestingDepth = 64;
    static constexpr INT32 kMaxSubstitutionNameBytes = 31;

    explicit CRegScriptParser(CRegObject* registrar);
    CRegScriptParser(const CRegScriptParser&) = delete;
    CRegScriptParser& operator=(const CRegScriptParser&) = delete;

    HRESULT RunScript(LPCSTR text, BOOL bRegister);

private:
    friend class CTestAccess;
    struct CBlockLevel;
    struct CEntryHead;

    // Lexing.
    HRESULT ExpandScript(LPCSTR text, LPSTR* expanded);
    HRESULT ReadToken(LPSTR token);
    void SkipSpace();
    HRESULT SkipValueClause(LPSTR token);
    bool AtClosingQuote() const;
    HRESULT ExpandReference(CScriptTextBuffer& buffer);
    HRESULT CopyCharToToken(LPSTR token, INT32* length);
    HRESULT ReadQuotedToken(LPSTR token);

    // Walking.
    HRESULT WalkBlock(LPSTR token, HKEY parent, BOOL bRegister, BOOL bSkip, INT32 depth = 1);
    // In skip mode the value is read and checked but not written.
    HRESULT WriteValue(CRegistryKey& key, LPCSTR valueName, LPSTR token, BOOL bSkip);
    static bool IsDeletableKeyName(LPCSTR name);
    static bool KeyHasSubkeys(HKEY key);
    HRESULT RunRootBlock(LPSTR token, BOOL bRegister);
    void PassOver(HRESULT hr);
    HRESULT PassOverDeepBlock(LPSTR token, INT32 depth);
    bool IsSingleKeyName(LPCSTR name) const;
    HRESULT ReadEntryHead(LPSTR token, CEntryHead& head);
    HRESULT RegisterEntry(LPSTR token, CBlockLevel& level);
    HRESULT ReadValueHead(LPSTR valueName, LPSTR token);
    HRESULT RegisterValueEntry(LPSTR token, CBlockLevel& level);
    HRESULT DeleteValueEntry(LPSTR token, CBlockLevel& level);
    HRESULT RegisterKeyEntry(LPSTR token, CBlockLevel& level);
    static HRESULT RefuseBlockAfterValueOrDelete(LPCSTR token);
    static LONG OpenOrCreateKey(CRegistryKey& key, HKEY parent, LPCSTR name);
    HRESULT UnregisterEntry(LPSTR token, CBlockLevel& level);
    HRESULT UnregisterValueEntry(LPSTR token, CBlockLevel& level, bool deletable);
    HRESULT UnregisterKeyEntry(LPSTR token, CBlockLevel& level, const CEntryHead& head);
    HRESULT UnregisterNestedBlock(LPSTR token, CBlockLevel& level, BOOL bSkip);
    static HRESULT DeleteValue(HKEY parent, LPCSTR valueName);
    HRESULT WriteNumberValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text, BOOL bSkip);
    static HRESULT WriteBinaryValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text, BOOL bSkip);
    HRESULT WriteMultiStringValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text);

    LPCSTR m_pCursor = nullptr;
    CRegObject* m_pRegistrar;
    // The first failure an unregister walk went on past in this run.
    HRESULT m_hrPassedOver = S_OK;
};
