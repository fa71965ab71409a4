#include "band/BandAccessible.h"

#include <oleacc.h>

#include "server/ComObject.h"
#include "server/InterfaceMap.h"
#include "server/ObjectRoot.h"
#include "support/Owners.h"

namespace {

bool IsSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT StringResult(LPCWSTR text, BSTR* result)
{
    if (!result)
        return E_POINTER;
    *result = SysAllocString(text);
    return *result ? S_OK : E_OUTOFMEMORY;
}

// The band window's client area: its own name, value, role, states and
// default action; everything else (place, parent, navigation, hit tests)
// comes from the standard object of the window underneath.
class CBandAccessible : public CComObjectRootEx<CComMultiThreadModel>, public IAccessible {
public:
    static const InterfaceMapEntry* GetInterfaceMap()
    {
        static const InterfaceMapEntry entries[] = {
            PlainInterfaceRow<IAccessible, CBandAccessible>(__uuidof(IAccessible)),
            PlainInterfaceRow<IAccessible, CBandAccessible>(IID_IDispatch),
            EndOfInterfaceMap(),
        };
        return entries;
    }

    void Attach(HWND hwnd, CInterfacePtr<IAccessible> standard, CBandAccessLink* link)
    {
        m_hWnd = hwnd;
        m_pStandard = std::move(standard);
        m_pLink = CInterfacePtr<CBandAccessLink>::Share(link);
    }

    // IDispatch: the type information of IAccessible, through which calls
    // by name reach this object's own answers.
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override { return m_pStandard->GetTypeInfoCount(pctinfo); }
    STDMETHOD(GetTypeInfo)(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override
    {
        return m_pStandard->GetTypeInfo(itinfo, lcid, pptinfo);
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid) override
    {
        CInterfacePtr<ITypeInfo> typeInfo;
        const HRESULT hr = m_pStandard->GetTypeInfo(0, lcid, typeInfo.Receive());
        if (FAILED(hr))
            return hr;
        return DispGetIDsOfNames(typeInfo.Get(), rgszNames, cNames, rgdispid);
    }
    STDMETHOD(Invoke)(DISPID dispidMember, REFIID, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                      VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) override
    {
        CInterfacePtr<ITypeInfo> typeInfo;
        const HRESULT hr = m_pStandard->GetTypeInfo(0, lcid, typeInfo.Receive());
        if (FAILED(hr))
            return hr;
        return DispInvoke(static_cast<IAccessible*>(this), typeInfo.Get(), dispidMember, wFlags, pdispparams,
                          pvarResult, pexcepinfo, puArgErr);
    }

    // The band's own answers for itself.
    STDMETHOD(get_accName)(VARIANT child, BSTR* pszName) override
    {
        if (!IsSelf(child))
            return m_pStandard->get_accName(child, pszName);
        return StringResult(L"Refresh interval", pszName);
    }
    STDMETHOD(get_accValue)(VARIANT child, BSTR* pszValue) override
    {
        if (!IsSelf(child))
            return m_pStandard->get_accValue(child, pszValue);
        if (!pszValue)
            return E_POINTER;
        *pszValue = nullptr;
        const IBandAccessSource* source = m_pLink->Source();
        if (!source)
            return E_FAIL;
        CHAR text[kBandTextCapacity];
        source->FormatBandText(text);
        WCHAR wide[kBandTextCapacity];
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kBandTextCapacity);
        return StringResult(wide, pszValue);
    }
    STDMETHOD(get_accRole)(VARIANT child, VARIANT* pvarRole) override
    {
        if (!IsSelf(child))
            return m_pStandard->get_accRole(child, pvarRole);
        if (!pvarRole)
            return E_POINTER;
        pvarRole->vt = VT_I4;
        pvarRole->lVal = ROLE_SYSTEM_BUTTONMENU;
        return S_OK;
    }
    // The standard object's states (invisible, offscreen) and always
    // focusable, focused while the window has the keyboard focus.
    STDMETHOD(get_accState)(VARIANT child, VARIANT* pvarState) override
    {
        const HRESULT hr = m_pStandard->get_accState(child, pvarState);
        if (FAILED(hr) || !IsSelf(child) || pvarState->vt != VT_I4)
            return hr;
        pvarState->lVal |= STATE_SYSTEM_FOCUSABLE;
        GUITHREADINFO thread = {sizeof(thread)};
        if (GetGUIThreadInfo(GetWindowThreadProcessId(m_hWnd, nullptr), &thread) && thread.hwndFocus == m_hWnd)
            pvarState->lVal |= STATE_SYSTEM_FOCUSED;
        return S_OK;
    }
    STDMETHOD(get_accDefaultAction)(VARIANT child, BSTR* pszDefaultAction) override
    {
        if (!IsSelf(child))
            return m_pStandard->get_accDefaultAction(child, pszDefaultAction);
        return StringResult(L"Open", pszDefaultAction);
    }
    // The menu's modal loop must not hold up the caller.
    STDMETHOD(accDoDefaultAction)(VARIANT child) override
    {
        if (!IsSelf(child))
            return m_pStandard->accDoDefaultAction(child);
        IBandAccessSource* source = m_pLink->Source();
        return source && source->RequestMenu() ? S_OK : E_FAIL;
    }

