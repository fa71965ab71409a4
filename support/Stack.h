#pragma once
#include <windows.h>

// TRUE when bytes + 8192 more can be taken from the current thread's stack.
BOOL IsStackAvailable(UINT32 bytes);
