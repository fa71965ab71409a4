#pragma once
#include <windows.h>
#include <oaidl.h>

// The platform the DLL under test is built for, the same as the test
// program's: its type library's system kind and the subkey a registration of
// the library gets, and the other platform's, whose DLL shares the library's
// version key on 64-bit Windows.
#ifdef _WIN64
constexpr SYSKIND kOwnSystemKind = SYS_WIN64;
constexpr char kOwnPlatformKey[] = "win64";
constexpr char kOtherPlatformKey[] = "win32";
#else
constexpr SYSKIND kOwnSystemKind = SYS_WIN32;
constexpr char kOwnPlatformKey[] = "win32";
constexpr char kOtherPlatformKey[] = "win64";
#endif
