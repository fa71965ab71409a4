#include "registration/LastError.h"

#include "support/Status.h"

HRESULT FailureFromLastError()
{
    const HRESULT hr = StatusFromLastError();
    return FAILED(hr) ? hr : E_FAIL;
}