    // The standard object's answers.
    STDMETHOD(get_accParent)(IDispatch** ppdispParent) override { return m_pStandard->get_accParent(ppdispParent); }
    STDMETHOD(get_accChildCount)(LONG* pcountChildren) override
    {
        return m_pStandard->get_accChildCount(pcountChildren);
    }
    STDMETHOD(get_accChild)(VARIANT child, IDispatch** ppdispChild) override
    {
        return m_pStandard->get_accChild(child, ppdispChild);
    }
    STDMETHOD(get_accDescription)(VARIANT child, BSTR* pszDescription) override
    {
        return m_pStandard->get_accDescription(child, pszDescription);
    }
    STDMETHOD(get_accHelp)(VARIANT child, BSTR* pszHelp) override { return m_pStandard->get_accHelp(child, pszHelp); }
    STDMETHOD(get_accHelpTopic)(BSTR* pszHelpFile, VARIANT child, LONG* pidTopic) override
    {
        return m_pStandard->get_accHelpTopic(pszHelpFile, child, pidTopic);
    }
    STDMETHOD(get_accKeyboardShortcut)(VARIANT child, BSTR* pszKeyboardShortcut) override
    {
        return m_pStandard->get_accKeyboardShortcut(child, pszKeyboardShortcut);
    }
    STDMETHOD(get_accFocus)(VARIANT* pvarChild) override { return m_pStandard->get_accFocus(pvarChild); }
    STDMETHOD(get_accSelection)(VARIANT* pvarChildren) override { return m_pStandard->get_accSelection(pvarChildren); }
    STDMETHOD(accSelect)(LONG flagsSelect, VARIANT child) override { return m_pStandard->accSelect(flagsSelect, child); }
    STDMETHOD(accLocation)(LONG* pxLeft, LONG* pyTop, LONG* pcxWidth, LONG* pcyHeight, VARIANT child) override
    {
        return m_pStandard->accLocation(pxLeft, pyTop, pcxWidth, pcyHeight, child);
    }
    STDMETHOD(accNavigate)(LONG navDir, VARIANT start, VARIANT* pvarEndUpAt) override
    {
        return m_pStandard->accNavigate(navDir, start, pvarEndUpAt);
    }
    STDMETHOD(accHitTest)(LONG xLeft, LONG yTop, VARIANT* pvarChild) override
    {
        return m_pStandard->accHitTest(xLeft, yTop, pvarChild);
    }
    STDMETHOD(put_accName)(VARIANT child, BSTR szName) override { return m_pStandard->put_accName(child, szName); }
    STDMETHOD(put_accValue)(VARIANT child, BSTR szValue) override { return m_pStandard->put_accValue(child, szValue); }

private:
    HWND m_hWnd = nullptr;
    CInterfacePtr<IAccessible> m_pStandard;
    CInterfacePtr<CBandAccessLink> m_pLink;
};

} // namespace

CBandAccessLink::CBandAccessLink(IBandAccessSource* source) : m_pSource(source), m_dwThreadId(GetCurrentThreadId())
{
}

// Objects handed to screen readers may be released on any thread.
ULONG CBandAccessLink::AddRef()
{
    return InterlockedIncrement(&m_cRef);
}

ULONG CBandAccessLink::Release()
{
    const LONG count = InterlockedDecrement(&m_cRef);
    if (count == 0)
        delete this;
    return count;
}

IBandAccessSource* CBandAccessLink::Source() const
{
    return GetCurrentThreadId() == m_dwThreadId ? m_pSource : nullptr;
}

UINT BandOpenMenuMessage()
{
    static const UINT message = RegisterWindowMessageA("Tandrel band open menu");
    return message;
}

// A new object for every request: each holds its own reference to the
// standard object and to the link, and asks the window for everything that
// changes.
LRESULT AnswerBandGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, CBandAccessLink* link)
{
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !link)
        return 0;
    CInterfacePtr<IAccessible> standard;
    if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible), standard.ReceiveVoid())))
        return 0;
    std::unique_ptr<CComObject<CBandAccessible>> object = ConstructOrNull<CComObject<CBandAccessible>>();
    if (!object)
        return 0;
    object->Attach(hwnd, std::move(standard), link);
    CInterfacePtr<IAccessible> accessible;
    if (FAILED(QueryNewObject(std::move(object), __uuidof(IAccessible), accessible.ReceiveVoid())))
        return 0;
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, accessible.Get());
    return FAILED(result) ? 0 : result;
}
