#include "dll/ExceptionState.h"

#include <windows.h>
#include <cxxabi.h>

#include <exception>

// The runtime's own per-thread exception state lives in emulated thread-local
// storage whose key is never freed, so every load and unload of the DLL would
// cost the process one TLS slot for good; after about a thousand cycles the
// next throw would abort. Here the state lives in a fiber-local slot that is
// freed with the DLL, and each thread's block is freed when the thread ends.
// This file is linked into the DLL itself, ahead of the runtime library, so
// that its definitions are the ones the runtime's throw and catch use.

namespace {

// Layout of the runtime's __cxa_eh_globals on this target.
struct ThreadExceptionState {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

INIT_ONCE g_slotOnce = INIT_ONCE_STATIC_INIT;
DWORD g_slot = FLS_OUT_OF_INDEXES;

void WINAPI FreeThreadState(PVOID state)
{
    HeapFree(GetProcessHeap(), 0, state);
}

BOOL CALLBACK AllocateSlot(PINIT_ONCE, PVOID, PVOID*)
{
    g_slot = FlsAlloc(FreeThreadState);
    return g_slot != FLS_OUT_OF_INDEXES;
}

ThreadExceptionState* CurrentThreadState()
{
    if (!InitOnceExecuteOnce(&g_slotOnce, AllocateSlot, nullptr, nullptr))
        std::terminate();
    auto* state = static_cast<ThreadExceptionState*>(FlsGetValue(g_slot));
    if (state)
        return state;
    state = static_cast<ThreadExceptionState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(*state)));
    if (!state || !FlsSetValue(g_slot, state)) {
        // The runtime has nowhere to report this from inside a throw.
        std::terminate();
    }
    return state;
}

} // namespace

namespace __cxxabiv1 {

extern "C" __cxa_eh_globals* __cxa_get_globals() noexcept
{
    return reinterpret_cast<__cxa_eh_globals*>(CurrentThreadState());
}

extern "C" __cxa_eh_globals* __cxa_get_globals_fast() noexcept
{
    return reinterpret_cast<__cxa_eh_globals*>(CurrentThreadState());
}

} // namespace __cxxabiv1

namespace __gnu_cxx {
void __freeres() noexcept;
}

void ReleaseExceptionState()
{
    if (g_slot != FLS_OUT_OF_INDEXES)
        FlsFree(g_slot);
    __gnu_cxx::__freeres();
}
