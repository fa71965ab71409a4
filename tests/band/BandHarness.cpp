#include "tests/band/BandHarness.h"

#include <string.h>
#include <commctrl.h>

#include <algorithm>

#include "TandrelLib.h"
#include "resources/resource.h"
#include "tests/common/ImportRedirect.h"

namespace {

const char kTestWindowClass[] = "TandrelTestHost";

// ---- Import spies: the DLL's own calls, seen on their way to user32.

typedef int(WINAPI* DrawTextAFunction)(HDC, LPCSTR, int, LPRECT, UINT);
typedef UINT_PTR(WINAPI* SetTimerFunction)(HWND, UINT_PTR, UINT, TIMERPROC);
typedef BOOL(WINAPI* KillTimerFunction)(HWND, UINT_PTR);
typedef BOOL(WINAPI* GetClassInfoAFunction)(HINSTANCE, LPCSTR, WNDCLASSA*);
typedef FARPROC(WINAPI* GetProcAddressFunction)(HMODULE, LPCSTR);

DrawTextAFunction g_realDrawTextA = DrawTextA;
SetTimerFunction g_realSetTimer = SetTimer;
KillTimerFunction g_realKillTimer = KillTimer;
GetClassInfoAFunction g_realGetClassInfoA = GetClassInfoA;
GetProcAddressFunction g_realGetProcAddress = GetProcAddress;
bool g_missNextClassLookup = false;
// What the stand-in GetDpiForWindow answers; kSystemsOwnDpi: the system's own
// is found.
const int kSystemsOwnDpi = -1;
int g_windowDpi = kSystemsOwnDpi;

int WINAPI SpyDrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    const size_t length = count < 0 ? strlen(text) : static_cast<size_t>(count);
    DrawTextCalls().push_back(
        {WindowFromDC(hdc), std::string(text, length), *rect, format, GetTextColor(hdc), GetBkMode(hdc)});
    return g_realDrawTextA(hdc, text, count, rect, format);
}

UINT_PTR WINAPI SpySetTimer(HWND hwnd, UINT_PTR id, UINT period, TIMERPROC proc)
{
    TimerCalls().push_back({true, hwnd, id, period});
    return g_realSetTimer(hwnd, id, period, proc);
}

BOOL WINAPI SpyKillTimer(HWND hwnd, UINT_PTR id)
{
    TimerCalls().push_back({false, hwnd, id, 0});
    return g_realKillTimer(hwnd, id);
}

BOOL WINAPI SpyGetClassInfoA(HINSTANCE instance, LPCSTR name, WNDCLASSA* info)
{
    if (g_missNextClassLookup) {
        g_missNextClassLookup = false;
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    return g_realGetClassInfoA(instance, name, info);
}

UINT WINAPI StandInDpiForWindow(HWND hwnd)
{
    return IsWindow(hwnd) ? static_cast<UINT>(g_windowDpi) : 0;
}

FARPROC WINAPI SpyGetProcAddress(HMODULE module, LPCSTR name)
{
    if (g_windowDpi == kSystemsOwnDpi || IS_INTRESOURCE(name) || strcmp(name, "GetDpiForWindow"))
        return g_realGetProcAddress(module, name);
    return g_windowDpi ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(StandInDpiForWindow)) : nullptr;
}

