#include "registrar/ScriptParser.h"

#include "registrar/RegistryKey.h"
#include "registrar/ScriptTables.h"
#include "support/Allocation.h"
#include "support/Owners.h"
#include "support/Status.h"
#include "support/TextConversion.h"

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;
// Binary and multi-string data up to 256 bytes need no heap block.
using CValueData = CScratchBuffers<256>;

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
    // Below the deepest level the walk recurses to, blocks are read in the
    // frame of the outermost of them: how many of them are open inside it.
    INT32 openInPlace = 0;
};

// What the keywords before an entry's name say about the entry. Both modes
// read them alike, so that unregistering takes the text for the same entries
// that registering wrote.
struct CRegScriptParser::CEntryHead {
    bool bForceRemove = false;
    bool bDelete = false;
    bool bDeletable = true;
    bool bValue = false;
};

HRESULT CRegScriptParser::RunScript(LPCSTR text, BOOL bRegister)
{
    LPSTR expanded = nullptr;
    HRESULT hr = ExpandScript(text, &expanded);
    if (FAILED(hr))
        return hr;
    CTaskMemBlock<CHAR> expandedOwner(expanded);
    m_pCursor = expanded;
    m_hrPassedOver = S_OK;
    CHAR token[kTokenBytes];
    while (*m_pCursor != '\0') {
        hr = RunRootBlock(token, bRegister);
        if (FAILED(hr))
            break;
        SkipSpace();
    }
    // Unregistering, a failure the walk went on past came before any that
    // ended it. (Registering, only the taking back goes on past one.)
    return bRegister || SUCCEEDED(m_hrPassedOver) ? hr : m_hrPassedOver;
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
        return WalkBlock(token, root, FALSE, FALSE);
    // The block is read through first without touching the registry, so that
    // one whose text the walk cannot finish writes nothing at all.
    LPCSTR blockStart = m_pCursor;
    hr = WalkBlock(token, root, TRUE, TRUE);
    if (FAILED(hr))
        return hr;
    m_pCursor = blockStart;
    hr = WalkBlock(token, root, TRUE, FALSE);
    if (FAILED(hr)) {
        // Take back what the failing block wrote; only the first failure counts.
        m_pCursor = blockStart;
        WalkBlock(token, root, FALSE, FALSE);
    }
    return hr;
}

// What an unregister walk cannot take away (a block nested too deeply, a key
// it cannot open) is passed over, so that the keys around it still go; the
// run fails all the same, with the first such failure.
void CRegScriptParser::PassOver(HRESULT hr)
{
    if (SUCCEEDED(m_hrPassedOver))
        m_hrPassedOver = hr;
}

// Read with the entry rules of every other block, in skip mode, so that a
// brace in a name or a value is not taken for the end of a block; the blocks
// inside it are counted instead of recursed into, so that no depth exhausts
// the stack. (Registering refuses such a block before it writes anything.)
HRESULT CRegScriptParser::PassOverDeepBlock(LPSTR token, INT32 depth)
{
    PassOver(DISP_E_EXCEPTION);
    CBlockLevel level{nullptr, TRUE, depth, {}};
    HRESULT hr = ReadToken(token);
    while (SUCCEEDED(hr)) {
        if (!IsClosingBrace(token))
            hr = UnregisterEntry(token, level);
        else if (level.openInPlace-- == 0)
            return S_OK;
        else
            hr = ReadToken(token);
    }
    return hr;
}

