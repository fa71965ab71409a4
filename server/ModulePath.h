#pragma once
#include <windows.h>

// Room for any path of fewer than MAX_PATH characters in the system's ANSI
// code page: a character takes up to three bytes in UTF-8 (65001), which
// Windows may use as that code page.
constexpr int kModulePathBytes = 3 * MAX_PATH;

// The file a module was loaded from, in the system's ANSI code page, read in
// full. A path of MAX_PATH characters or more is refused with
// ERROR_INSUFFICIENT_BUFFER: the system may have cut it short, and no path
// buffer it is handed on to takes it.
HRESULT ReadModulePath(HMODULE module, CHAR (&path)[kModulePathBytes]);

// Copies source with every single quote doubled, so that the text can stand
// inside a quoted registry-script string. Writes at most capacity characters
// including the terminator (nothing at all for capacity 0); a source that
// does not fit is cut short.
void DoubleSingleQuotes(LPWSTR destination, UINT capacity, LPCWSTR source);
