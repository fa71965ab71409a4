#include "registrar/ScriptParser.h"

#include "registrar/RegistryKey.h"
#include "registrar/ScriptTables.h"
#include "support/Owners.h"
#include "support/Status.h"
#include "support/TextConversion.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
// Binary and multi-string data up to this size need no heap block.
constexpr size_t kFrameValueBytes = 256;

// A parent key held by someone else, lent to a wrapper for one operation and
// given back, never closed, when the loan ends.
class CBorrowedKey {
public:
    explicit CBorrowedKey(HKEY key) { m_key.Attach(key); }
    ~CBorrowedKey() { m_key.Detach(); }
    CBorrowedKey(const CBorrowedKey&) = delete;
    CBorrowedKey& operator=(const CBorrowedKey&) = delete;
    CRegistryKey& Key() { return m_key; }

private:
    CRegistryKey m_key;
};

// The buffer for one value's data: a block in the caller's frame when it is
// large enough, else a heap block owned by the caller.
BYTE* ValueDataBuffer(BYTE (&frame)[kFrameValueBytes], CHeapBlock<BYTE>& heap, size_t bytes)
{
    if (bytes <= kFrameValueBytes)
        return frame;
    heap.Reset(static_cast<BYTE*>(malloc(bytes)));
    return heap.Get();
}

bool IsOpeningBrace(LPCSTR token)
{
    return token[0] == '{' && token[1] == '\0';
}

bool IsClosingBrace(LPCSTR token)
{
    return token[0] == '}';
}

} // namespace

// One block level of the walk: the key of its latest key entry and the
// state every entry of the level starts from.
struct CRegScriptParser::CBlockLevel {
    HKEY hParent;
    BOOL bSkip;
    INT32 depth;
    CRegistryKey currentKey;
};

HRESULT CRegScriptParser::RunScript(LPCSTR text, BOOL bRegister)
{
    LPSTR expanded = nullptr;
    HRESULT hr = ExpandScript(text, &expanded);
    if (FAILED(hr))
        return hr;
    CTaskMemBlock<CHAR> expandedOwner(expanded);
    m_pCursor = expanded;
    CHAR token[kTokenBytes];
    while (*m_pCursor != '\0') {
        hr = RunRootBlock(token, bRegister);
        if (FAILED(hr))
            return hr;
        SkipSpace();
    }
    return S_OK;
}

HRESULT CRegScriptParser::RunRootBlock(LPSTR token, BOOL bRegister)
{
    HRESULT hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    HKEY root = RootKeyFromName(token);
    if (!root)
        return DISP_E_EXCEPTION;
    hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    if (token[0] != '{')
        return DISP_E_EXCEPTION;
    if (!bRegister)
        return UnregisterRootBlock(token, root);
    LPCSTR blockStart = m_pCursor;
    hr = WalkBlock(token, root, TRUE, FALSE);
    if (FAILED(hr)) {
        // Take back what the failing block wrote; only the first failure counts.
        m_pCursor = blockStart;
        UnregisterRootBlock(token, root);
    }
    return hr;
}

// A block nested too deeply is passed over without recursion, so an
// unregister walk (also the one taking back a failed registration) still
// removes the keys above it; the run fails all the same.
HRESULT CRegScriptParser::UnregisterRootBlock(LPSTR token, HKEY root)
{
    m_hrNesting = S_OK;
    const HRESULT hr = WalkBlock(token, root, FALSE, FALSE);
    return FAILED(hr) ? hr : m_hrNesting;
}

HRESULT CRegScriptParser::PassOverDeepBlock(LPSTR token)
{
    m_hrNesting = DISP_E_EXCEPTION;
    INT32 open = 1;
    HRESULT hr = ReadToken(token);
    while (SUCCEEDED(hr)) {
        if (token[0] == '=') {
            // Value text may hold braces of its own.
            hr = SkipValueClause(token);
            continue;
        }
        if (IsClosingBrace(token) && --open == 0)
            return S_OK;
        if (IsOpeningBrace(token))
            ++open;
        hr = ReadToken(token);
    }
    return hr;
}

