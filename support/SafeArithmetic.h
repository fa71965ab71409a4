#pragma once
#include <windows.h>

// Overflow-checked sizes: every buffer size computed from a count goes
// through one of these.
HRESULT SafeMultiply(UINT32* result, UINT32 a, UINT32 b);
HRESULT SafeMultiplySigned(INT32* result, INT32 a, INT32 b);
HRESULT SafeAdd(UINT32* result, UINT32 a, UINT32 b);

// The same, raising CStatusException(E_INVALIDARG) on overflow.
UINT32 MultiplyOrThrow(UINT32 a, UINT32 b);
UINT32 AddOrThrow(UINT32 a, UINT32 b);
