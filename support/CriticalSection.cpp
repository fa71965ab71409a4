#include "support/CriticalSection.h"

#include <string.h>

CSafeCriticalSection::CSafeCriticalSection()
{
    memset(&m_sec, 0, sizeof(m_sec));
}

// InitializeCriticalSectionAndSpinCount reports the out-of-memory condition
// as a failure instead of raising STATUS_NO_MEMORY, which g++ could not catch.
HRESULT CSafeCriticalSection::Init()
{
    if (m_bInitialized)
        return S_OK;
    if (!InitializeCriticalSectionAndSpinCount(&m_sec, 0))
        return E_OUTOFMEMORY;
    m_bInitialized = true;
    return S_OK;
}

void CSafeCriticalSection::Term()
{
    if (!m_bInitialized)
        return;
    DeleteCriticalSection(&m_sec);
    memset(&m_sec, 0, sizeof(m_sec));
    m_bInitialized = false;
}
