#pragma once
#include <windows.h>

#include "band/RefreshSchedule.h"

// What the band's accessible objects ask of the band window they describe.
// Called on the window's own thread only.
class IBandAccessSource {
public:
    // The text the band shows.
    virtual void FormatBandText(CHAR (&text)[kBandTextCapacity]) const = 0;
    // Opens the band's menu once the caller has had its answer; false when
    // that cannot be arranged.
    virtual bool RequestMenu() = 0;

protected:
    ~IBandAccessSource() = default;
};

// The accessible objects' way to their band window, shared by the window and
// every object it hands out. A screen reader may keep an object long after
// the window is gone, so the window cuts the link when it goes; and the link
// leads to the window only on the window's own thread, where nothing can cut
// it meanwhile.
class CBandAccessLink {
public:
    explicit CBandAccessLink(IBandAccessSource* source);
    CBandAccessLink(const CBandAccessLink&) = delete;
    CBandAccessLink& operator=(const CBandAccessLink&) = delete;

    ULONG AddRef();
    ULONG Release();

    // The window, or null once it is gone or when asked on another thread.
    IBandAccessSource* Source() const;
    void Cut() { m_pSource = nullptr; }

private:
    ~CBandAccessLink() = default;

    LONG m_cRef = 1;
    IBandAccessSource* m_pSource;
    const DWORD m_dwThreadId;
};

// What screen readers see of the band window: answers WM_GETOBJECT for the
// client object with an accessible object of the band's own, reaching the
// band through link (0 for any other object, or when none can be made).
LRESULT AnswerBandGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam, CBandAccessLink* link);

// The message by which the band window opens its menu for its accessible
// object. Any process can register the same name, so the window acts on it
// only when it has asked for it itself (IBandAccessSource::RequestMenu).
UINT BandOpenMenuMessage();