HRESULT CRegScriptParser::WalkBlock(LPSTR token, HKEY parent, BOOL bRegister, BOOL bSkip, INT32 depth)
{
    if (depth > kMaxNestingDepth)
        return bRegister ? DISP_E_EXCEPTION : PassOverDeepBlock(token, depth);
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

// The keywords in the order the language gives them: ForceRemove or Delete,
// then NoRemove, then val. The token left is the key's name, or val.
HRESULT CRegScriptParser::ReadEntryHead(LPSTR token, CEntryHead& head)
{
    HRESULT hr = S_OK;
    head.bForceRemove = IsKeyword(token, kKeywordForceRemove);
    head.bDelete = IsKeyword(token, kKeywordDelete);
    if (head.bForceRemove || head.bDelete)
        hr = ReadToken(token);
    if (SUCCEEDED(hr) && IsKeyword(token, kKeywordNoRemove)) {
        head.bDeletable = false;
        hr = ReadToken(token);
    }
    head.bValue = SUCCEEDED(hr) && IsKeyword(token, kKeywordVal);
    return hr;
}

// Register mode: one entry, from its first token up to the first token of
// the next entry. In skip mode the entry is only read, as far as it would
// be when written.
HRESULT CRegScriptParser::RegisterEntry(LPSTR token, CBlockLevel& level)
{
    CEntryHead head;
    HRESULT hr = ReadEntryHead(token, head);
    if (FAILED(hr))
        return hr;
    if (head.bValue) {
        hr = head.bDelete ? DeleteValueEntry(token, level) : RegisterValueEntry(token, level);
        return SUCCEEDED(hr) ? RefuseBlockAfterValueOrDelete(token) : hr;
    }
    if (!IsSingleKeyName(token))
        return DISP_E_EXCEPTION;
    if ((head.bForceRemove || head.bDelete) && !level.bSkip && IsDeletableKeyName(token)) {
        // An absent key is no error, and neither is one that stays.
        CBorrowedKey parent(level.hParent);
        parent.Key().DeleteTree(token);
    }
    if (head.bDelete) {
        hr = ReadToken(token);
        if (SUCCEEDED(hr))
            hr = SkipValueClause(token);
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

HRESULT CRegScriptParser::RegisterValueEntry(LPSTR token, CBlockLevel& level)
{
    CHAR valueName[kTokenBytes];
    const HRESULT hr = ReadValueHead(valueName, token);
    if (FAILED(hr))
        return hr;
    CBorrowedKey key(level.hParent);
    return WriteValue(key.Key(), valueName, token, level.bSkip);
}

// A deleted value is gone whatever its clause says. As for a deleted key, a
// value that stays is no error.
HRESULT CRegScriptParser::DeleteValueEntry(LPSTR token, CBlockLevel& level)
{
    CHAR valueName[kTokenBytes];
    const HRESULT hr = ReadValueHead(valueName, token);
    if (FAILED(hr))
        return hr;
    if (!level.bSkip)
        DeleteValue(level.hParent, valueName);
    return SkipValueClause(token);
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
    if (!level.bSkip) {
        const LONG error = OpenOrCreateKey(level.currentKey, level.hParent, token);
        if (error != ERROR_SUCCESS)
            return StatusFromWin32(error);
    }
    HRESULT hr = ReadToken(token);
    if (SUCCEEDED(hr) && token[0] == '=')
        hr = WriteValue(level.currentKey, nullptr, token, level.bSkip);
    if (SUCCEEDED(hr) && IsOpeningBrace(token)) {
        hr = WalkBlock(token, level.currentKey.Get(), TRUE, level.bSkip, level.depth + 1);
        if (SUCCEEDED(hr))
            hr = ReadToken(token);
    }
    return hr;
}

// Unregister mode: one entry, from its first token up to the first token of
// the next entry.
HRESULT CRegScriptParser::UnregisterEntry(LPSTR token, CBlockLevel& level)
{
    CEntryHead head;
    HRESULT hr = ReadEntryHead(token, head);
    if (FAILED(hr))
        return hr;
    if (head.bValue) {
        hr = UnregisterValueEntry(token, level, head.bDeletable);
        return SUCCEEDED(hr) ? RefuseBlockAfterValueOrDelete(token) : hr;
    }
    return UnregisterKeyEntry(token, level, head);
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
    error = key.DeleteValue(valueName);
    // A value that is not there is as good as deleted.
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
        return StatusFromWin32(error);
    return S_OK;
}

HRESULT CRegScriptParser::UnregisterKeyEntry(LPSTR token, CBlockLevel& level, const CEntryHead& head)
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
    const bool deletable = head.bDeletable && lstrlenA(token) < kKeyNameBytes;

    HRESULT hr = ReadToken(token);
    if (SUCCEEDED(hr))
        hr = SkipValueClause(token);
    if (SUCCEEDED(hr) && head.bDelete)
        hr = RefuseBlockAfterValueOrDelete(token);
    // A block walked in skip mode touches nothing, so it can fail only on
    // its syntax; going on from where it stopped would read the rest of the
    // block as entries of this level and delete keys the script never named
    // here.
    if (SUCCEEDED(hr) && IsOpeningBrace(token)) {
        hr = UnregisterNestedBlock(token, level, entrySkip);
        if (SUCCEEDED(hr))
            hr = ReadToken(token);
    }
    // A key that cannot be opened (one whose name the registry refuses, say)
    // keeps nothing of its parent's from going; its error came first.
    if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND)
        PassOver(StatusFromWin32(opened));
    if (FAILED(hr) || opened != ERROR_SUCCESS)
        return hr;

    const bool hasSubkeys = KeyHasSubkeys(level.currentKey.Get());
    const LONG closed = level.currentKey.Close();
    if (closed != ERROR_SUCCESS)
        return StatusFromWin32(closed);
    if (!deletable || hasSubkeys)
        return S_OK;
    return StatusFromWin32(RegDeleteKeyA(level.hParent, keyName));
}

// Returns with the token after the block's closing brace to come, or, for
// a block read in place (PassOverDeepBlock), the token after its opening one.
HRESULT CRegScriptParser::UnregisterNestedBlock(LPSTR token, CBlockLevel& level, BOOL bSkip)
{
    if (level.depth <= kMaxNestingDepth)
        return WalkBlock(token, level.currentKey.Get(), FALSE, bSkip, level.depth + 1);
    ++level.openInPlace;
    return S_OK;
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

HRESULT CRegScriptParser::WriteValue(CRegistryKey& key, LPCSTR valueName, LPSTR token, BOOL bSkip)
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
    // Skip mode checks the text as far as writing would, and writes nothing.
    switch (kind) {
    case kValueKindString:
        hr = bSkip ? S_OK : StatusFromWin32(key.WriteString(valueName, value, REG_SZ));
        break;
    case kValueKindNumber:
        hr = WriteNumberValue(key, valueName, value, bSkip);
        break;
    case kValueKindBinary:
        hr = WriteBinaryValue(key, valueName, value, bSkip);
        break;
    default:
        hr = bSkip ? S_OK : WriteMultiStringValue(key, valueName, value);
        break;
    }
    if (FAILED(hr))
        return hr;
    return ReadToken(token);
}

// A text the number parser refuses fails with the parser's own status
// rather than storing a number nobody wrote.
HRESULT CRegScriptParser::WriteNumberValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text, BOOL bSkip)
{
    CTextConverter converter;
    LPWSTR wide = converter.ToWide(text, CP_ACP);
    if (!wide)
        return E_OUTOFMEMORY;
    ULONG number = 0;
    const HRESULT hr = VarUI4FromStr(wide, 0, 0, &number);
    if (FAILED(hr) || bSkip)
        return hr;
    return StatusFromWin32(key.WriteDword(valueName, number));
}

