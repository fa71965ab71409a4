#pragma once
#include <windows.h>

// A critical section that exists only after Init succeeds, so that its owner
// can tell a lock that failed to initialise from one that works.
class CSafeCriticalSection {
public:
    CSafeCriticalSection();
    ~CSafeCriticalSection() { Term(); }
    CSafeCriticalSection(const CSafeCriticalSection&) = delete;
    CSafeCriticalSection& operator=(const CSafeCriticalSection&) = delete;

    // S_OK, or E_OUTOFMEMORY when the system has no memory for the lock.
    HRESULT Init();
    // Deletes the lock if Init succeeded; harmless otherwise.
    void Term();

    void Lock() { EnterCriticalSection(&m_sec); }
    void Unlock() { LeaveCriticalSection(&m_sec); }

private:
    friend class CTestAccess;

    CRITICAL_SECTION m_sec;
    bool m_bInitialized = false;
};

// Holds a critical section for one scope.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CSafeCriticalSection& section) : m_section(section) { m_section.Lock(); }
    ~CCriticalSectionLock() { m_section.Unlock(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CSafeCriticalSection& m_section;
};
