#include "dll/RuntimeSemaphores.h"

#include <windows.h>

// The runtime's mutexes (the unwinder's frame registry, the lock around
// function-local statics, the emergency exception pool) each create a
// semaphore when they are set up and never close it, so every load of the DLL
// would leave kernel handles behind. The runtime reaches CreateSemaphoreW and
// CloseHandle through the import pointers defined here, which note each
// semaphore it creates and forget each one it closes; the rest are closed at
// unload. A runtime mutex waits on its semaphore only under contention, which
// no thread can cause while the loader unloads the DLL. This file is linked
// into the DLL itself, so that its import pointers are the ones the runtime's
// objects resolve to.

namespace {

// Zero before any code of the module runs: the unwinder sets up its mutex
// before the module's constructors.
HANDLE volatile g_semaphores[16];

void Remember(HANDLE semaphore)
{
    for (HANDLE volatile& slot : g_semaphores) {
        if (!InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&slot), semaphore, nullptr))
            return;
    }
}

void Forget(HANDLE handle)
{
    for (HANDLE volatile& slot : g_semaphores) {
        if (InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&slot), nullptr, handle) == handle)
            return;
    }
}

typedef BOOL(WINAPI* CloseHandleFunction)(HANDLE);

// Looked up on every call: a function-local static would take the runtime's
// lock for statics, whose semaphore, made during the sweep at unload, would
// land in a slot the sweep had already passed.
BOOL CloseKernelHandle(HANDLE handle)
{
    const auto closeHandle = reinterpret_cast<CloseHandleFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CloseHandle")));
    return closeHandle(handle);
}

HANDLE WINAPI CreateRuntimeSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount, LPCWSTR name)
{
    const HANDLE semaphore = CreateSemaphoreExW(attributes, initialCount, maximumCount, name, 0, SEMAPHORE_ALL_ACCESS);
    if (semaphore)
        Remember(semaphore);
    return semaphore;
}

BOOL WINAPI CloseRuntimeHandle(HANDLE handle)
{
    Forget(handle);
    return CloseKernelHandle(handle);
}

} // namespace

// An import pointer's symbol: on i386 a stdcall name carries a leading
// underscore and its argument bytes, on x86_64 neither.
#ifdef _WIN64
#define IMPORT_SYMBOL(name, argumentBytes) "__imp_" #name
#else
#define IMPORT_SYMBOL(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#endif

extern "C" {
HANDLE(WINAPI* g_importCreateSemaphoreW)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR) asm(
    IMPORT_SYMBOL(CreateSemaphoreW, 16)) = CreateRuntimeSemaphore;
BOOL(WINAPI* g_importCloseHandle)(HANDLE) asm(IMPORT_SYMBOL(CloseHandle, 4)) = CloseRuntimeHandle;
}

void CloseRuntimeSemaphores()
{
    for (HANDLE volatile& slot : g_semaphores) {
        if (const HANDLE semaphore = InterlockedExchangePointer(const_cast<PVOID volatile*>(&slot), nullptr))
            CloseKernelHandle(semaphore);
    }
}
