#pragma once
#include <windows.h>
#include <unknwn.h>

// The registrar interface: what a module needs to hand substitutions to the
// object that runs its registry scripts.
struct IRegistrarBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddSubstitution(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearSubstitutions() = 0;
};
