#include "band/PopupMenu.h"

#include <new>

#include "resources/resource.h"
#include "support/CriticalSection.h"

namespace {

// One thread's copy of the menu and the number of its band windows.
struct ThreadMenu {
    DWORD threadId;
    HMENU popup;
    LONG windows;
    ThreadMenu* pNext;
};

// Each thread reads and changes only its own entry; the lock keeps the list
// whole while threads add and remove theirs.
class CPopupMenus {
public:
    CPopupMenus() { m_lock.Init(); }
    // Copies still listed when the module goes (a thread that ended with
    // band windows open, say) go with it.
    ~CPopupMenus()
    {
        while (m_pHead)
            Remove(&m_pHead);
    }
    CPopupMenus(const CPopupMenus&) = delete;
    CPopupMenus& operator=(const CPopupMenus&) = delete;

    // Without memory for the entry the window simply has no menu to open.
    void LoadForNewWindow(HINSTANCE hInstance)
    {
        CCriticalSectionLock lock(m_lock);
        ThreadMenu** link = FindCurrentThread();
        if (*link) {
            ++(*link)->windows;
            return;
        }
        ThreadMenu* menu = new (std::nothrow) ThreadMenu{GetCurrentThreadId(), nullptr, 1, m_pHead};
        if (!menu)
            return;
        menu->popup = LoadPopup(hInstance);
        m_pHead = menu;
    }

    void ReleaseForClosedWindow()
    {
        CCriticalSectionLock lock(m_lock);
        ThreadMenu** link = FindCurrentThread();
        if (*link && --(*link)->windows == 0)
            Remove(link);
    }

    // Only this thread destroys its copy, so the handle stays good after the
    // lock is left.
    HMENU CurrentThreadMenu()
    {
        CCriticalSectionLock lock(m_lock);
        ThreadMenu** link = FindCurrentThread();
        return *link ? (*link)->popup : nullptr;
    }

private:
    // The first sub-menu of the menu resource, cut out of its menu bar so
    // that it is one handle to keep and to destroy.
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

    // The link that points at the calling thread's entry, or the null link
    // at the end of the list.
    ThreadMenu** FindCurrentThread()
    {
        const DWORD threadId = GetCurrentThreadId();
        ThreadMenu** link = &m_pHead;
        while (*link && (*link)->threadId != threadId)
            link = &(*link)->pNext;
        return link;
    }

    static void Remove(ThreadMenu** link)
    {
        ThreadMenu* menu = *link;
        *link = menu->pNext;
        if (menu->popup)
            DestroyMenu(menu->popup);
        delete menu;
    }

    CSafeCriticalSection m_lock;
    ThreadMenu* m_pHead = nullptr;
};

CPopupMenus g_popupMenus;

} // namespace

namespace BandPopupMenu {

void LoadForNewWindow(HINSTANCE hInstance)
{
    g_popupMenus.LoadForNewWindow(hInstance);
}

void ReleaseForClosedWindow()
{
    g_popupMenus.ReleaseForClosedWindow();
}

void Track(HWND owner, POINT at)
{
    TrackPopupMenu(g_popupMenus.CurrentThreadMenu(), 0, at.x, at.y, 0, owner, nullptr);
}

} // namespace BandPopupMenu
