#pragma once
#include <windows.h>
#include <oleauto.h>

// Loads the type library that module carries: from the module file itself,
// else from the file of the same name with the extension ".tlb" beside it.
// On success the caller owns both the library and the path it was loaded
// from. When only the copy of that path fails, the result is E_OUTOFMEMORY
// and the library is still handed out.
HRESULT LoadModuleTypeLibrary(HINSTANCE module, BSTR* path, ITypeLib** library);

// Machine-wide registration of that library, and its removal. While the
// same version stays registered for another platform (the other DLL on
// 64-bit Windows), removal takes only this platform's part.
HRESULT RegisterModuleTypeLibrary(HINSTANCE module);
HRESULT UnregisterModuleTypeLibrary(HINSTANCE module);

// Whether the registered version of that library also serves another
// platform: S_OK with the answer in *shared, or, with *shared false, the
// failure that keeps it from telling (the library cannot be read, the
// registry cannot be).
HRESULT IsModuleTypeLibraryShared(HINSTANCE module, bool* shared);

// Where a path's extension starts: the last "." after the last "\", or the
// terminator when the file name has none. Characters are stepped whole in
// the system's ANSI code page, the one GetModuleFileNameA wrote the path in.
LPSTR FindPathExtension(LPSTR path);
