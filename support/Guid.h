#pragma once
#include <windows.h>

// Compares the four 32-bit words in order.
BOOL GuidEqual(REFGUID a, REFGUID b);
// Compares the 16 bytes.
BOOL GuidEqualBytes(REFGUID a, REFGUID b);

// Characters of a GUID in registry form, "{XXXXXXXX-...}", with the terminator.
constexpr int kGuidTextChars = 39;
// Writes guid in registry form (upper-case hex digits) as 8-bit text.
BOOL FormatGuid(REFGUID guid, CHAR (&text)[kGuidTextChars]);
