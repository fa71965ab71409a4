#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registrar/RegObject.h"
#include "registrar/ScriptParser.h"
#include "registrar/ScriptTables.h"
#include "registrar/ScriptTextBuffer.h"
#include "support/Owners.h"
#include "tests/common/TestAccess.h"
#include "tests/registrar/ScriptTestSupport.h"

namespace {

struct ExpansionResult {
    HRESULT hr;
    std::string text;
};

ExpansionResult Expand(CRegObject& registrar, const char* script)
{
    CTestAccess::CLexer lexer(&registrar);
    LPSTR expanded = reinterpret_cast<LPSTR>(1);
    ExpansionResult result{lexer.ExpandScript(script, &expanded), ""};
    CTaskMemBlock<CHAR> owner(expanded);
    if (expanded)
        result.text = expanded;
    return result;
}

// Every token of a text, or the status of the read that failed.
struct TokenResult {
    HRESULT hr;
    std::vector<std::string> tokens;
};

TokenResult Tokens(const std::string& text)
{
    CTestAccess::CLexer lexer(nullptr, text.c_str());
    TokenResult result{S_OK, {}};
    std::vector<CHAR> token(CRegScriptParser::kTokenBytes);
    for (;;) {
        lexer.SkipSpace();
        if (lexer.AtEnd())
            return result;
        result.hr = lexer.ReadToken(token.data());
        if (FAILED(result.hr))
            return result;
        result.tokens.emplace_back(token.data());
    }
}

std::vector<std::string> List(std::initializer_list<const char*> items)
{
    return std::vector<std::string>(items.begin(), items.end());
}

} // namespace

TEST(Substitutions, LookupIgnoresCaseAndTheFirstOfEqualNamesWins)
{
    CRegObject registrar;
    EXPECT_EQ(S_OK, registrar.AddSubstitution(L"Module", L"C:\\a.dll"));
    EXPECT_EQ(S_OK, registrar.AddSubstitution(L"X", L"1"));
    EXPECT_EQ(S_OK, registrar.AddSubstitution(L"x", L"2"));
    EXPECT_STREQ(L"C:\\a.dll", registrar.FindSubstitution("MODULE"));
    EXPECT_STREQ(L"C:\\a.dll", registrar.FindSubstitution("module"));
    EXPECT_STREQ(L"1", registrar.FindSubstitution("X"));
    EXPECT_EQ(nullptr, registrar.FindSubstitution("Other"));
    EXPECT_EQ(S_OK, registrar.ClearSubstitutions());
    EXPECT_EQ(nullptr, registrar.FindSubstitution("Module"));
}

