#include "support/Stack.h"

#include "support/SafeArithmetic.h"

namespace {

constexpr UINT32 kStackMargin = 8192;

// The lowest pages of a thread's stack reservation can never be committed
// for the thread's own use: they hold the guard page and the room the system
// keeps for raising a stack overflow.
constexpr UINT32 kUnusablePages = 3;

UINT32 PageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

} // namespace

// g++ offers no structured-exception guard to probe the stack with, so the
// answer comes from the bounds of the stack reservation the current frame
// lives in.
BOOL IsStackAvailable(UINT32 bytes)
{
    UINT32 needed;
    if (FAILED(SafeAdd(&needed, bytes, kStackMargin)))
        return FALSE;
    MEMORY_BASIC_INFORMATION region;
    const void* here = __builtin_frame_address(0);
    if (VirtualQuery(here, &region, sizeof(region)) == 0)
        return FALSE;
    const UINT_PTR lowest = reinterpret_cast<UINT_PTR>(region.AllocationBase) + kUnusablePages * PageSize();
    const UINT_PTR current = reinterpret_cast<UINT_PTR>(here);
    return current > lowest && current - lowest >= needed;
}