template <typename Function>
Function SystemExport(const char* module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

template <typename Function>
Function UserExport(const char* name)
{
    return SystemExport<Function>("user32.dll", name);
}

void InstallSpies(HMODULE module)
{
    g_realDrawTextA = UserExport<DrawTextAFunction>("DrawTextA");
    g_realSetTimer = UserExport<SetTimerFunction>("SetTimer");
    g_realKillTimer = UserExport<KillTimerFunction>("KillTimer");
    g_realGetClassInfoA = UserExport<GetClassInfoAFunction>("GetClassInfoA");
    g_realGetProcAddress = SystemExport<GetProcAddressFunction>("kernel32.dll", "GetProcAddress");
    RedirectImport(module, reinterpret_cast<void*>(g_realDrawTextA), reinterpret_cast<void*>(SpyDrawTextA));
    RedirectImport(module, reinterpret_cast<void*>(g_realSetTimer), reinterpret_cast<void*>(SpySetTimer));
    RedirectImport(module, reinterpret_cast<void*>(g_realKillTimer), reinterpret_cast<void*>(SpyKillTimer));
    RedirectImport(module, reinterpret_cast<void*>(g_realGetClassInfoA), reinterpret_cast<void*>(SpyGetClassInfoA));
    RedirectImport(module, reinterpret_cast<void*>(g_realGetProcAddress), reinterpret_cast<void*>(SpyGetProcAddress));
}

// ---- Pixels

class CDibCanvas {
public:
    explicit CDibCanvas(SIZE size) : m_size(size)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_hdc = CreateCompatibleDC(nullptr);
        m_hBitmap = CreateDIBSection(m_hdc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_pBits), nullptr, 0);
        m_hOld = SelectObject(m_hdc, m_hBitmap);
    }
    ~CDibCanvas()
    {
        SelectObject(m_hdc, m_hOld);
        DeleteObject(m_hBitmap);
        DeleteDC(m_hdc);
    }
    HDC Dc() const { return m_hdc; }
    std::vector<DWORD> Pixels() const
    {
        GdiFlush();
        std::vector<DWORD> pixels(m_pBits, m_pBits + m_size.cx * m_size.cy);
        for (DWORD& pixel : pixels)
            pixel &= 0x00FFFFFF;
        return pixels;
    }

private:
    SIZE m_size;
    HDC m_hdc;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOld;
    DWORD* m_pBits = nullptr;
};

// ---- Windows of the UI thread, seen from the user's thread

