#pragma once
#include <windows.h>
#include <wtypes.h>

#include "support/TextConversion.h"

// The constant tables of the registry script language and the character
// rules its lexer applies. All text is 8-bit text in the code page given.

struct RootKeyName {
    LPCSTR name;
    HKEY key;
};
extern const RootKeyName RootKeyNames[14];

struct ValueTypeLetter {
    LPCSTR letter;
    VARTYPE kind;
};
extern const ValueTypeLetter ValueTypeLetters[4];

// Value kinds as their VARTYPE codes.
constexpr VARTYPE kValueKindString = VT_BSTR;
constexpr VARTYPE kValueKindMultiString = VT_BSTR | VT_BYREF;
constexpr VARTYPE kValueKindNumber = VT_UI4;
constexpr VARTYPE kValueKindBinary = VT_UI1;

extern const LPCSTR ProtectedKeyNames[12];

extern const char kKeywordForceRemove[];
extern const char kKeywordDelete[];
extern const char kKeywordNoRemove[];
extern const char kKeywordVal[];

constexpr char kQuote = '\'';
constexpr char kSubstitutionMarker = '%';

bool IsScriptWhiteSpace(char c);
// Whole token, ignoring case.
bool IsKeyword(LPCSTR token, LPCSTR keyword);

// The predefined key of a root name, or null.
HKEY RootKeyFromName(LPCSTR name);
bool ValueKindFromLetter(LPCSTR letter, VARTYPE* kind);
BYTE HexDigitValue(char c);
// The first whole character of text that starts with c, stepping by the
// characters of codePage so that a trail byte never matches; null if none.
LPCSTR FindChar(LPCSTR text, char c, UINT codePage);
