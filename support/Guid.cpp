#include "support/Guid.h"

#include <objbase.h>
#include <string.h>

#include "support/TextConversion.h"

BOOL GuidEqual(REFGUID a, REFGUID b)
{
    DWORD wordsA[4];
    DWORD wordsB[4];
    memcpy(wordsA, &a, sizeof(wordsA));
    memcpy(wordsB, &b, sizeof(wordsB));
    return wordsA[0] == wordsB[0] && wordsA[1] == wordsB[1] && wordsA[2] == wordsB[2] && wordsA[3] == wordsB[3];
}

BOOL GuidEqualBytes(REFGUID a, REFGUID b)
{
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

BOOL FormatGuid(REFGUID guid, CHAR (&text)[kGuidTextChars])
{
    WCHAR wide[kGuidTextChars];
    return StringFromGUID2(guid, wide, kGuidTextChars) && WideToAnsi(text, wide, kGuidTextChars, CP_ACP);
}
