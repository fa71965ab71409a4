#include "band/PopupMenu.h"

#include <memory>
#include <new>

#include "resources/resource.h"
#include "support/CriticalSection.h"
#include "support/Owners.h"

namespace {

// One thread's copy of the menu and the number of its band windows.
struct ThreadMenu {
    DWORD threadId;
    CMenuHandle popup;
    LONG windows;
    std::unique_ptr<ThreadMenu> pNext;
};

// Each thread reads and changes only its own entry; the lock keeps the list
// whole while threads add and remove theirs.
class CPopupMenus {
public:
    CPopupMenus() { m_lock.Init(); }
    // Copies still listed when the module goes (a thread that ended with
    // band windows open, say) go with it, one by one rather than nested.
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
        std::unique_ptr<ThreadMenu>* link = FindCurrentThread();
        if (*link) {
            ++(*link)->windows;
            return;
        }
        std::unique_ptr<ThreadMenu> menu(new (std::nothrow) ThreadMenu{GetCurrentThreadId(), {}, 1, nullptr});
        if (!menu)
            return;
        menu->popup.Reset(LoadPopup(hInstance));
        menu->pNext = std::move(m_pHead);
        m_pHead = std::move(menu);
    }

    void ReleaseForClosedWindow()
    {
        CCriticalSectionLock lock(m_lock);
        std::unique_ptr<ThreadMenu>* link = FindCurrentThread();
        if (*link && --(*link)->windows == 0)
            Remove(link);
    }

    // Only this thread destroys its copy, so the handle stays good after the
    // lock is left.
    HMENU CurrentThreadMenu()
    {
        CCriticalSectionLock lock(m_lock);
        const std::unique_ptr<ThreadMenu>* link = FindCurrentThread();
        return *link ? (*link)->popup.Get() : nullptr;
    }

private:
    // The first sub-menu of the menu resource, cut out of its menu bar so
    // that it is one handle to keep and to destroy; the caller owns it.
    static HMENU LoadPopup(HINSTANCE hInstance)
    {
        const CMenuHandle bar(LoadMenuA(hInstance, MAKEINTRESOURCEA(IDR_REFRESHMENU)));
        if (!bar)
            return nullptr;
        const HMENU popup = GetSubMenu(bar.Get(), 0);
        if (popup)
            RemoveMenu(bar.Get(), 0, MF_BYPOSITION);
        return popup;
    }

    // The link that points at the calling thread's entry, or the null link
    // at the end of the list.
    std::unique_ptr<ThreadMenu>* FindCurrentThread()
    {
        const DWORD threadId = GetCurrentThreadId();
        std::unique_ptr<ThreadMenu>* link = &m_pHead;
        while (*link && (*link)->threadId != threadId)
            link = &(*link)->pNext;
        return link;
    }

    // The entry goes with its copy of the menu; the rest of the list moves up.
    static void Remove(std::unique_ptr<ThreadMenu>* link)
    {
        std::unique_ptr<ThreadMenu> removed = std::move(*link);
        *link = std::move(removed->pNext);
    }

    CSafeCriticalSection m_lock;
    std::unique_ptr<ThreadMenu> m_pHead;
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
