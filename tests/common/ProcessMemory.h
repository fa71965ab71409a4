#pragma once
#include <windows.h>

// The process's committed private memory, as the process's own address space
// shows it: what a leak makes grow. Walked with VirtualQuery rather than read
// from the process counters, which on an emulated CPU also count the
// emulator's own memory.
inline SIZE_T PrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* address = nullptr; VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if (static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize < address)
            break;
    }
    return total;
}

// The process's open kernel handles. Wine reports no handle count of its own,
// so the handle values are probed: handles are handed out lowest first, and a
// leak of any size shows within the range probed here.
inline DWORD KernelHandleCount()
{
    DWORD count = 0;
    DWORD flags;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}
