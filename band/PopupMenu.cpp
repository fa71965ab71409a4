#include "band/PopupMenu.h"

#include "resources/resource.h"
#include "support/CriticalSection.h"

namespace {

class CPopupMenuState {
public:
    CPopupMenuState() { m_lock.Init(); }

    // The first sub-menu of the menu resource, cut out of its menu bar so
    // that it is one handle to keep and to destroy.
    void LoadForNewWindow(HINSTANCE hInstance)
    {
        const HMENU popup = LoadPopup(hInstance);
        CCriticalSectionLock lock(m_lock);
        ++m_nWindows;
        Replace(popup);
    }

    void ReleaseForClosedWindow()
    {
        CCriticalSectionLock lock(m_lock);
        if (m_nWindows > 0 && --m_nWindows == 0)
            Replace(nullptr);
    }

    HMENU Current()
    {
        CCriticalSectionLock lock(m_lock);
        return m_hPopup;
    }

private:
    static HMENU LoadPopup(HINSTANCE hInstance)
    {
        const HMENU bar = LoadMenuA(hInstance, MAKEINTRESOURCEA(IDR_REFRESHMENU));
        if (!bar)
            return nullptr;
        const HMENU popup = GetSubMenu(bar, 0);
        if (popup)
            RemoveMenu(bar, 0, MF_BYPOSITION);
        DestroyMenu(bar);
        return popup;
    }

    void Replace(HMENU popup)
    {
        if (m_hPopup)
            DestroyMenu(m_hPopup);
        m_hPopup = popup;
    }

    CSafeCriticalSection m_lock;
    HMENU m_hPopup = nullptr;
    LONG m_nWindows = 0;
};

CPopupMenuState g_popupMenu;

} // namespace

namespace BandPopupMenu {

void LoadForNewWindow(HINSTANCE hInstance)
{
    g_popupMenu.LoadForNewWindow(hInstance);
}

void ReleaseForClosedWindow()
{
    g_popupMenu.ReleaseForClosedWindow();
}

void Track(HWND owner, POINT at)
{
    TrackPopupMenu(g_popupMenu.Current(), 0, at.x, at.y, 0, owner, nullptr);
}

} // namespace BandPopupMenu
