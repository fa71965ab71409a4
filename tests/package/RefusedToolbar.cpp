// Runs a command line while setting values on HKLM's Internet Explorer
// Toolbar key is refused, as it is to a user without administrator rights;
// exits with the command's exit code, or 255 when it cannot run it.
// Usage: RefusedToolbar.exe <program> [arguments]
#include <windows.h>
#include <shlwapi.h>
#include <stdio.h>

#include "registrar/RegistryKey.h"
#include "tests/common/ValueWriteDenied.h"

namespace {

const char kToolbarKey[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";
const int kNotRun = 255;

class CProcess {
public:
    CProcess() = default;
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    ~CProcess()
    {
        if (m_info.hProcess) {
            CloseHandle(m_info.hThread);
            CloseHandle(m_info.hProcess);
        }
    }
    bool Start(LPWSTR commandLine)
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        return CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &m_info);
    }
    DWORD Wait() const
    {
        DWORD code = kNotRun;
        WaitForSingleObject(m_info.hProcess, INFINITE);
        GetExitCodeProcess(m_info.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_info = {};
};

} // namespace

int main()
{
    CRegistryKey toolbar;
    LONG result = toolbar.Create(HKEY_LOCAL_MACHINE, kToolbarKey, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) {
        printf("FAIL: cannot open the Toolbar key: %ld\n", result);
        return kNotRun;
    }
    CValueWriteDenied denied(toolbar.Get());
    CRegistryKey probe;
    if (denied.m_result != ERROR_SUCCESS || probe.Open(HKEY_LOCAL_MACHINE, kToolbarKey, KEY_SET_VALUE) != ERROR_ACCESS_DENIED) {
        printf("FAIL: the Toolbar key still takes values\n");
        return kNotRun;
    }
    CProcess command;
    if (!command.Start(PathGetArgsW(GetCommandLineW()))) {
        printf("FAIL: cannot run the command: %lu\n", GetLastError());
        return kNotRun;
    }
    return static_cast<int>(command.Wait());
}
