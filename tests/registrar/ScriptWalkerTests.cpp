#include <gtest/gtest.h>

#include "tests/common/ImportRedirect.h"
#include "tests/common/SandboxedTest.h"
#include "tests/registrar/ScriptTestSupport.h"

using namespace RegistryProbe;

namespace {

// A chain of keys each nested in the block of the one before, with the
// given entries in the innermost block and after the chain.
std::string NestedScript(int keys, const std::string& innermost = "", const std::string& after = "")
{
    std::string script = "HKCU {";
    for (int i = 0; i < keys; ++i)
        script += " K {";
    script += " " + innermost;
    for (int i = 0; i < keys; ++i)
        script += " }";
    return script + " " + after + " }";
}

} // namespace

class ScriptValues : public SandboxedTest {};

TEST_F(ScriptValues, EveryTypeIsWrittenWithItsExactData)
{
    EXPECT_EQ(S_OK, RunScriptText("HKCU { V = s 'default' { val S = s 'It''s' val D = d '4294967295'"
                                  " val B = b '0A0b' val Z = b 'zz' val E = b ''"
                                  " val M = m 'one\\0two' val C = m 'a\\0\\0b' val X =any s 'y' } }",
                                  TRUE));
    EXPECT_EQ(std::optional<std::string>("default"), ReadString(HKEY_CURRENT_USER, "V", ""));
    EXPECT_EQ(std::optional<std::string>("It's"), ReadString(HKEY_CURRENT_USER, "V", "S"));
    EXPECT_EQ(std::optional<DWORD>(0xFFFFFFFF), ReadDword(HKEY_CURRENT_USER, "V", "D"));
    EXPECT_EQ(Raw(REG_BINARY, Bytes({0x0A, 0x0B})), ReadRaw(HKEY_CURRENT_USER, "V", "B"));
    EXPECT_EQ(Raw(REG_BINARY, Bytes({0x00})), ReadRaw(HKEY_CURRENT_USER, "V", "Z"));
    EXPECT_EQ(Raw(REG_BINARY, Bytes({})), ReadRaw(HKEY_CURRENT_USER, "V", "E"));
    EXPECT_EQ(Raw(REG_MULTI_SZ, Bytes({'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0})), ReadRaw(HKEY_CURRENT_USER, "V", "M"));
    EXPECT_EQ(Raw(REG_MULTI_SZ, Bytes({'a', 0, 0})), ReadRaw(HKEY_CURRENT_USER, "V", "C"));
    EXPECT_EQ(std::optional<std::string>("y"), ReadString(HKEY_CURRENT_USER, "V", "X"));
}

TEST_F(ScriptValues, LongBinaryAndMultiStringDataLeaveTheFrameBuffer)
{
    const std::string hex(2 * 1000, 'f');
    const std::string items = std::string(300, 'a') + "\\0" + std::string(300, 'b');
    EXPECT_EQ(S_OK, RunScriptText("HKCU { V { val B = b '" + hex + "' val M = m '" + items + "' } }", TRUE));
    EXPECT_EQ(Raw(REG_BINARY, std::vector<BYTE>(1000, 0xFF)), ReadRaw(HKEY_CURRENT_USER, "V", "B"));
    std::vector<BYTE> multi(300, 'a');
    multi.push_back(0);
    multi.insert(multi.end(), 300, 'b');
    multi.insert(multi.end(), {0, 0});
    EXPECT_EQ(Raw(REG_MULTI_SZ, multi), ReadRaw(HKEY_CURRENT_USER, "V", "M"));
}

TEST_F(ScriptValues, NumbersTheParserRefusesFailWithItsStatusAndStoreNothing)
{
    EXPECT_EQ(DISP_E_TYPEMISMATCH, RunScriptText("HKCU { val N = d 'abc' }", TRUE));
    EXPECT_EQ(DISP_E_OVERFLOW, RunScriptText("HKCU { val N = d '4294967296' }", TRUE));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, RunScriptText("HKCU { val N = d '' }", TRUE));
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, "").empty());
}

TEST_F(ScriptValues, BadValueClausesFailAndWriteNothing)
{
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { A { val X = t 'y' } }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { A = sz 'y' }", TRUE));
    EXPECT_EQ(E_FAIL, RunScriptText("HKCU { A { val X = b 'ABC' } }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { A { val X s 'y' } }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { A { val X s 'y' } }", FALSE));
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();
}

// Binary data of more than the frame buffer's 256 bytes takes a heap block.
TEST_F(ScriptValues, BinaryDataWithoutMemoryForItsBufferFailsWithOutOfMemoryAndIsTakenBack)
{
    const std::string script = "HKCU { V { val B = b '" + std::string(2 * 300, 'f') + "' } }";
    HRESULT hr;
    {
        const CScopedImportRedirect refused(GetModuleHandleW(nullptr), RuntimeMalloc(),
                                            reinterpret_cast<const void*>(RefusedMalloc));
        hr = RunScriptText(script, TRUE);
    }
    EXPECT_EQ(E_OUTOFMEMORY, hr);
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();
}

class ScriptSyntax : public SandboxedTest {};

TEST_F(ScriptSyntax, MalformedScriptsFailWithDispatchException)
{
    const char* scripts[] = {
        "HKXX { }",            // unknown root
        "HKCR",                // root without block
        "HKCR = { }",          // root not followed by a brace
        "HKCR { A",            // text ends inside a block
        "HKCR { A = s 'x }",   // open quote
        "HKCR { A = s }",      // value text missing: '}' is read as the text
        "HKCR { %Unknown% }",  // unknown substitution
        "HKCR { A } }",        // stray closing brace at root level
        "  ",                  // white space where a root block is needed
    };
    for (const char* script : scripts) {
        EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(script, TRUE)) << script;
        EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(script, FALSE)) << script;
    }
    EXPECT_EQ(E_FAIL, RunScriptText("HKCR { %" + std::string(32, 'n') + "% }", TRUE));
    EXPECT_EQ(S_OK, RunScriptText("", TRUE));
    EXPECT_EQ(S_OK, RunScriptText("HKCR {x }\r\n\t", TRUE));
}