HRESULT CRegScriptParser::WalkBlock(LPSTR token, HKEY parent, BOOL bRegister, BOOL bSkip, INT32 depth)
{
    if (depth > kMaxNestingDepth)
        return bRegister ? DISP_E_EXCEPTION : PassOverDeepBlock(token);
    CBlockLevel level{parent, bSkip, depth, {}};
    HRESULT hr = ReadToken(token);
    while (SUCCEEDED(hr) && !IsClosingBrace(token))
        hr = bRegister ? RegisterEntry(token, level) : UnregisterEntry(token, level);
    return hr;
}

// A key entry names exactly one subkey of its parent. An empty name would
// stand for the parent itself, which ForceRemove, Delete and unregistering
// would then delete.
bool CRegScriptParser::IsSingleKeyName(LPCSTR name) const
{
    return name[0] != '\0' && FindChar(name, '\\', CP_ACP) == nullptr;
}

// Register mode: one entry, from its first token up to the first token of
// the next entry.
HRESULT CRegScriptParser::RegisterEntry(LPSTR token, CBlockLevel& level)
{
    HRESULT hr = S_OK;
    const bool isDelete = IsKeyword(token, kKeywordDelete);
    if (isDelete || IsKeyword(token, kKeywordForceRemove)) {
        hr = ReadToken(token);
        if (FAILED(hr))
            return hr;
        if (!IsSingleKeyName(token))
            return DISP_E_EXCEPTION;
        if (IsDeletableKeyName(token)) {
            // An absent key is no error, and neither is one that stays.
            CBorrowedKey parent(level.hParent);
            parent.Key().DeleteTree(token);
        }
        if (isDelete) {
            hr = ReadToken(token);
            if (SUCCEEDED(hr))
                hr = SkipValueClause(token);
            return SUCCEEDED(hr) ? RefuseBlockAfterValueOrDelete(token) : hr;
        }
    }
    if (IsKeyword(token, kKeywordNoRemove)) {
        hr = ReadToken(token);
        if (FAILED(hr))
            return hr;
    }
    if (IsKeyword(token, kKeywordVal)) {
        hr = RegisterValueEntry(token, level.hParent);
        return SUCCEEDED(hr) ? RefuseBlockAfterValueOrDelete(token) : hr;
    }
    return RegisterKeyEntry(token, level);
}

// A value or a deleted key has no block of its own to descend into.
HRESULT CRegScriptParser::RefuseBlockAfterValueOrDelete(LPCSTR token)
{
    return IsOpeningBrace(token) ? DISP_E_EXCEPTION : S_OK;
}

// The part both modes share: after `val`, the value name and the `=` token.
HRESULT CRegScriptParser::ReadValueHead(LPSTR valueName, LPSTR token)
{
    HRESULT hr = ReadToken(valueName);
    if (SUCCEEDED(hr))
        hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    return token[0] == '=' ? S_OK : DISP_E_EXCEPTION;
}

HRESULT CRegScriptParser::RegisterValueEntry(LPSTR token, HKEY parent)
{
    CHAR valueName[kTokenBytes];
    const HRESULT hr = ReadValueHead(valueName, token);
    if (FAILED(hr))
        return hr;
    CBorrowedKey key(parent);
    return WriteValue(key.Key(), valueName, token);
}

