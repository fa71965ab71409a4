#include "support/SafeArithmetic.h"

#include "support/Status.h"

HRESULT SafeMultiply(UINT32* result, UINT32 a, UINT32 b)
{
    const UINT64 product = static_cast<UINT64>(a) * b;
    if (product > 0xFFFFFFFFULL)
        return E_INVALIDARG;
    *result = static_cast<UINT32>(product);
    return S_OK;
}

HRESULT SafeMultiplySigned(INT32* result, INT32 a, INT32 b)
{
    const INT64 product = static_cast<INT64>(a) * b;
    if (product < -2147483647LL - 1 || product > 2147483647LL)
        return E_INVALIDARG;
    *result = static_cast<INT32>(product);
    return S_OK;
}

HRESULT SafeAdd(UINT32* result, UINT32 a, UINT32 b)
{
    const UINT64 sum = static_cast<UINT64>(a) + b;
    if (sum > 0xFFFFFFFFULL)
        return E_INVALIDARG;
    *result = static_cast<UINT32>(sum);
    return S_OK;
}

UINT32 MultiplyOrThrow(UINT32 a, UINT32 b)
{
    UINT32 product;
    if (FAILED(SafeMultiply(&product, a, b)))
        ThrowStatus(E_INVALIDARG);
    return product;
}

UINT32 AddOrThrow(UINT32 a, UINT32 b)
{
    UINT32 sum;
    if (FAILED(SafeAdd(&sum, a, b)))
        ThrowStatus(E_INVALIDARG);
    return sum;
}
