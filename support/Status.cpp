#include "support/Status.h"

#include <errno.h>

#ifndef STRUNCATE
#define STRUNCATE 80
#endif

void ThrowStatus(HRESULT hr)
{
    throw CStatusException(hr);
}

int ThrowOnCrtError(int error)
{
    switch (error) {
    case 0:
    case STRUNCATE:
        return error;
    case ENOMEM:
        ThrowStatus(E_OUTOFMEMORY);
    case EINVAL:
    case ERANGE:
        ThrowStatus(E_INVALIDARG);
    default:
        ThrowStatus(E_FAIL);
    }
}

HRESULT StatusFromWin32(LONG error)
{
    if (error <= 0)
        return static_cast<HRESULT>(error);
    return static_cast<HRESULT>(0x80070000UL | (static_cast<ULONG>(error) & 0xFFFF));
}

HRESULT StatusFromLastError()
{
    return StatusFromWin32(static_cast<LONG>(GetLastError()));
}

HRESULT FailureFromLastError()
{
    const HRESULT hr = StatusFromLastError();
    return FAILED(hr) ? hr : E_FAIL;
}
