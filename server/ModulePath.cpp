#include "server/ModulePath.h"

#include "support/Status.h"
#include "support/TextConversion.h"

HRESULT ReadModulePath(HMODULE module, CHAR (&path)[kModulePathBytes])
{
    const DWORD length = GetModuleFileNameA(module, path, kModulePathBytes);
    if (length == 0)
        return FailureFromLastError();
    if (length >= kModulePathBytes || CharacterCount(path, static_cast<int>(length), CP_ACP) >= MAX_PATH)
        return StatusFromWin32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

void DoubleSingleQuotes(LPWSTR destination, UINT capacity, LPCWSTR source)
{
    if (capacity == 0)
        return;
    const UINT last = capacity - 1;
    UINT used = 0;
    for (; used < last && *source != L'\0'; ++source) {
        destination[used++] = *source;
        if (*source == L'\'' && used < last)
            destination[used++] = L'\'';
    }
    destination[used] = L'\0';
}
