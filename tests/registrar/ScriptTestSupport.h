#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "registrar/RegObject.h"
#include "registrar/ScriptParser.h"

// The band's own registry script, as the DLL carries it.
extern const char kBandScript[];
extern const char kBandClassId[];
extern const char kModulePath[];

// Runs a script once with the substitutions a registration run provides
// ("Module" with its quotes doubled).
HRESULT RunScriptText(const std::string& script, BOOL bRegister);

// Sorted lines joined, in the form CRegistrySandbox::Dump gives.
std::string SortedDump(std::vector<std::string> lines);

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

// Switches the calling thread's locale, and with it the thread's ANSI code
// page, for one test.
class CThreadLocale {
public:
    explicit CThreadLocale(LCID locale) : m_previous(GetThreadLocale()) { SetThreadLocale(locale); }
    ~CThreadLocale() { SetThreadLocale(m_previous); }
    CThreadLocale(const CThreadLocale&) = delete;
    CThreadLocale& operator=(const CThreadLocale&) = delete;

private:
    LCID m_previous;
};

constexpr LCID kJapaneseLocale = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);
