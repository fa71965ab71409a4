#include "registrar/ScriptParser.h"

#include "registrar/RegObject.h"
#include "registrar/ScriptTables.h"
#include "registrar/ScriptTextBuffer.h"
#include "support/SafeArithmetic.h"
#include "support/TextConversion.h"

CRegScriptParser::CRegScriptParser(CRegObject* registrar)
    : m_pRegistrar(registrar)
{
}

namespace {

// Twice the script, so that a script without long substitutions expands in
// one allocation; short scripts get room for a few paths.
HRESULT InitialExpansionCapacity(LPCSTR text, INT32* capacity)
{
    constexpr INT32 kSmallestStart = 100;
    constexpr INT32 kSmallScriptCapacity = 1000;
    if (FAILED(SafeMultiplySigned(capacity, lstrlenA(text), 2)))
        return E_OUTOFMEMORY;
    if (*capacity < kSmallestStart)
        *capacity = kSmallScriptCapacity;
    return S_OK;
}

} // namespace

HRESULT CRegScriptParser::ExpandScript(LPCSTR text, LPSTR* expanded)
{
    if (!text || !expanded)
        return E_POINTER;
    *expanded = nullptr;
    INT32 capacity;
    HRESULT hr = InitialExpansionCapacity(text, &capacity);
    if (FAILED(hr))
        return hr;
    CScriptTextBuffer buffer(capacity, CP_ACP);
    if (!buffer.IsAllocated())
        return E_OUTOFMEMORY;
    for (m_pCursor = text; *m_pCursor != '\0'; m_pCursor = NextChar(m_pCursor, CP_ACP)) {
        if (*m_pCursor == kSubstitutionMarker)
            hr = ExpandReference(buffer);
        else
            hr = buffer.AppendChar(m_pCursor) ? S_OK : E_OUTOFMEMORY;
        if (FAILED(hr))
            return hr;
    }
    *expanded = buffer.TakeText();
    return S_OK;
}

// Called on the opening marker; leaves the cursor on the last character the
// reference consumed (the closing marker, or the second of two markers).
HRESULT CRegScriptParser::ExpandReference(CScriptTextBuffer& buffer)
{
    ++m_pCursor;
    if (*m_pCursor == kSubstitutionMarker)
        return buffer.AppendChar(m_pCursor) ? S_OK : E_OUTOFMEMORY;
    LPCSTR closing = FindChar(m_pCursor, kSubstitutionMarker, CP_ACP);
    if (!closing)
        return DISP_E_EXCEPTION;
    const INT32 length = static_cast<INT32>(closing - m_pCursor);
    if (length > kMaxSubstitutionNameBytes)
        return E_FAIL;
    CHAR name[kMaxSubstitutionNameBytes + 1];
    CopyMemory(name, m_pCursor, static_cast<SIZE_T>(length));
    name[length] = '\0';
    LPCWSTR value = m_pRegistrar ? m_pRegistrar->FindSubstitution(name) : nullptr;
    if (!value)
        return DISP_E_EXCEPTION;
    if (!buffer.AppendWide(value))
        return E_OUTOFMEMORY;
    m_pCursor = closing;
    return S_OK;
}

void CRegScriptParser::SkipSpace()
{
    while (IsScriptWhiteSpace(*m_pCursor))
        m_pCursor = NextChar(m_pCursor, CP_ACP);
}

bool CRegScriptParser::AtClosingQuote() const
{
    return *m_pCursor == kQuote && *NextChar(m_pCursor, CP_ACP) != kQuote;
}

// Copies the whole character at the cursor, refusing one that would leave
// no room for the terminator.
HRESULT CRegScriptParser::CopyCharToToken(LPSTR token, INT32* length)
{
    LPCSTR next = NextChar(m_pCursor, CP_ACP);
    const INT32 charBytes = static_cast<INT32>(next - m_pCursor);
    if (*length + charBytes + 1 >= kTokenBytes)
        return DISP_E_EXCEPTION;
    CopyMemory(token + *length, m_pCursor, static_cast<SIZE_T>(charBytes));
    *length += charBytes;
    m_pCursor = next;
    return S_OK;
}

HRESULT CRegScriptParser::ReadQuotedToken(LPSTR token)
{
    INT32 length = 0;
    m_pCursor = NextChar(m_pCursor, CP_ACP);
    while (*m_pCursor != '\0' && !AtClosingQuote()) {
        // A quote here is the first of a doubled pair: the second one is kept.
        if (*m_pCursor == kQuote)
            m_pCursor = NextChar(m_pCursor, CP_ACP);
        const HRESULT hr = CopyCharToToken(token, &length);
        if (FAILED(hr))
            return hr;
    }
    if (*m_pCursor == '\0')
        return DISP_E_EXCEPTION;
    token[length] = '\0';
    m_pCursor = NextChar(m_pCursor, CP_ACP);
    return S_OK;
}

HRESULT CRegScriptParser::ReadToken(LPSTR token)
{
    SkipSpace();
    if (*m_pCursor == '\0')
        return DISP_E_EXCEPTION;
    if (*m_pCursor == kQuote)
        return ReadQuotedToken(token);
    INT32 length = 0;
    while (*m_pCursor != '\0' && !IsScriptWhiteSpace(*m_pCursor)) {
        const HRESULT hr = CopyCharToToken(token, &length);
        if (FAILED(hr))
            return hr;
    }
    token[length] = '\0';
    return S_OK;
}

HRESULT CRegScriptParser::SkipValueClause(LPSTR token)
{
    if (token[0] != '=')
        return S_OK;
    HRESULT hr = ReadToken(token);
    if (FAILED(hr))
        return hr;
    SkipSpace();
    CHAR value[kTokenBytes];
    hr = ReadToken(value);
    if (FAILED(hr))
        return hr;
    return ReadToken(token);
}