TEST(Substitutions, NullArgumentsAreRefusedAndTheObjectCountsNothing)
{
    CRegObject registrar;
    EXPECT_EQ(E_INVALIDARG, registrar.AddSubstitution(nullptr, L"v"));
    EXPECT_EQ(E_INVALIDARG, registrar.AddSubstitution(L"n", nullptr));
    void* out = reinterpret_cast<void*>(7);
    EXPECT_EQ(E_NOTIMPL, registrar.QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(reinterpret_cast<void*>(7), out);
    EXPECT_EQ(1u, registrar.AddRef());
    EXPECT_EQ(0u, registrar.Release());
    EXPECT_EQ(0u, registrar.Release());
}

TEST(Expansion, ReplacesReferencesAnywhereAndKeepsEverythingElse)
{
    CRegObject registrar;
    registrar.AddSubstitution(L"Module", L"C:\\It''s\\a.dll");
    registrar.AddSubstitution(L"Pct", L"50%");
    EXPECT_EQ(S_OK, Expand(registrar, "InprocServer32 = s '%MODULE%'").hr);
    EXPECT_EQ("InprocServer32 = s 'C:\\It''s\\a.dll'", Expand(registrar, "InprocServer32 = s '%MODULE%'").text);
    EXPECT_EQ("C:\\It''s\\a.dllC:\\It''s\\a.dll", Expand(registrar, "%module%%Module%").text);
    EXPECT_EQ("50% and 50%", Expand(registrar, "50%% and %Pct%").text);
    EXPECT_EQ("HKCR { '{x}' }", Expand(registrar, "HKCR { '{x}' }").text);
}

TEST(Expansion, EmptyScriptGivesEmptyText)
{
    CRegObject registrar;
    const ExpansionResult result = Expand(registrar, "");
    EXPECT_EQ(S_OK, result.hr);
    EXPECT_EQ("", result.text);
}

TEST(Expansion, BadReferencesFailWithTheirOwnStatusAndReturnNoText)
{
    CRegObject registrar;
    registrar.AddSubstitution(L"Module", L"m");
    const std::string name31(31, 'N');
    const std::string name32(32, 'N');
    registrar.AddSubstitution(std::wstring(name31.begin(), name31.end()).c_str(), L"31");
    registrar.AddSubstitution(std::wstring(name32.begin(), name32.end()).c_str(), L"32");

    EXPECT_EQ("31", Expand(registrar, ("%" + name31 + "%").c_str()).text);
    const struct {
        std::string script;
        HRESULT expected;
    } cases[] = {
        {"%Unknown%", DISP_E_EXCEPTION},
        {"abc%def", DISP_E_EXCEPTION},
        {"abc%", DISP_E_EXCEPTION},
        {"%" + name32 + "%", E_FAIL},
    };
    for (const auto& c : cases) {
        const ExpansionResult result = Expand(registrar, c.script.c_str());
        EXPECT_EQ(c.expected, result.hr) << c.script;
        EXPECT_EQ("", result.text) << c.script;
    }
    CTestAccess::CLexer lexer(&registrar);
    LPSTR expanded;
    EXPECT_EQ(E_POINTER, lexer.ExpandScript(nullptr, &expanded));
    EXPECT_EQ(E_POINTER, lexer.ExpandScript("x", nullptr));
}

TEST(Expansion, GrowsPastItsFirstAllocationForLongValues)
{
    CRegObject registrar;
    const std::wstring longValue(5000, L'v');
    registrar.AddSubstitution(L"Long", longValue.c_str());
    const ExpansionResult result = Expand(registrar, "<%Long%><%Long%>");
    EXPECT_EQ(S_OK, result.hr);
    EXPECT_EQ("<" + std::string(5000, 'v') + "><" + std::string(5000, 'v') + ">", result.text);
}

TEST(ScriptTextBuffer, GrowsByDoublingAndRefusesSizesThatOverflow)
{
    CScriptTextBuffer buffer(4, 932);
    ASSERT_TRUE(buffer.IsAllocated());
    // The text and its terminator must stay below the capacity.
    EXPECT_TRUE(buffer.AppendBytes("abc", 3));
    EXPECT_EQ(8, CTestAccess::Capacity(buffer));
    EXPECT_TRUE(buffer.AppendChar("\x83\x5Cz"));
    EXPECT_EQ(5, CTestAccess::Length(buffer));
    EXPECT_EQ(8, CTestAccess::Capacity(buffer));
    EXPECT_TRUE(buffer.AppendWide(L"\x30BD"));
    EXPECT_FALSE(buffer.AppendWide(nullptr));
    EXPECT_FALSE(buffer.AppendBytes("x", 0x7FFFFFFF));
    EXPECT_EQ(7, CTestAccess::Length(buffer));
    EXPECT_EQ(16, CTestAccess::Capacity(buffer));
    CTaskMemBlock<CHAR> text(buffer.TakeText());
    EXPECT_STREQ("abc\x83\x5C\x83\x5C", text.Get());
    EXPECT_FALSE(buffer.IsAllocated());
    EXPECT_FALSE(buffer.AppendBytes("x", 1));
}

TEST(Tokens, WhiteSpaceIsTabLineFeedReturnAndBlankOnly)
{
    EXPECT_EQ(List({"a", "=", "b", "c", "d"}), Tokens(" a\t=\r\nb  c\nd ").tokens);
    EXPECT_EQ(List({"a\fb", "c\vd"}), Tokens("a\fb c\vd").tokens);
    EXPECT_EQ(List({"a=b", "{x", "}y", "%p%"}), Tokens("a=b {x }y %p%").tokens);
}

TEST(Tokens, QuotedStringsDropTheirQuotesAndUndoubleInnerOnes)
{
    EXPECT_EQ(List({"It's"}), Tokens("'It''s'").tokens);
    EXPECT_EQ(List({"", "x"}), Tokens("'' x").tokens);
    EXPECT_EQ(List({"a", "b"}), Tokens("'a'b").tokens);
    EXPECT_EQ(List({"a b\tc"}), Tokens("'a b\tc'").tokens);
    EXPECT_EQ(List({"ab'c"}), Tokens("ab'c").tokens);
    EXPECT_EQ(DISP_E_EXCEPTION, Tokens("'abc").hr);
    EXPECT_EQ(DISP_E_EXCEPTION, Tokens("'abc''").hr);
}

TEST(Tokens, ATokenHoldsAtMost4094Bytes)
{
    const TokenResult longest = Tokens(std::string(4094, 'k'));
    EXPECT_EQ(S_OK, longest.hr);
    ASSERT_EQ(1u, longest.tokens.size());
    EXPECT_EQ(4094u, longest.tokens[0].size());
    EXPECT_EQ(DISP_E_EXCEPTION, Tokens(std::string(4095, 'k')).hr);
    EXPECT_EQ(S_OK, Tokens("'" + std::string(4094, 'q') + "'").hr);
    EXPECT_EQ(DISP_E_EXCEPTION, Tokens("'" + std::string(4095, 'q') + "'").hr);
}

TEST(Tokens, ReadingPastTheEndFails)
{
    CTestAccess::CLexer lexer(nullptr, "  \r\n");
    CHAR token[CRegScriptParser::kTokenBytes];
    EXPECT_EQ(DISP_E_EXCEPTION, lexer.ReadToken(token));
}

TEST(Tokens, ValueClauseIsSkippedOnlyAfterAnEqualsSign)
{
    CTestAccess::CLexer lexer(nullptr, "t 'x y' next");
    CHAR token[CRegScriptParser::kTokenBytes];
    lstrcpyA(token, "=");
    EXPECT_EQ(S_OK, lexer.SkipValueClause(token));
    EXPECT_STREQ("next", token);
    lstrcpyA(token, "{");
    EXPECT_EQ(S_OK, lexer.SkipValueClause(token));
    EXPECT_STREQ("{", token);
    lexer.SetText("s 'x'");
    lstrcpyA(token, "=");
    EXPECT_EQ(DISP_E_EXCEPTION, lexer.SkipValueClause(token));
}

TEST(Tables, RootNamesMapToTheirPredefinedKeys)
{
    EXPECT_EQ(HKEY_CLASSES_ROOT, RootKeyFromName("HKCR"));
    EXPECT_EQ(HKEY_CLASSES_ROOT, RootKeyFromName("hkcr"));
    EXPECT_EQ(HKEY_CLASSES_ROOT, RootKeyFromName("HKEY_CLASSES_ROOT"));
    EXPECT_EQ(HKEY_CURRENT_USER, RootKeyFromName("HKEY_CURRENT_USER"));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, RootKeyFromName("HKLM"));
    EXPECT_EQ(HKEY_USERS, RootKeyFromName("hku"));
    EXPECT_EQ(HKEY_PERFORMANCE_DATA, RootKeyFromName("HKPD"));
    EXPECT_EQ(HKEY_DYN_DATA, RootKeyFromName("HKDD"));
    EXPECT_EQ(HKEY_CURRENT_CONFIG, RootKeyFromName("HKCC"));
    EXPECT_EQ(HKEY_CURRENT_CONFIG, RootKeyFromName("HKEY_CURRENT_CONFIG"));
    EXPECT_EQ(nullptr, RootKeyFromName("HKCR2"));
    EXPECT_EQ(nullptr, RootKeyFromName(""));
}