TEST_F(ScriptSyntax, TokenLimitHoldsInsideScripts)
{
    const std::string text4094(4094, 't');
    EXPECT_EQ(S_OK, RunScriptText("HKCU { val V = s '" + text4094 + "' }", TRUE));
    EXPECT_EQ(std::optional<std::string>(text4094), ReadString(HKEY_CURRENT_USER, "", "V"));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { val W = s '" + text4094 + "t' }", TRUE));
    EXPECT_EQ(std::vector<std::string>({"V"}), ValueNames(HKEY_CURRENT_USER, ""));
}

TEST_F(ScriptSyntax, BackslashInAKeyNameFailsInBothModes)
{
    for (const char* script : {"HKCU { A\\B }", "HKCU { ForceRemove A\\B }", "HKCU { Delete A\\B }",
                               "HKCU { NoRemove 'A\\B' }"}) {
        EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(script, TRUE)) << script;
        EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(script, FALSE)) << script;
    }
    EXPECT_TRUE(Sandbox().IsEmpty());
}

// An empty name would stand for the parent key itself: ForceRemove would
// empty it and unregistering would delete it.
TEST_F(ScriptSyntax, EmptyKeyNamesAreRefusedAndNeverDeleteTheParent)
{
    ASSERT_EQ(S_OK, RunScriptText("HKCU { Keep { Child = s 'c' } }", TRUE));
    const std::string registered = Sandbox().Dump();
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { NoRemove Keep { ForceRemove '' } }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { NoRemove Keep { Delete '' } }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { NoRemove Keep { Child { '' } } }", FALSE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { NoRemove Keep { '' = s 'x' } }", TRUE));
    EXPECT_EQ(registered, Sandbox().Dump());
}

TEST_F(ScriptSyntax, BracesCountOnlyAsWholeTokensWhereTheGrammarExpectsThem)
{
    // "}x" closes the block; "{x" in a block is the next entry, a key.
    EXPECT_EQ(S_OK, RunScriptText("HKCU {x A {x B }x", TRUE));
    EXPECT_EQ(std::vector<std::string>({"A", "B", "{x"}), SubkeyNames(HKEY_CURRENT_USER, ""));
    EXPECT_TRUE(SubkeyNames(HKEY_CURRENT_USER, "A").empty());
}

TEST_F(ScriptSyntax, QuotedKeywordsAreStillKeywords)
{
    EXPECT_EQ(S_OK, RunScriptText("HKCU { 'NoRemove' Kept 'val' V = S 'x' 'forceremove' Gone }", TRUE));
    EXPECT_EQ(std::vector<std::string>({"Gone", "Kept"}), SubkeyNames(HKEY_CURRENT_USER, ""));
    EXPECT_EQ(S_OK, RunScriptText("HKCU { 'NoRemove' Kept 'VAL' V = S 'x' 'forceremove' Gone }", FALSE));
    EXPECT_EQ(std::vector<std::string>({"Kept"}), SubkeyNames(HKEY_CURRENT_USER, ""));
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, "").empty());
}

