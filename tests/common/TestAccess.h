#pragma once
#include <windows.h>

#include "registrar/ScriptParser.h"
#include "registrar/ScriptTextBuffer.h"
#include "server/Module.h"
#include "support/Allocation.h"
#include "support/CriticalSection.h"
#include "support/TextConversion.h"

// The tests' one way into steps and states the product keeps to itself: the
// lexer's single steps, where a buffer lives, whether a lock exists. Each
// class names this one friend; nothing else reaches past its public surface.
class CTestAccess {
public:
    static bool IsInitialized(const CSafeCriticalSection& section) { return section.m_bInitialized; }
    static bool IsEmpty(const CScratchBlockList& list) { return list.Empty(); }
    static void* Allocate(CTextConverter& converter, INT32 bytes) { return converter.m_buffers.Allocate(bytes); }
    static bool IsInFrame(const CTextConverter& converter, const void* p) { return converter.m_buffers.IsInFrame(p); }
    static INT32 Length(const CScriptTextBuffer& buffer) { return buffer.m_nLength; }
    static INT32 Capacity(const CScriptTextBuffer& buffer) { return buffer.m_nCapacity; }
    static ComModuleState& ComState() { return CComModule::ComState(); }

    // A parser's lexing steps over a text of the test's own.
    class CLexer {
    public:
        explicit CLexer(CRegObject* registrar = nullptr, LPCSTR text = "") : m_parser(registrar)
        {
            m_parser.m_pCursor = text;
        }
        void SetText(LPCSTR text) { m_parser.m_pCursor = text; }
        bool AtEnd() const { return *m_parser.m_pCursor == '\0'; }
        HRESULT ExpandScript(LPCSTR text, LPSTR* expanded) { return m_parser.ExpandScript(text, expanded); }
        HRESULT ReadToken(LPSTR token) { return m_parser.ReadToken(token); }
        void SkipSpace() { m_parser.SkipSpace(); }
        HRESULT SkipValueClause(LPSTR token) { return m_parser.SkipValueClause(token); }
        static bool IsDeletableKeyName(LPCSTR name) { return CRegScriptParser::IsDeletableKeyName(name); }

    private:
        CRegScriptParser m_parser;
    };
};