// A key that exists but can only be read is passed through, so that keys
// below it can still be reached.
LONG CRegScriptParser::OpenOrCreateKey(CRegistryKey& key, HKEY parent, LPCSTR name)
{
    if (key.Open(parent, name, kReadWrite) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    if (key.Open(parent, name, KEY_READ) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return key.Create(parent, name, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite, nullptr, nullptr);
}

HRESULT CRegScriptParser::RegisterKeyEntry(LPSTR token, CBlockLevel& level)
{
    if (!IsSingleKeyName(token))
        return DISP_E_EXCEPTION;
    const LONG error = OpenOrCreateKey(level.currentKey, level.hParent, token);
    if (error != ERROR_SUCCESS)
        return StatusFromWin32(error);
    HRESULT hr = ReadToken(token);
    if (SUCCEEDED(hr) && token[0] == '=')
        hr = WriteValue(level.currentKey, nullptr, token);
    if (SUCCEEDED(hr) && IsOpeningBrace(token)) {
        hr = WalkBlock(token, level.currentKey.m_hKey, TRUE, FALSE, level.depth + 1);
        if (SUCCEEDED(hr))
            hr = ReadToken(token);
    }
    return hr;
}

// Unregister mode: one entry, from its first token up to the first token of
// the next entry.
HRESULT CRegScriptParser::UnregisterEntry(LPSTR token, CBlockLevel& level)
{
    HRESULT hr = S_OK;
    if (IsKeyword(token, kKeywordForceRemove) || IsKeyword(token, kKeywordDelete)) {
        hr = ReadToken(token);
        if (FAILED(hr))
            return hr;
    }
    bool deletable = true;
    if (IsKeyword(token, kKeywordNoRemove)) {
        deletable = false;
        hr = ReadToken(token);
        if (FAILED(hr))
            return hr;
    }
    if (IsKeyword(token, kKeywordVal))
        return UnregisterValueEntry(token, level, deletable);
    return UnregisterKeyEntry(token, level, deletable);
}

HRESULT CRegScriptParser::UnregisterValueEntry(LPSTR token, CBlockLevel& level, bool deletable)
{
    CHAR valueName[kTokenBytes];
    HRESULT hr = ReadValueHead(valueName, token);
    if (FAILED(hr))
        return hr;
    if (!level.bSkip && deletable) {
        hr = DeleteValue(level.hParent, valueName);
        if (FAILED(hr))
            return hr;
    }
    return SkipValueClause(token);
}

HRESULT CRegScriptParser::DeleteValue(HKEY parent, LPCSTR valueName)
{
    CRegistryKey key;
    LONG error = key.Open(parent, nullptr, KEY_WRITE);
    if (error != ERROR_SUCCESS)
        return StatusFromWin32(error);
    error = RegDeleteValueA(key.m_hKey, valueName);
    // A value that is not there is as good as deleted.
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return StatusFromWin32(error);
    return S_OK;
}

HRESULT CRegScriptParser::UnregisterKeyEntry(LPSTR token, CBlockLevel& level, bool deletable)
{
    if (!IsSingleKeyName(token))
        return DISP_E_EXCEPTION;
    const LONG opened =
        level.bSkip ? ERROR_FILE_NOT_FOUND : level.currentKey.Open(level.hParent, token, KEY_READ);
    // A key that is not there is walked only to find where its block ends.
    const BOOL entrySkip = level.bSkip || opened != ERROR_SUCCESS;
    // A shortened name would name another key, so only a whole one is deleted.
    CHAR keyName[kKeyNameBytes];
    lstrcpynA(keyName, token, kKeyNameBytes);
    deletable = deletable && lstrlenA(token) < kKeyNameBytes;

    HRESULT hr = ReadToken(token);
    if (SUCCEEDED(hr))
        hr = SkipValueClause(token);
    // A block walked in skip mode touches nothing, so it can fail only on
    // its syntax; going on from where it stopped would read the rest of the
    // block as entries of this level and delete keys the script never named
    // here.
    if (SUCCEEDED(hr) && IsOpeningBrace(token)) {
        hr = WalkBlock(token, level.currentKey.m_hKey, FALSE, entrySkip, level.depth + 1);
        if (SUCCEEDED(hr))
            hr = ReadToken(token);
    }
    // The open failed first, so its error is the one reported.
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND)
        return StatusFromWin32(opened);
    if (FAILED(hr) || opened == ERROR_FILE_NOT_FOUND)
        return hr;

    const bool hasSubkeys = KeyHasSubkeys(level.currentKey.m_hKey);
    const LONG closed = level.currentKey.Close();
    if (closed != ERROR_SUCCESS)
        return StatusFromWin32(closed);
    if (!deletable || hasSubkeys)
        return S_OK;
    return StatusFromWin32(RegDeleteKeyA(level.hParent, keyName));
}

bool CRegScriptParser::IsDeletableKeyName(LPCSTR name)
{
    for (LPCSTR protectedName : ProtectedKeyNames) {
        if (lstrcmpiA(name, protectedName) == 0)
            return false;
    }
    return true;
}

bool CRegScriptParser::KeyHasSubkeys(HKEY key)
{
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys > 0;
}

HRESULT CRegScriptParser::WriteValue(CRegistryKey& key, LPCSTR valueName, LPSTR token)
{
    CHAR value[kTokenBytes];
    HRESULT hr = ReadToken(value);
    if (FAILED(hr))
        return hr;
    VARTYPE kind;
    if (!ValueKindFromLetter(value, &kind))
        return DISP_E_EXCEPTION;
    SkipSpace();
    hr = ReadToken(value);
    if (FAILED(hr))
        return hr;
    switch (kind) {
    case kValueKindString:
        hr = StatusFromWin32(key.WriteString(valueName, value, REG_SZ));
        break;
    case kValueKindNumber:
        hr = WriteNumberValue(key, valueName, value);
        break;
    case kValueKindBinary:
        hr = WriteBinaryValue(key, valueName, value);
        break;
    default:
        hr = WriteMultiStringValue(key, valueName, value);
        break;
    }
    if (FAILED(hr))
        return hr;
    return ReadToken(token);
}

// A text the number parser refuses fails with the parser's own status
// rather than storing a number nobody wrote.
HRESULT CRegScriptParser::WriteNumberValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text)
{
    CTextConverter converter;
    LPWSTR wide = converter.ToWide(text, CP_ACP);
    if (!wide)
        return E_OUTOFMEMORY;
    ULONG number = 0;
    const HRESULT hr = VarUI4FromStr(wide, 0, 0, &number);
    if (FAILED(hr))
        return hr;
    return StatusFromWin32(key.WriteDword(valueName, number));
}

