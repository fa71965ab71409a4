#include "registrar/ScriptTables.h"

const RootKeyName RootKeyNames[14] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

const ValueTypeLetter ValueTypeLetters[4] = {
    {"S", kValueKindString},
    {"M", kValueKindMultiString},
    {"D", kValueKindNumber},
    {"B", kValueKindBinary},
};

const LPCSTR ProtectedKeyNames[12] = {
    "AppID", "CLSID", "Component Categories", "FileType", "Interface", "Hardware",
    "Mime", "SAM", "SECURITY", "SYSTEM", "Software", "TypeLib",
};

const char kKeywordForceRemove[] = "ForceRemove";
const char kKeywordDelete[] = "Delete";
const char kKeywordNoRemove[] = "NoRemove";
const char kKeywordVal[] = "Val";

bool IsScriptWhiteSpace(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsKeyword(LPCSTR token, LPCSTR keyword)
{
    return lstrcmpiA(token, keyword) == 0;
}

HKEY RootKeyFromName(LPCSTR name)
{
    for (const RootKeyName& root : RootKeyNames) {
        if (lstrcmpiA(name, root.name) == 0)
            return root.key;
    }
    return nullptr;
}

bool ValueKindFromLetter(LPCSTR letter, VARTYPE* kind)
{
    for (const ValueTypeLetter& type : ValueTypeLetters) {
        if (lstrcmpiA(letter, type.letter) == 0) {
            *kind = type.kind;
            return true;
        }
    }
    return false;
}

BYTE HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<BYTE>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<BYTE>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<BYTE>(c - 'a' + 10);
    return 0;
}

LPCSTR FindChar(LPCSTR text, char c, UINT codePage)
{
    if (!text)
        return nullptr;
    for (; *text != '\0'; text = NextChar(text, codePage)) {
        if (*text == c)
            return text;
    }
    return nullptr;
}
