#pragma once
#include <windows.h>

// The one exception type of the support layer. It never crosses a COM
// boundary: every operation that can meet it catches it and reports a status.
class CStatusException {
public:
    explicit CStatusException(HRESULT hr) : m_hr(hr) {}
    HRESULT Status() const { return m_hr; }

private:
    HRESULT m_hr;
};

[[noreturn]] void ThrowStatus(HRESULT hr);

// Maps a C-library error number to a status: 0 and STRUNCATE pass through,
// everything else raises.
int ThrowOnCrtError(int error);

HRESULT StatusFromWin32(LONG error);
HRESULT StatusFromLastError();
// The status of a system call that has just failed: its last error as a
// status, or E_FAIL when the call left no error behind, so that a failure is
// never reported as S_OK.
HRESULT FailureFromLastError();

// Runs a callable and turns any escaping exception into a status, so that
// nothing thrown inside can cross the COM boundary the caller stands on.
template <typename Body>
HRESULT CatchAllAsStatus(Body body, HRESULT onUnknown = E_OUTOFMEMORY) noexcept
{
    try {
        return body();
    } catch (const CStatusException& e) {
        return e.Status();
    } catch (...) {
        return onUnknown;
    }
}
