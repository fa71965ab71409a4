// Keeps a DLL loaded, as a browser keeps the band's, until told to let go:
// writes <folder>\held once the DLL is loaded and unloads it when
// <folder>\release appears.
// Usage: HoldDll.exe <DLL> <folder>
#include <windows.h>
#include <stdio.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    HMODULE module = LoadLibraryA(argv[1]);
    if (!module) {
        printf("FAIL: cannot load %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    std::string folder = argv[2];
    HANDLE held = CreateFileA((folder + "\\held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    while (GetFileAttributesA((folder + "\\release").c_str()) == INVALID_FILE_ATTRIBUTES)
        Sleep(100);
    FreeLibrary(module);
    return 0;
}