// Two hex digits a byte, high nibble first; anything that is not a hex
// digit counts as 0.
HRESULT CRegScriptParser::WriteBinaryValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text)
{
    const size_t digits = static_cast<size_t>(lstrlenA(text));
    if (digits % 2 != 0)
        return E_FAIL;
    BYTE frame[kFrameValueBytes];
    CHeapBlock<BYTE> heap;
    BYTE* data = ValueDataBuffer(frame, heap, digits / 2);
    if (!data)
        return E_FAIL;
    ZeroMemory(data, digits / 2);
    for (size_t i = 0; i < digits; ++i)
        data[i / 2] |= static_cast<BYTE>(HexDigitValue(text[i]) << (i % 2 == 0 ? 4 : 0));
    return StatusFromWin32(
        RegSetValueExA(key.m_hKey, valueName, 0, REG_BINARY, data, static_cast<DWORD>(digits / 2)));
}

// "\0" separates the strings; a double-byte character is copied whole, so
// its trail byte is never taken for a backslash.
HRESULT CRegScriptParser::WriteMultiStringValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text)
{
    BYTE frame[kFrameValueBytes];
    CHeapBlock<BYTE> heap;
    auto* data = reinterpret_cast<LPSTR>(ValueDataBuffer(frame, heap, static_cast<size_t>(lstrlenA(text)) + 2));
    if (!data)
        return StatusFromWin32(ERROR_OUTOFMEMORY);
    LPSTR out = data;
    while (*text != '\0') {
        if (text[0] == '\\' && text[1] == '0') {
            *out++ = '\0';
            text += 2;
        } else if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(*text))) {
            *out++ = *text++;
            if (*text == '\0')
                break;
            *out++ = *text++;
        } else {
            *out++ = *text++;
        }
    }
    *out++ = '\0';
    *out = '\0';
    return StatusFromWin32(key.WriteMultiString(valueName, data));
}