// Two hex digits a byte, high nibble first; anything that is not a hex
// digit counts as 0.
HRESULT CRegScriptParser::WriteBinaryValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text, BOOL bSkip)
{
    const size_t digits = static_cast<size_t>(lstrlenA(text));
    if (digits % 2 != 0)
        return E_FAIL;
    if (bSkip)
        return S_OK;
    CValueData buffer;
    auto* data = static_cast<BYTE*>(buffer.Allocate(static_cast<UINT32>(digits / 2)));
    if (!data)
        return E_OUTOFMEMORY;
    ZeroMemory(data, digits / 2);
    for (size_t i = 0; i < digits; ++i)
        data[i / 2] |= static_cast<BYTE>(HexDigitValue(text[i]) << (i % 2 == 0 ? 4 : 0));
    return StatusFromWin32(key.WriteData(valueName, REG_BINARY, data, static_cast<DWORD>(digits / 2)));
}

// "\0" separates the strings; a double-byte character is copied whole, so
// its trail byte is never taken for a backslash.
HRESULT CRegScriptParser::WriteMultiStringValue(CRegistryKey& key, LPCSTR valueName, LPCSTR text)
{
    CValueData buffer;
    auto* data = static_cast<LPSTR>(buffer.Allocate(static_cast<UINT32>(lstrlenA(text)) + 2));
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