struct WindowSearch {
    const char* title;
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    CHAR className[64] = "";
    GetClassNameA(hwnd, className, sizeof(className));
    if (IsWindowVisible(hwnd) && !strcmp(className, search->className) &&
        (!search->title || WindowText(hwnd) == search->title)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindThreadWindow(DWORD threadId, const char* title, const char* className)
{
    WindowSearch search = {title, className, nullptr};
    EnumThreadWindows(threadId, MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A script that left a dialog open would leave the test thread in its modal
// loop for good; whatever is still open after a grace period is cancelled.
void DismissLeftoverDialogs(DWORD threadId)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const HWND dialog = FindThreadWindow(threadId, nullptr, "#32770");
        if (!dialog)
            return;
        if (attempt >= 40)
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        Sleep(50);
    }
}

struct ResourceCounter {
    DWORD processId;
    LONG windows;
};

BOOL CALLBACK CountChild(HWND, LPARAM lParam)
{
    ++reinterpret_cast<ResourceCounter*>(lParam)->windows;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM lParam)
{
    ResourceCounter* counter = reinterpret_cast<ResourceCounter*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (processId == counter->processId) {
        ++counter->windows;
        EnumChildWindows(hwnd, CountChild, lParam);
    }
    return TRUE;
}

SIZE_T BusyHeapBytes()
{
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    SIZE_T busy = 0;
    for (DWORD i = 0; i < count && i < 256; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return busy;
}

} // namespace

CTandrelLibrary& Tandrel()
{
    static CTandrelLibrary* library = [] {
        CTandrelLibrary* loaded = new CTandrelLibrary("Tandrel.DLL");
        if (loaded->IsLoaded())
            InstallSpies(loaded->Handle());
        return loaded;
    }();
    return *library;
}

CInterfacePtr<IDeskBand> NewBand()
{
    CInterfacePtr<IDeskBand> band;
    Tandrel().CreateBand(IID_IDeskBand, band.ReceiveVoid());
    return band;
}

HWND TestParentWindow()
{
    static const HWND window = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kTestWindowClass;
        RegisterClassA(&windowClass);
        return CreateWindowExA(0, kTestWindowClass, "Tandrel test host",
                               WS_POPUP | WS_BORDER | WS_VISIBLE | WS_CLIPCHILDREN, 50, 50, 420, 60, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    }();
    return window;
}

CBandHarness::CBandHarness(DWORD siteFaces)
    : m_browser(MakeHostObject<CHostBrowser>()),
      m_site(MakeHostObject<CHostSite>(TestParentWindow(), m_browser.Get(), siteFaces))
{
}

CBandHarness::~CBandHarness() = default;

HRESULT CBandHarness::Open()
{
    CInterfacePtr<IDeskBand> band = NewBand();
    if (!band)
        return E_FAIL;
    const HRESULT hr = m_band.Open(band.Detach(), SiteUnknown());
    UpdateWindow(TestParentWindow());
    return hr;
}

void CBandHarness::Command(WORD id) const
{
    SendMessageA(BandWindow(), WM_COMMAND, id, 0);
}

void PumpFor(DWORD milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMilliseconds)
            return false;
        const DWORD wait = timeoutMilliseconds - elapsed < 10 ? timeoutMilliseconds - elapsed : 10;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

void MissNextClassLookup()
{
    g_missNextClassLookup = true;
}

namespace {

std::function<void()> g_timerAction;

void CALLBACK RunTimerAction(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    std::function<void()> action;
    action.swap(g_timerAction);
    if (action)
        action();
}

} // namespace

void RunFromTimer(UINT delay, std::function<void()> action)
{
    g_timerAction = std::move(action);
    SetTimer(nullptr, 0, delay, RunTimerAction);
}

std::vector<DrawTextCall>& DrawTextCalls()
{
    static std::vector<DrawTextCall> calls;
    return calls;
}

std::vector<TimerCall>& TimerCalls()
{
    static std::vector<TimerCall> calls;
    return calls;
}

void CWindowDpiAnswer::Answer(UINT dpi)
{
    g_windowDpi = static_cast<int>(dpi);
}

CWindowDpiAnswer::~CWindowDpiAnswer()
{
    g_windowDpi = kSystemsOwnDpi;
}

std::string PaintedText(HWND band)
{
    DrawTextCalls().clear();
    RedrawWindow(band, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    for (auto call = DrawTextCalls().rbegin(); call != DrawTextCalls().rend(); ++call) {
        if (call->window == band)
            return call->text;
    }
    return std::string();
}

std::string WindowText(HWND hwnd)
{
    WCHAR text[512] = L"";
    InternalGetWindowText(hwnd, text, 512);
    CHAR ansi[512] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), nullptr, nullptr);
    return ansi;
}

HWND PointAtBand(HWND band)
{
    RECT window;
    GetWindowRect(band, &window);
    SetCursorPos((window.left + window.right) / 2, (window.top + window.bottom) / 2);
    PostMessageA(band, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    HWND tip = nullptr;
    PumpUntil(
        [&] {
            tip = FindThreadWindow(GetCurrentThreadId(), nullptr, "tooltips_class32");
            return tip != nullptr;
        },
        5000);
    return tip;
}

bool PointAwayFrom(HWND tip)
{
    SetCursorPos(0, 0);
    return PumpUntil([&] { return !IsWindowVisible(tip); }, 5000);
}

std::string TipText(HWND tip, HWND band)
{
    CHAR text[80] = "";
    TTTOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = band;
    tool.uId = reinterpret_cast<UINT_PTR>(band);
    tool.lpszText = text;
    SendMessageA(tip, TTM_GETTEXTA, ARRAYSIZE(text), reinterpret_cast<LPARAM>(&tool));
    return text;
}

SIZE ClientSize(HWND hwnd)
{
    RECT client = {};
    GetClientRect(hwnd, &client);
    return {client.right, client.bottom};
}

std::vector<DWORD> CaptureClient(HWND hwnd)
{
    const SIZE size = ClientSize(hwnd);
    CDibCanvas canvas(size);
    const HDC source = GetDC(hwnd);
    BitBlt(canvas.Dc(), 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, source);
    return canvas.Pixels();
}

RECT InkBounds(const std::vector<DWORD>& pixels, SIZE size)
{
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const DWORD background = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    RECT bounds = {size.cx, size.cy, 0, 0};
    for (LONG y = 0; y < size.cy; ++y) {
        for (LONG x = 0; x < size.cx; ++x) {
            if (pixels[y * size.cx + x] == background)
                continue;
            bounds = {std::min(bounds.left, x), std::min(bounds.top, y), std::max(bounds.right, x + 1),
                      std::max(bounds.bottom, y + 1)};
        }
    }
    return bounds;
}

std::vector<DWORD> RenderBandText(const char* text, SIZE size)
{
    CDibCanvas canvas(size);
    RECT area = {0, 0, size.cx, size.cy};
    FillRect(canvas.Dc(), &area, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(canvas.Dc(), RGB(0, 0, 0));
    SetBkMode(canvas.Dc(), TRANSPARENT);
    DrawTextA(canvas.Dc(), text, -1, &area, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    return canvas.Pixels();
}

HWND CUser::WaitForWindow(const char* title, const char* className, DWORD timeout) const
{
    const DWORD start = GetTickCount();
    do {
        if (const HWND found = FindThreadWindow(m_uiThreadId, title, className))
            return found;
        Sleep(20);
    } while (GetTickCount() - start < timeout);
    return nullptr;
}

void CUser::Type(HWND dialog, int controlId, const std::string& text) const
{
    const HWND control = GetDlgItem(dialog, controlId);
    for (char c : text)
        PostMessageA(control, WM_CHAR, static_cast<BYTE>(c), 1);
}

void CUser::PressKey(HWND dialog, int controlId, UINT virtualKey) const
{
    const HWND control = GetDlgItem(dialog, controlId);
    PostMessageA(control, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(control, WM_KEYUP, virtualKey, 0xC0000001);
}

void CUser::Click(HWND dialog, int buttonId) const
{
    PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
}

void CUser::CloseBox(HWND dialog) const
{
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::string CUser::MessageText(HWND box) const
{
    return WindowText(GetDlgItem(box, 0xFFFF));
}

bool CUser::ShowsErrorIcon(HWND box) const
{
    const HICON errorIcon = LoadIconA(nullptr, IDI_HAND);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) == errorIcon)
            return true;
    }
    return false;
}

bool CUser::WaitUntilGone(HWND hwnd, DWORD timeout) const
{
    const DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= timeout)
            return false;
        Sleep(20);
    }
    return true;
}

CUserThread::CUserThread(std::function<void(const CUser&)> script)
    : m_script(std::move(script)), m_user(GetCurrentThreadId())
{
    m_hThread = CreateThread(nullptr, 0, Play, this, 0, nullptr);
}

DWORD WINAPI CUserThread::Play(LPVOID parameter)
{
    CUserThread* self = static_cast<CUserThread*>(parameter);
    self->m_script(self->m_user);
    DismissLeftoverDialogs(self->m_user.UiThreadId());
    return 0;
}

CUserThread::~CUserThread()
{
    // The thread may still need the UI thread to answer, so it pumps while
    // it waits.
    while (MsgWaitForMultipleObjects(1, &m_hThread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    CloseHandle(m_hThread);
}

void CommandWithUser(HWND band, WORD command, std::function<void(const CUser&)> script)
{
    CUserThread user(std::move(script));
    SendMessageA(band, WM_COMMAND, command, 0);
}

bool ChooseCustomInterval(HWND band, const std::string& entry)
{
    bool closed = false;
    CommandWithUser(band, ID_REFRESH_CUSTOM, [&](const CUser& user) {
        const HWND dialog = user.WaitForWindow("Refresh Settings");
        user.Type(dialog, IDC_INTERVAL, entry);
        user.PressKey(dialog, IDC_INTERVAL, VK_RETURN);
        closed = dialog && user.WaitUntilGone(dialog);
    });
    return closed;
}

ProcessResourceCounts CountProcessResources()
{
    ProcessResourceCounts counts = {};
    counts.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    counts.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    ResourceCounter counter = {GetCurrentProcessId(), 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&counter));
    counts.windows = counter.windows;
    // Handles are table indices in the low word; the table answers a handle
    // whose high word is zero for whatever object holds that index.
    for (UINT handle = 1; handle < 0x10000; ++handle) {
        if (IsMenu(reinterpret_cast<HMENU>(static_cast<UINT_PTR>(handle))))
            ++counts.menuHandles;
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(handle))))
            ++counts.gdiHandles;
    }
    counts.heapBytes = BusyHeapBytes();
    return counts;
}
