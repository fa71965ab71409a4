#pragma once
#include <windows.h>

// Points every import of module that resolved to function at replacement
// instead, so that the module's own calls can be watched or made to fail.
inline void RedirectImport(HMODULE module, const void* function, const void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        for (IMAGE_THUNK_DATA* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
             thunk->u1.Function; ++thunk) {
            if (reinterpret_cast<const void*>(thunk->u1.Function) != function)
                continue;
            DWORD oldProtection;
            VirtualProtect(&thunk->u1.Function, sizeof(thunk->u1.Function), PAGE_READWRITE, &oldProtection);
            thunk->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            VirtualProtect(&thunk->u1.Function, sizeof(thunk->u1.Function), oldProtection, &oldProtection);
        }
    }
}

// RedirectImport for the object's lifetime.
class CScopedImportRedirect {
public:
    CScopedImportRedirect(HMODULE module, const void* function, const void* replacement)
        : m_hModule(module), m_function(function), m_replacement(replacement)
    {
        RedirectImport(m_hModule, m_function, m_replacement);
    }
    ~CScopedImportRedirect() { RedirectImport(m_hModule, m_replacement, m_function); }
    CScopedImportRedirect(const CScopedImportRedirect&) = delete;
    CScopedImportRedirect& operator=(const CScopedImportRedirect&) = delete;

private:
    HMODULE m_hModule;
    const void* m_function;
    const void* m_replacement;
};

// The C runtime's malloc, which the DLL and the test programs import, and a
// stand-in that refuses every block, as an exhausted heap does.
inline const void* RuntimeMalloc()
{
    return reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "malloc"));
}

inline void* __cdecl RefusedMalloc(size_t)
{
    return nullptr;
}
