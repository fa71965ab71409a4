#pragma once
#include <windows.h>
#include <psapi.h>

// The process's committed private memory: what a leak makes grow.
inline SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}