TEST(Tables, TypeLettersAreSMDBInEitherCase)
{
    const struct {
        const char* letter;
        VARTYPE kind;
    } known[] = {{"s", VT_BSTR}, {"S", VT_BSTR}, {"m", VT_BSTR | VT_BYREF}, {"M", VT_BSTR | VT_BYREF},
                 {"d", VT_UI4},  {"D", VT_UI4},  {"b", VT_UI1},            {"B", VT_UI1}};
    for (const auto& k : known) {
        VARTYPE kind = VT_EMPTY;
        EXPECT_TRUE(ValueKindFromLetter(k.letter, &kind)) << k.letter;
        EXPECT_EQ(k.kind, kind) << k.letter;
    }
    VARTYPE kind;
    EXPECT_FALSE(ValueKindFromLetter("sz", &kind));
    EXPECT_FALSE(ValueKindFromLetter("e", &kind));
    EXPECT_FALSE(ValueKindFromLetter("", &kind));
}

TEST(Tables, HexDigitsAndProtectedNames)
{
    EXPECT_EQ(0, HexDigitValue('0'));
    EXPECT_EQ(9, HexDigitValue('9'));
    EXPECT_EQ(10, HexDigitValue('a'));
    EXPECT_EQ(15, HexDigitValue('F'));
    EXPECT_EQ(0, HexDigitValue('g'));
    EXPECT_EQ(0, HexDigitValue('\xA0'));
    EXPECT_FALSE(CTestAccess::CLexer::IsDeletableKeyName("clsid"));
    EXPECT_FALSE(CTestAccess::CLexer::IsDeletableKeyName("Component Categories"));
    EXPECT_FALSE(CTestAccess::CLexer::IsDeletableKeyName("SOFTWARE"));
    EXPECT_TRUE(CTestAccess::CLexer::IsDeletableKeyName("CLSIDs"));
    EXPECT_TRUE(CTestAccess::CLexer::IsDeletableKeyName("Programmable"));
}