class ScriptKeywords : public SandboxedTest {};

TEST_F(ScriptKeywords, ForceRemoveAndDeleteSpareProtectedNames)
{
    ASSERT_EQ(S_OK, RunScriptText("HKCU { CLSID { Old } Gone { Sub } }", TRUE));
    EXPECT_EQ(S_OK, RunScriptText("HKCU { ForceRemove clsid { New } Delete Gone = s 'ignored' }", TRUE));
    EXPECT_EQ(std::vector<std::string>({"New", "Old"}), SubkeyNames(HKEY_CURRENT_USER, "CLSID"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Gone"));
    // Deleting a key that is not there, or creating one anew, is no error.
    EXPECT_EQ(S_OK, RunScriptText("HKCU { Delete Gone ForceRemove Fresh = s 'v' }", TRUE));
    EXPECT_EQ(std::optional<std::string>("v"), ReadString(HKEY_CURRENT_USER, "Fresh", ""));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Gone"));
}

// Keywords after ForceRemove or Delete are keywords in both modes, never the
// name of a key to delete, so unregistering reads the entries registering
// wrote: a deleted value, a key made anew and kept, a value written anew.
TEST_F(ScriptKeywords, ForceRemoveAndDeleteApplyToTheWholeEntryInBothModes)
{
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, "P", "K", "old"));
    for (const char* key : {"P\\val", "P\\NoRemove", "P\\Kept\\Old"})
        ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, key));
    const char script[] =
        "HKCU { NoRemove P { Delete val K = s 'x' ForceRemove NoRemove Kept = s 'new' ForceRemove val V = s 'v' } }";
    EXPECT_EQ(S_OK, RunScriptText(script, TRUE));
    EXPECT_EQ(SortedDump({"HKCU\\P", "HKCU\\P : V = SZ \"v\"", "HKCU\\P\\Kept", "HKCU\\P\\Kept : @ = SZ \"new\"",
                          "HKCU\\P\\NoRemove", "HKCU\\P\\val"}),
              Sandbox().Dump());
    EXPECT_EQ(S_OK, RunScriptText(script, FALSE));
    EXPECT_EQ(SortedDump({"HKCU\\P", "HKCU\\P\\Kept", "HKCU\\P\\Kept : @ = SZ \"new\"", "HKCU\\P\\NoRemove",
                          "HKCU\\P\\val"}),
              Sandbox().Dump());
}

TEST_F(ScriptKeywords, BlocksAfterDeleteOrValueEntriesAreRefusedInBothModes)
{
    const char* scripts[] = {"HKCU { A { Delete B { C } } }", "HKCU { A { val V = s 'x' { B } } }"};
    for (const char* script : scripts)
        EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(script, TRUE)) << script;
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();
    // Unregistering reads no entry of the refused block as one of A's.
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, "A\\B"));
    for (const char* script : scripts) {
        EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(script, FALSE)) << script;
        EXPECT_EQ(SortedDump({"HKCU\\A", "HKCU\\A\\B"}), Sandbox().Dump()) << script;
    }
}

class ScriptUnregister : public SandboxedTest {};

TEST_F(ScriptUnregister, DeletesKeysWithTheirValuesButKeepsKeysWithSubkeysAndMarkedEntries)
{
    ASSERT_EQ(S_OK, RunScriptText("HKCU { Outer { CLSID = s 'x' { val A = s '1' } Kept { Extra } "
                                  "NoRemove Marked val Stays = s 'y' } }",
                                  TRUE));
    EXPECT_EQ(S_OK, RunScriptText("HKCU { Outer { CLSID { val A = s '1' } Kept NoRemove Marked NoRemove val Stays = s 'y' } }",
                                  FALSE));
    EXPECT_EQ(SortedDump({"HKCU\\Outer", "HKCU\\Outer : Stays = SZ \"y\"", "HKCU\\Outer\\Kept",
                          "HKCU\\Outer\\Kept\\Extra", "HKCU\\Outer\\Marked"}),
              Sandbox().Dump());
}

