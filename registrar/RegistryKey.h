#pragma once
#include <windows.h>

// The product's one owner of registry key handles: no other code opens,
// writes through or closes one by hand. Every operation hands back the
// registry function's own Win32 error code; turning it into a status is the
// caller's business. A handle taken with Attach is not owned and must be
// given back with Detach before the wrapper closes or goes away.
class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // The handle held (null for none), for a call that takes a raw key; the
    // wrapper keeps owning it.
    HKEY Get() const { return m_hKey; }

    // Opens parent\name in place of the key held; on failure the wrapper is unchanged.
    [[nodiscard]] LONG Open(HKEY parent, LPCSTR name, REGSAM access);
    // Opens or creates parent\name in place of the key held; on failure the wrapper is unchanged.
    [[nodiscard]] LONG Create(HKEY parent, LPCSTR name, LPSTR className = nullptr,
                              DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_READ | KEY_WRITE,
                              LPSECURITY_ATTRIBUTES security = nullptr, LPDWORD disposition = nullptr);
    // Closes the key held, if any, and holds none afterwards, even when closing failed.
    LONG Close();
    // Holds key without owning it, in place of nothing (see Detach).
    void Attach(HKEY key);
    // Takes over key, which the caller owned, in place of the key held.
    void Adopt(HKEY key) { Replace(key); }
    // Gives the handle up unclosed and holds none afterwards.
    HKEY Detach();

    // Reads a REG_DWORD of four bytes; any other type or size is ERROR_INVALID_DATA, value unchanged on failure.
    [[nodiscard]] LONG ReadDword(LPCSTR name, DWORD* value);
    // The writers set one value of the key held; on failure the value is as it was.
    LONG WriteDword(LPCSTR name, DWORD value);
    // Text up to its terminator, which is written too; null text is ERROR_INVALID_DATA.
    LONG WriteString(LPCSTR name, LPCSTR text, DWORD type = REG_SZ);
    // Strings up to and including the first empty one; null text is ERROR_INVALID_DATA.
    LONG WriteMultiString(LPCSTR name, LPCSTR text);
    // size bytes of data as a value of the given type, unchecked against it.
    LONG WriteData(LPCSTR name, DWORD type, const BYTE* data, DWORD size);
    // Deletes one value of the key held; a missing one is ERROR_FILE_NOT_FOUND.
    LONG DeleteValue(LPCSTR name);
    // Deletes the subkey name with everything below it; on failure part of it may be gone.
    LONG DeleteTree(LPCSTR name);
    // Deletes the subkey name when it holds neither subkeys nor values, and
    // keeps it, with success, when it holds anything: what others entered
    // below a shared key stays theirs.
    LONG DeleteIfEmpty(LPCSTR name);

private:
    LONG Replace(HKEY key);

    HKEY m_hKey = nullptr;
};