TEST(DoubleByteText, FindCharNeverMatchesATrailByte)
{
    // 0x83 0x5C is one Shift-JIS character whose second byte is a backslash.
    const char text[] = "a\x83\x5C\\";
    EXPECT_EQ(text + 3, FindChar(text, '\\', 932));
    EXPECT_EQ(text + 2, FindChar(text, '\\', 1252));
    EXPECT_EQ(nullptr, FindChar("a\x83\x5C", '\\', 932));
    EXPECT_EQ(nullptr, FindChar(nullptr, '\\', 932));
    // A lead byte at the very end does not carry the terminator away.
    EXPECT_EQ(nullptr, FindChar("a\x83", '\\', 932));
}

TEST(DoubleByteText, TokensAndExpansionStepAndConvertInTheSystemCodePageWhateverTheThreadLocale)
{
    ASSERT_EQ(1252u, GetACP());
    CThreadLocale japanese(kJapaneseLocale);
    CRegObject registrar;
    registrar.AddSubstitution(L"Name", L"Caf\x00E9");
    const ExpansionResult expanded = Expand(registrar, "'\x83' %Name%");
    EXPECT_EQ(S_OK, expanded.hr);
    EXPECT_EQ("'\x83' Caf\xE9", expanded.text);
    // 0x83 is a lead byte in the thread's code page 932 but a character of
    // its own in the system's: the quote after it closes the string.
    EXPECT_EQ(List({"\x83", "\x83\x5C"}), Tokens("'\x83' \x83\x5C").tokens);
}