// Nothing is deleted in the block of an absent key, so a syntax error there
// is the only thing that can fail; reading on from where it stopped would take
// the rest of that block for entries of the level above.
TEST_F(ScriptUnregister, SyntaxErrorInTheBlockOfAnAbsentKeyEndsTheWalk)
{
    ASSERT_EQ(S_OK, RunScriptText("HKCU { Victim }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { Absent { val X s Victim }", FALSE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { Absent { A\\B Victim }", FALSE));
    // Refused when registering, so refused when unregistering too.
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { Absent { Deeper { '' } } }", FALSE));
    EXPECT_EQ(SortedDump({"HKCU\\Victim"}), Sandbox().Dump());
}

class ScriptRollback : public SandboxedTest {};

// The second root block fails half-way, at a key the registry refuses: the
// first stays registered, the second takes back everything it wrote.
TEST_F(ScriptRollback, FailingSecondRootBlockIsTakenBackAndTheFirstStays)
{
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_LOCAL_MACHINE, "Volatile", nullptr, nullptr, REG_OPTION_VOLATILE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE),
              RunScriptText("HKCR { First = s '1' } "
                            "HKLM { Second = s '2' { Inner { val V = s 'v' } } NoRemove Volatile { Child } }",
                            TRUE));
    EXPECT_EQ(SortedDump({"HKCR\\First", "HKCR\\First : @ = SZ \"1\"", "HKLM\\Volatile"}), Sandbox().Dump());
}

// A root block whose text the walk cannot finish writes nothing and takes
// nothing away; complete root blocks before it stay.
TEST_F(ScriptRollback, BlockThatDoesNotReadThroughLeavesTheRegistryAsItWas)
{
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CLASSES_ROOT, "A", "Old", "kept"));
    const std::string before = Sandbox().Dump();
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCR { A = s 'x' { B", TRUE));
    EXPECT_EQ(E_FAIL, RunScriptText("HKCR { A = s 'x' { B { val V = b 'ABC' } } }", TRUE));
    EXPECT_EQ(DISP_E_OVERFLOW, RunScriptText("HKCR { A { val N = d '1' } B { val N = d '4294967296' } }", TRUE));
    EXPECT_EQ(before, Sandbox().Dump());
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCR { Ok } HKCU { K = s 'x' { B { C", TRUE));
    EXPECT_EQ(SortedDump({"HKCR\\A", "HKCR\\A : Old = SZ \"kept\"", "HKCR\\Ok"}), Sandbox().Dump());
}

TEST_F(ScriptRollback, NestingIsBoundedAndTooDeepAScriptWritesNothing)
{
    EXPECT_EQ(S_OK, RunScriptText(NestedScript(CRegScriptParser::kMaxNestingDepth - 1), TRUE));
    std::string path = "K";
    for (int i = 1; i < CRegScriptParser::kMaxNestingDepth - 1; ++i)
        path += "\\K";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path));
    EXPECT_EQ(S_OK, RunScriptText(NestedScript(CRegScriptParser::kMaxNestingDepth - 1), FALSE));
    EXPECT_TRUE(Sandbox().IsEmpty());

    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(NestedScript(CRegScriptParser::kMaxNestingDepth), TRUE));
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(NestedScript(CRegScriptParser::kMaxNestingDepth), FALSE));
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText(NestedScript(100000), TRUE));
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();
}

// Past the deepest level the walk recurses to, blocks are still read by the
// grammar: a brace that is a name neither ends a block nor opens one, so the
// walk goes on at the right level and removes the key after the chain.
TEST_F(ScriptUnregister, BlocksNestedTooDeeplyArePassedOverByTheGrammar)
{
    for (const char* innermost : {"val '}' = s 'x' Victim", "'{' Victim"}) {
        ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, "Victim"));
        ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, "Gone"));
        EXPECT_EQ(DISP_E_EXCEPTION,
                  RunScriptText(NestedScript(CRegScriptParser::kMaxNestingDepth, innermost, "Gone"), FALSE))
            << innermost;
        EXPECT_EQ(SortedDump({"HKCU\\Victim"}), Sandbox().Dump()) << innermost;
    }
}

class ScriptRegistryErrors : public SandboxedTest {};

TEST_F(ScriptRegistryErrors, KeysThatCannotBeCreatedReportTheCreationError)
{
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, "Volatile", nullptr, nullptr, REG_OPTION_VOLATILE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), RunScriptText("HKCU { Volatile { Child } }", TRUE));
    // A key that can only be read is passed through, but nothing is written
    // into it; NoRemove keeps it through the taking back.
    CRestrictedKey lockedA(HKEY_CURRENT_USER, "LockedA", KEY_READ | WRITE_DAC);
    CRestrictedKey lockedB(HKEY_CURRENT_USER, "LockedB", KEY_READ | WRITE_DAC);
    EXPECT_EQ(E_ACCESSDENIED, RunScriptText("HKCU { NoRemove LockedA = s 'x' }", TRUE));
    EXPECT_EQ(E_ACCESSDENIED, RunScriptText("HKCU { NoRemove LockedB { val V = d '1' } }", TRUE));
    EXPECT_EQ(SortedDump({"HKCU\\LockedA", "HKCU\\LockedB"}), Sandbox().Dump());
}

