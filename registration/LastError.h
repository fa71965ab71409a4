#pragma once
#include <windows.h>

// The status of a system call that has just failed: its last error as a
// status, or E_FAIL when the call left no error behind, so that a failure is
// never reported as S_OK.
HRESULT FailureFromLastError();
