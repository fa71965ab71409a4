#pragma once
#include "server/Module.h"

// A fresh module object in place of the program's for the owner's lifetime,
// so that a test watches its own lock count and termination list. Deleting it
// runs what termination has left; the program's module comes back afterwards.
class CScopedModule {
public:
    CScopedModule() : m_pPrevious(g_pModule), m_pModule(new CComModule) {}
    ~CScopedModule()
    {
        delete m_pModule;
        g_pModule = m_pPrevious;
    }
    CScopedModule(const CScopedModule&) = delete;
    CScopedModule& operator=(const CScopedModule&) = delete;

    CComModule* Get() const { return m_pModule; }

private:
    CComModule* m_pPrevious;
    CComModule* m_pModule;
};
