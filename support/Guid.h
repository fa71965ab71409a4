#pragma once
#include <windows.h>

// Compares the four 32-bit words in order.
BOOL GuidEqual(REFGUID a, REFGUID b);
// Compares the 16 bytes.
BOOL GuidEqualBytes(REFGUID a, REFGUID b);
