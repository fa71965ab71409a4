#pragma once
#include <windows.h>

// Japanese, whose ANSI code page 932 is double-byte: the locale the tests
// switch a thread to, on a system whose ANSI code page is single-byte, to
// show that text meets the platform's ANSI functions in the system's code
// page whatever the thread's locale.
const LCID kJapaneseLocale = MAKELCID(MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), SORT_DEFAULT);

// Switches the calling thread's locale, and with it the thread's ANSI code
// page, for one scope.
class CThreadLocale {
public:
    explicit CThreadLocale(LCID locale) : m_previous(GetThreadLocale()) { SetThreadLocale(locale); }
    ~CThreadLocale() { SetThreadLocale(m_previous); }
    CThreadLocale(const CThreadLocale&) = delete;
    CThreadLocale& operator=(const CThreadLocale&) = delete;

private:
    LCID m_previous;
};
