#include "registrar/RegistryKey.h"

CRegistryKey::~CRegistryKey()
{
    Close();
}

// Holds a freshly opened handle in place of the old one; the result is that
// of closing the old one.
LONG CRegistryKey::Replace(HKEY key)
{
    const LONG closed = Close();
    m_hKey = key;
    return closed;
}

LONG CRegistryKey::Open(HKEY parent, LPCSTR name, REGSAM access)
{
    HKEY key = nullptr;
    const LONG error = RegOpenKeyExA(parent, name, 0, access, &key);
    if (error != ERROR_SUCCESS)
        return error;
    return Replace(key);
}

LONG CRegistryKey::Create(HKEY parent, LPCSTR name, LPSTR className, DWORD options, REGSAM access,
                          LPSECURITY_ATTRIBUTES security, LPDWORD disposition)
{
    HKEY key = nullptr;
    DWORD created = 0;
    const LONG error =
        RegCreateKeyExA(parent, name, 0, className, options, access, security, &key, &created);
    if (disposition)
        *disposition = created;
    if (error != ERROR_SUCCESS)
        return error;
    return Replace(key);
}

LONG CRegistryKey::Close()
{
    if (!m_hKey)
        return ERROR_SUCCESS;
    const LONG error = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return error;
}

void CRegistryKey::Attach(HKEY key)
{
    m_hKey = key;
}

HKEY CRegistryKey::Detach()
{
    HKEY key = m_hKey;
    m_hKey = nullptr;
    return key;
}

LONG CRegistryKey::ReadDword(LPCSTR name, DWORD* value)
{
    // Read aside: four bytes of any type fit, and a REG_DWORD of fewer than
    // four bytes fills only part of a number.
    DWORD type = REG_NONE;
    DWORD read = 0;
    DWORD size = sizeof(read);
    const LONG error = RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<LPBYTE>(&read), &size);
    if (error != ERROR_SUCCESS)
        return error;
    if (type != REG_DWORD || size != sizeof(read))
        return ERROR_INVALID_DATA;
    *value = read;
    return ERROR_SUCCESS;
}

LONG CRegistryKey::WriteData(LPCSTR name, DWORD type, const BYTE* data, DWORD size)
{
    return RegSetValueExA(m_hKey, name, 0, type, data, size);
}

LONG CRegistryKey::WriteDword(LPCSTR name, DWORD value)
{
    return WriteData(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG CRegistryKey::WriteString(LPCSTR name, LPCSTR text, DWORD type)
{
    if (!text)
        return ERROR_INVALID_DATA;
    return WriteData(name, type, reinterpret_cast<const BYTE*>(text), lstrlenA(text) + 1);
}

namespace {

// The bytes of a multi-string up to and including its first empty string.
DWORD MultiStringBytes(LPCSTR text)
{
    DWORD bytes = 0;
    for (;;) {
        const DWORD item = static_cast<DWORD>(lstrlenA(text + bytes)) + 1;
        bytes += item;
        if (item == 1)
            return bytes;
    }
}

} // namespace

LONG CRegistryKey::WriteMultiString(LPCSTR name, LPCSTR text)
{
    if (!text)
        return ERROR_INVALID_DATA;
    return WriteData(name, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text), MultiStringBytes(text));
}

LONG CRegistryKey::DeleteValue(LPCSTR name)
{
    return RegDeleteValueA(m_hKey, name);
}

LONG CRegistryKey::DeleteTree(LPCSTR name)
{
    CRegistryKey key;
    const LONG opened = key.Open(m_hKey, name, KEY_READ | KEY_WRITE);
    if (opened != ERROR_SUCCESS)
        return opened;
    // Each subkey found is deleted before the next enumeration, so the first
    // index always names one that is left.
    CHAR subkey[256];
    for (;;) {
        DWORD length = sizeof(subkey);
        if (RegEnumKeyExA(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const LONG error = key.DeleteTree(subkey);
        if (error != ERROR_SUCCESS)
            return error;
    }
    key.Close();
    return RegDeleteKeyA(m_hKey, name);
}

LONG CRegistryKey::DeleteIfEmpty(LPCSTR name)
{
    CRegistryKey key;
    LONG error = key.Open(m_hKey, name, KEY_READ);
    DWORD subkeys = 0;
    DWORD values = 0;
    if (error == ERROR_SUCCESS)
        error = RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS || subkeys || values)
        return error;
    key.Close();
    return RegDeleteKeyA(m_hKey, name);
}
