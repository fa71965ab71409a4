#pragma once
#include <windows.h>

#include "registrar/RegistrarBase.h"

// The registrar object of one registration run: it holds the substitution
// table that a script's %NAME% references are expanded from. It lives on its
// owner's stack, so it counts no references and never deletes itself.
class CRegObject : public IRegistrarBase {
public:
    CRegObject() = default;
    CRegObject(const CRegObject&) = delete;
    CRegObject& operator=(const CRegObject&) = delete;
    virtual ~CRegObject();

    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(AddSubstitution)(LPCOLESTR name, LPCOLESTR value) override;
    STDMETHOD(ClearSubstitutions)() override;

    // The value of the first entry whose name matches, ignoring case.
    LPCWSTR FindSubstitution(LPCSTR name) const;

    // Loading a script out of a module's resources and running it.
    HRESULT RegisterScriptResource(LPCOLESTR modulePath, UINT resourceId, LPCOLESTR type);
    HRESULT UnregisterScriptResource(LPCOLESTR modulePath, UINT resourceId, LPCOLESTR type);
    HRESULT RegisterScriptResource(LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR type);
    HRESULT UnregisterScriptResource(LPCOLESTR modulePath, LPCOLESTR resourceName, LPCOLESTR type);
    HRESULT ApplyScriptResource(LPCOLESTR modulePath, LPCSTR resource, LPCSTR type, BOOL bRegister);

private:
    // Substitution table: both arrays always have m_nCount slots.
    LPSTR* m_ppszNames = nullptr;
    LPWSTR* m_ppszValues = nullptr;
    INT32 m_nCount = 0;
};
