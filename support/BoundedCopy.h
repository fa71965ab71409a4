#pragma once
#include <windows.h>
#include <stddef.h>

// Bounded copies with the contract of the C library's secure forms
// (memcpy_s, strcpy_s, wcsncpy_s, _mbsnbcpy_s): they return 0, STRUNCATE,
// EINVAL or ERANGE and clear the destination on failure. They are written
// here so that the result does not depend on which C runtime is linked, and
// none of them ever calls an invalid-parameter handler.
constexpr size_t kTruncate = static_cast<size_t>(-1);
#ifndef STRUNCATE
#define STRUNCATE 80
#endif

int BoundedMemcpy(void* dest, size_t destBytes, const void* src, size_t count);
int BoundedStrcpy(char* dest, size_t destSize, const char* src);
int BoundedWcsncpy(wchar_t* dest, size_t destSize, const wchar_t* src, size_t count);
int BoundedMbsnbcpy(unsigned char* dest, size_t destSize, const unsigned char* src, size_t count);

// The same, each followed by ThrowOnCrtError: 0 or STRUNCATE come back, any
// failure raises CStatusException.
int CopyMemoryOrThrow(void* dest, size_t destBytes, const void* src, size_t count);
int CopyStringOrThrow(char* dest, size_t destSize, const char* src);
int CopyWideCountOrThrow(wchar_t* dest, size_t destSize, const wchar_t* src, size_t count);
int CopyMultiByteCountOrThrow(unsigned char* dest, size_t destSize, const unsigned char* src, size_t count);

// Copies a wide string with its terminator into capacity characters; FALSE
// when it does not fit. Never raises.
BOOL CopyWideBounded(wchar_t* dest, size_t capacity, const wchar_t* src);
