#pragma once
#include <windows.h>

#include <string>

#include "support/Owners.h"

// A private copy of the built Tandrel.DLL in a fresh folder below the
// temporary directory, loaded on request. Everything it made is removed when
// it goes: the module is unloaded and the folders are deleted.
class CModuleCopy {
public:
    // folder may hold several levels ("a\\b"); fileName is the copy's name.
    CModuleCopy(const std::wstring& folder, const std::wstring& fileName);
    ~CModuleCopy();
    CModuleCopy(const CModuleCopy&) = delete;
    CModuleCopy& operator=(const CModuleCopy&) = delete;

    // The copy's path as the system reports a loaded module's path.
    const std::wstring& Path() const { return m_path; }
    std::string AnsiPath() const;
    // The path with its extension replaced by ".tlb".
    std::wstring TypeLibraryPath() const;

    // Gives the copy a new file name in its folder, before Load.
    void Rename(const std::wstring& fileName);
    // Resource edits, made before Load. The platform's resource update
    // does not delete, so a resource type is taken out of sight by renaming
    // it in the resource directory: its last letter becomes lastLetter.
    void HideResourceType(const std::wstring& type, wchar_t lastLetter);
    void AddResource(LPCWSTR type, LPCWSTR name, const std::string& data);
    // Writes the DLL's own type library beside the copy as a .tlb file.
    void WriteTypeLibraryFile();

    HMODULE Load();
    HMODULE Module() const { return m_module.Get(); }
    // Calls one of the DLL's exported entry points taking no arguments.
    HRESULT Call(const char* exportName);

private:
    std::wstring m_root;
    std::wstring m_path;
    CModuleHandle m_module;
};

// An address at which no module is loaded.
inline const HMODULE kNoModule = reinterpret_cast<HMODULE>(0x7FFE0000);

// The built Tandrel.DLL next to the test program.
std::wstring BuiltModulePath();
std::string ToAnsi(const std::wstring& text);
std::wstring ToWide(const std::string& text);
