#pragma once
#include <windows.h>

// The file a module was loaded from, read into a buffer of MAX_PATH
// characters. A path that fills the buffer may have been cut short, so it is
// refused with ERROR_INSUFFICIENT_BUFFER rather than used.
HRESULT ReadModulePath(HMODULE module, CHAR (&path)[MAX_PATH]);

// Copies source with every single quote doubled, so that the text can stand
// inside a quoted registry-script string. Writes at most capacity characters
// including the terminator (nothing at all for capacity 0); a source that
// does not fit is cut short.
void DoubleSingleQuotes(LPWSTR destination, UINT capacity, LPCWSTR source);
