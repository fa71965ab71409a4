#pragma once
#include <windows.h>

// Owner of one open registry key handle. Every operation hands back the
// registry function's own Win32 error code; turning it into a status is the
// caller's business. A handle taken with Attach is not owned and must be
// given back with Detach before the wrapper closes or goes away.
class CRegistryKey {
public:
    HKEY m_hKey;

    CRegistryKey();
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    LONG Open(HKEY parent, LPCSTR name, REGSAM access);
    LONG Create(HKEY parent, LPCSTR name, LPSTR className = nullptr,
                DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_READ | KEY_WRITE,
                LPSECURITY_ATTRIBUTES security = nullptr, LPDWORD disposition = nullptr);
    LONG Close();
    void Attach(HKEY key);
    HKEY Detach();

    LONG ReadDword(LPCSTR name, DWORD* value);
    LONG WriteDword(LPCSTR name, DWORD value);
    LONG WriteString(LPCSTR name, LPCSTR text, DWORD type = REG_SZ);
    LONG WriteMultiString(LPCSTR name, LPCSTR text);
    LONG DeleteTree(LPCSTR name);

private:
    LONG Replace(HKEY key);
};