TEST_F(ScriptRegistryErrors, KeysBelowAReadOnlyKeyAreStillReached)
{
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, "Locked\\Child"));
    CRestrictedKey locked(HKEY_CURRENT_USER, "Locked", KEY_READ | WRITE_DAC);
    EXPECT_EQ(S_OK, RunScriptText("HKCU { NoRemove Locked { NoRemove Child = s 'x' { Grandchild } } }", TRUE));
    EXPECT_EQ(SortedDump({"HKCU\\Locked", "HKCU\\Locked\\Child", "HKCU\\Locked\\Child : @ = SZ \"x\"",
                          "HKCU\\Locked\\Child\\Grandchild"}),
              Sandbox().Dump());
}

TEST_F(ScriptRegistryErrors, UnregisterReportsKeysItCannotOpenOrDelete)
{
    {
        CRestrictedKey unreadable(HKEY_CURRENT_USER, "Unreadable", WRITE_DAC);
        EXPECT_EQ(E_ACCESSDENIED, RunScriptText("HKCU { Unreadable { Inner } After }", FALSE));
        // The open failed before the block's syntax did.
        EXPECT_EQ(E_ACCESSDENIED, RunScriptText("HKCU { Unreadable { A\\B } }", FALSE));
    }
    {
        CRestrictedKey readOnly(HKEY_CURRENT_USER, "ReadOnly", KEY_READ | WRITE_DAC | DELETE);
        EXPECT_EQ(E_ACCESSDENIED, RunScriptText("HKCU { ReadOnly { val V = s 'x' } }", FALSE));
    }
    EXPECT_EQ(std::vector<std::string>({"ReadOnly", "Unreadable"}), SubkeyNames(HKEY_CURRENT_USER, ""));
}

// Names too long for a key are refused by the registry, at whatever depth:
// the walk still takes back, and unregistration still removes, everything
// around them, and both report the refusal.
TEST_F(ScriptRegistryErrors, RefusedNamesStopNeitherRollbackNorUnregistration)
{
    const struct {
        size_t length;
        HRESULT refusal;
    } names[] = {{300, HRESULT_FROM_WIN32(ERROR_MORE_DATA)}, {257, E_INVALIDARG}, {258, E_INVALIDARG}};
    for (const auto& name : names) {
        const std::string refused(name.length, 'n');
        // Each script with the keys around the refused name, as an earlier
        // version of the script may have written them.
        const std::pair<std::string, std::vector<const char*>> scripts[] = {
            {"HKCU { RzA { " + refused + " } }", {"RzA"}},
            {"HKCU { RzA { B { val V = s 'v' } C { " + refused + " { E } } D } } HKCU { After }",
             {"RzA\\B", "RzA\\C", "RzA\\D", "After"}},
        };
        for (const auto& [script, written] : scripts) {
            EXPECT_EQ(name.refusal, RunScriptText(script, TRUE)) << name.length;
            EXPECT_TRUE(Sandbox().IsEmpty()) << name.length << Sandbox().Dump();
            for (const char* path : written)
                ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CURRENT_USER, path, "V", "v"));
            EXPECT_EQ(name.refusal, RunScriptText(script, FALSE)) << name.length;
            EXPECT_TRUE(Sandbox().IsEmpty()) << name.length << Sandbox().Dump();
        }
    }
}

class DoubleByteScripts : public SandboxedTest {};

TEST_F(DoubleByteScripts, TextIsSteppedAsTheRegistryReadsItWhateverTheThreadLocale)
{
    // 0x83 0x5C is one Shift-JIS character in the thread's code page 932, but
    // the registry reads names in the system's code page, where 0x5C is a
    // backslash that would make two keys of the name.
    ASSERT_EQ(1252u, GetACP());
    CThreadLocale japanese(kJapaneseLocale);
    EXPECT_EQ(DISP_E_EXCEPTION, RunScriptText("HKCU { '\x83\x5C" "X' = s 'v' }", TRUE));
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();

    EXPECT_EQ(S_OK, RunScriptText("HKCU { K { val M = m 'a\x83\x5C" "0b\\0c' } }", TRUE));
    EXPECT_EQ(Raw(REG_MULTI_SZ, Bytes({'a', 0x83, 0, 'b', 0, 'c', 0, 0})), ReadRaw(HKEY_CURRENT_USER, "K", "M"));
}
