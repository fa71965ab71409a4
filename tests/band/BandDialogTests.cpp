// The custom interval dialog and the About box, driven the way a user drives
// them, and the refresh countdown with real timer ticks.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "resources/resource.h"
#include "tests/band/BandHarness.h"
#include "tests/band/IntervalDialogIntruder.h"
#include "tests/common/SandboxedTest.h"

namespace {

const char kIntervalDialogTitle[] = "Refresh Settings";

// What the user saw of one message box.
struct MessageSeen {
    bool shown = false;
    std::string text;
    bool ownedByDialog = false;
    bool errorIcon = false;
    bool dialogStillOpen = false;
};

// Replaces the field's text with text, as a user selecting all and typing.
void Retype(const CUser& user, HWND dialog, const std::string& text)
{
    PostMessageA(GetDlgItem(dialog, IDC_INTERVAL), EM_SETSEL, 0, -1);
    PostMessageA(GetDlgItem(dialog, IDC_INTERVAL), WM_CHAR, VK_BACK, 1);
    user.Type(dialog, IDC_INTERVAL, text);
}

MessageSeen ReadErrorAndDismiss(const CUser& user, HWND dialog)
{
    MessageSeen seen;
    const HWND box = user.WaitForWindow("Error");
    if (!box)
        return seen;
    seen.shown = true;
    seen.text = user.MessageText(box);
    seen.ownedByDialog = GetWindow(box, GW_OWNER) == dialog;
    seen.errorIcon = user.ShowsErrorIcon(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    user.WaitUntilGone(box);
    seen.dialogStillOpen = IsWindowVisible(dialog) != FALSE;
    return seen;
}

std::string FieldText(HWND dialog)
{
    CHAR text[128] = "";
    SendMessageA(GetDlgItem(dialog, IDC_INTERVAL), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
    return text;
}

// Each invalid entry gives its message, owned by the dialog, which stays
// open with the text as typed until the user escapes.
void ExpectEntriesRejectedWith(const std::vector<std::string>& entries, const std::string& message)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    std::vector<MessageSeen> seen;
    std::vector<std::string> fields;
    bool closed = false;
    CommandWithUser(host.BandWindow(), ID_REFRESH_CUSTOM, [&](const CUser& user) {
        const HWND dialog = user.WaitForWindow(kIntervalDialogTitle);
        for (const std::string& entry : entries) {
            Retype(user, dialog, entry);
            user.Click(dialog, IDOK);
            seen.push_back(ReadErrorAndDismiss(user, dialog));
            fields.push_back(FieldText(dialog));
        }
        user.PressKey(dialog, IDC_INTERVAL, VK_ESCAPE);
        closed = user.WaitUntilGone(dialog);
    });
    ASSERT_EQ(entries.size(), seen.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_TRUE(seen[i].shown) << '"' << entries[i] << '"';
        EXPECT_EQ(message, seen[i].text) << '"' << entries[i] << '"';
        EXPECT_TRUE(seen[i].ownedByDialog) << '"' << entries[i] << '"';
        EXPECT_TRUE(seen[i].errorIcon) << '"' << entries[i] << '"';
        EXPECT_TRUE(seen[i].dialogStillOpen) << '"' << entries[i] << '"';
        EXPECT_EQ(entries[i], fields[i]);
    }
    EXPECT_TRUE(closed);
    EXPECT_EQ("No Refresh", PaintedText(host.BandWindow()));
}

TEST(IntervalDialog, OkAcceptsTheTypedIntervalAndRestartsTheTimer)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    bool closed = false;
    TimerCalls().clear();
    CommandWithUser(host.BandWindow(), ID_REFRESH_CUSTOM, [&](const CUser& user) {
        const HWND dialog = user.WaitForWindow(kIntervalDialogTitle);
        user.Type(dialog, IDC_INTERVAL, "15");
        user.Click(dialog, IDOK);
        closed = user.WaitUntilGone(dialog);
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ("Every 15 seconds", PaintedText(host.BandWindow()));
    ASSERT_FALSE(TimerCalls().empty());
    EXPECT_EQ(15000u, TimerCalls().back().period);
}

TEST(IntervalDialog, EnterAcceptsLeadingZeros)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    EXPECT_TRUE(ChooseCustomInterval(host.BandWindow(), "007"));
    EXPECT_EQ("Every 7 seconds", PaintedText(host.BandWindow()));
}

TEST(IntervalDialog, EnterAtOnceFindsTheFieldEmpty)
{
    ExpectEntriesRejectedWith({""}, "Cannot be empty");
}

TEST(IntervalDialog, AnythingButDigitsIsRefused)
{
    ExpectEntriesRejectedWith({"-5", " 5", "1.5", "x"}, "That field can only contain numbers");
}

TEST(IntervalDialog, ZeroIsAnInvalidInterval)
{
    ExpectEntriesRejectedWith({"0", "000"}, "That is a invalid interval");
}

TEST(IntervalDialog, HugeEntriesRunAtTheLongestTimerPeriod)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    TimerCalls().clear();
    EXPECT_TRUE(ChooseCustomInterval(host.BandWindow(), "99999999999"));
    EXPECT_EQ("Every 2147483647 seconds", PaintedText(host.BandWindow()));
    ASSERT_FALSE(TimerCalls().empty());
    EXPECT_EQ(2147483647u, TimerCalls().back().period);

    TimerCalls().clear();
    EXPECT_TRUE(ChooseCustomInterval(host.BandWindow(), "2147483"));
    ASSERT_FALSE(TimerCalls().empty());
    EXPECT_EQ(2147483000u, TimerCalls().back().period);
    TimerCalls().clear();
    EXPECT_TRUE(ChooseCustomInterval(host.BandWindow(), "2147484"));
    EXPECT_EQ("Every 2147484 seconds", PaintedText(host.BandWindow()));
    ASSERT_FALSE(TimerCalls().empty());
    EXPECT_EQ(2147483647u, TimerCalls().back().period);
}

TEST(IntervalDialog, OnlyTheFirst59CharactersAreRead)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    EXPECT_TRUE(ChooseCustomInterval(host.BandWindow(), std::string(58, '0') + "9x"));
    EXPECT_EQ("Every 9 seconds", PaintedText(host.BandWindow()));
}

TEST(IntervalDialog, CancelEscapeAndCloseBoxKeepTheSettingAndRestartTheCountdown)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    host.Command(ID_REFRESH_30SEC);
    enum Way { CancelButton, EscapeKey, CloseBox };
    for (Way way : {CancelButton, EscapeKey, CloseBox}) {
        bool closed = false;
        TimerCalls().clear();
        CommandWithUser(host.BandWindow(), ID_REFRESH_CUSTOM, [&](const CUser& user) {
            const HWND dialog = user.WaitForWindow(kIntervalDialogTitle);
            user.Type(dialog, IDC_INTERVAL, "5");
            if (way == CancelButton)
                user.Click(dialog, IDCANCEL);
            else if (way == EscapeKey)
                user.PressKey(dialog, IDC_INTERVAL, VK_ESCAPE);
            else
                user.CloseBox(dialog);
            closed = user.WaitUntilGone(dialog);
        });
        EXPECT_TRUE(closed) << way;
        EXPECT_EQ("Every 30 seconds", PaintedText(host.BandWindow())) << way;
        ASSERT_EQ(2u, TimerCalls().size()) << way;
        EXPECT_EQ(30000u, TimerCalls()[1].period) << way;
    }
}

// A dialog destroyed before it was answered (as it is with its top-level
// owner when the browser window closes) makes DialogBoxParamA give 0, which
// is no interval: the setting stays, as on Cancel.
TEST(IntervalDialog, DialogDestroyedWithoutAnAnswerKeepsTheSetting)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    host.Command(ID_REFRESH_30SEC);
    TimerCalls().clear();
    RunFromTimer(100, [] { DestroyWindow(FindWindowA("#32770", kIntervalDialogTitle)); });
    host.Command(ID_REFRESH_CUSTOM);
    EXPECT_EQ(nullptr, FindWindowA("#32770", kIntervalDialogTitle));
    EXPECT_EQ("Every 30 seconds", PaintedText(host.BandWindow()));
    ASSERT_EQ(2u, TimerCalls().size());
    EXPECT_EQ(30000u, TimerCalls()[1].period);
}

// WM_QUIT ends the dialog's loop, which then gives 1 for a dialog nobody
// answered: the setting stays as on Cancel, and the quit, with its exit
// code, still reaches the host's own loop.
TEST(IntervalDialog, QuitDuringTheDialogKeepsTheSettingAndReachesTheHostsLoop)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    host.Command(ID_REFRESH_30SEC);
    TimerCalls().clear();
    RunFromTimer(100, [] { PostQuitMessage(7); });
    host.Command(ID_REFRESH_CUSTOM);
    MSG quit = {};
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, quit.wParam);
    EXPECT_EQ(nullptr, FindWindowA("#32770", kIntervalDialogTitle));
    EXPECT_EQ("Every 30 seconds", PaintedText(host.BandWindow()));
    ASSERT_EQ(2u, TimerCalls().size());
    EXPECT_EQ(30000u, TimerCalls()[1].period);
}

TEST(AboutBox, ShowsProductDisclaimerAndBylineAndTouchesNothing)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    host.Command(ID_REFRESH_30SEC);
    enum Way { OkButton, EnterKey, EscapeKey };
    for (Way way : {OkButton, EnterKey, EscapeKey}) {
        UpdateWindow(host.BandWindow());
        TimerCalls().clear();
        std::vector<std::string> texts;
        bool closed = false;
        CommandWithUser(host.BandWindow(), ID_ABOUT, [&](const CUser& user) {
            const HWND about = user.WaitForWindow("About");
            for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                texts.push_back(WindowText(child));
            if (way == OkButton)
                user.Click(about, IDOK);
            else
                user.PressKey(about, IDOK, way == EnterKey ? VK_RETURN : VK_ESCAPE);
            closed = user.WaitUntilGone(about);
        });
        EXPECT_TRUE(closed) << way;
        ASSERT_EQ(4u, texts.size());
        EXPECT_EQ("OK", texts[0]);
        EXPECT_EQ("Tandrel Version 1.20", texts[1]);
        EXPECT_NE(std::string::npos, texts[2].find("\"as-is\""));
        EXPECT_EQ("The Tandrel Project, 2026", texts[3]);
        EXPECT_TRUE(TimerCalls().empty()) << way;
        EXPECT_FALSE(GetUpdateRect(host.BandWindow(), nullptr, FALSE)) << way;
    }
}

TEST(IntervalDialog, HostReleasingTheBandWhileTheDialogIsOpenIsSafe)
{
    CBandHarness host;
    const ULONG siteReferences = host.Site().References();
    ASSERT_EQ(S_OK, host.Open());
    const HWND band = host.BandWindow();
    bool released = false;
    RunFromTimer(200, [&] { host.Close(); });
    CommandWithUser(band, ID_REFRESH_CUSTOM, [&](const CUser& user) {
        const HWND dialog = user.WaitForWindow(kIntervalDialogTitle);
        released = user.WaitUntilGone(band);
        user.Type(dialog, IDC_INTERVAL, "5");
        user.PressKey(dialog, IDC_INTERVAL, VK_RETURN);
        user.WaitUntilGone(dialog);
    });
    EXPECT_TRUE(released);
    EXPECT_EQ(nullptr, host.Band());
    EXPECT_EQ(siteReferences, host.Site().References());
    EXPECT_EQ(S_OK, Tandrel().CanUnloadNow());
}

// The host sites the band again while the custom dialog is open: the chosen
// interval times and shows the band's new window, not the one gone meanwhile.
TEST(IntervalDialog, SitingAgainDuringTheDialogTimesTheNewWindow)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    const HWND first = host.BandWindow();
    CInterfacePtr<IObjectWithSite> withSite = QueryBand<IObjectWithSite>(host.Band(), IID_IObjectWithSite);
    RunFromTimer(200, [&] {
        withSite->SetSite(host.SiteUnknown());
        host.Band()->ShowDW(TRUE);
    });
    CommandWithUser(first, ID_REFRESH_CUSTOM, [&](const CUser& user) {
        const HWND dialog = user.WaitForWindow(kIntervalDialogTitle);
        user.WaitUntilGone(first);
        user.Type(dialog, IDC_INTERVAL, "5");
        user.PressKey(dialog, IDC_INTERVAL, VK_RETURN);
        user.WaitUntilGone(dialog);
    });
    const HWND second = host.BandWindow();
    ASSERT_TRUE(IsWindow(second));
    EXPECT_FALSE(IsWindow(first));
    ASSERT_FALSE(TimerCalls().empty());
    const TimerCall& last = TimerCalls().back();
    EXPECT_TRUE(last.set);
    EXPECT_EQ(second, last.window);
    EXPECT_EQ(5000u, last.period);
    EXPECT_EQ("Every 5 seconds", PaintedText(second));
}

// The intruder program beside the test program, run against band with the
// address and the interval given; its IntrusionResult, or -1 when it could
// not be run to its end.
int RunIntruderProcess(HWND band, LPARAM address, const char* interval)
{
    CHAR folder[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, folder, MAX_PATH);
    *strrchr(folder, '\\') = '\0';
    CHAR commandLine[2 * MAX_PATH];
    snprintf(commandLine, sizeof(commandLine), "\"%s\\IntervalDialogIntruder.exe\" %llx %llx %s", folder,
             static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(band)),
             static_cast<unsigned long long>(static_cast<UINT_PTR>(address)), interval);
    STARTUPINFOA startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    const CUniqueAny<HANDLE, CloseHandle> processHandle(process.hProcess);
    const CUniqueAny<HANDLE, CloseHandle> threadHandle(process.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (!PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 60000))
        TerminateProcess(process.hProcess, exitCode);
    GetExitCodeProcess(process.hProcess, &exitCode);
    return static_cast<int>(exitCode);
}

// Any program on the desktop may open the custom dialog with a posted
// command, send it a WM_INITDIALOG of its own whose lParam is an address in
// the browser, type and post OK. Once that made the dialog write the number
// at the address. Now the number reaches the band alone.
TEST(IntervalDialog, AnswerFromAnotherThreadOrProcessWritesNowhereButTheBand)
{
    const struct {
        const char* name;
        std::function<int(HWND, LPARAM, const char*)> intrude;
    } intruders[] = {
        {"another thread",
         [](HWND band, LPARAM address, const char* interval) {
             int result = -1;
             {
                 CUserThread user([&](const CUser&) { result = IntrudeOnIntervalDialog(band, address, interval); });
             }
             return result;
         }},
        {"another process", RunIntruderProcess},
    };
    for (const auto& intruder : intruders) {
        CBandHarness host;
        ASSERT_EQ(S_OK, host.Open());
        LONG canary[4];
        memset(canary, 'x', sizeof(canary));
        EXPECT_EQ(kIntrusionDone, intruder.intrude(host.BandWindow(), reinterpret_cast<LPARAM>(&canary[1]), "4321"))
            << intruder.name;
        EXPECT_EQ(std::string(sizeof(canary), 'x'), std::string(reinterpret_cast<const char*>(canary), sizeof(canary)))
            << intruder.name;
        EXPECT_EQ("Every 4321 seconds", PaintedText(host.BandWindow())) << intruder.name;
    }
}

// ---- The countdown, with real ticks

// The refresh times after from.
std::vector<double> RefreshesAfter(const CHostBrowser& browser, double from)
{
    std::vector<double> after;
    for (double time : browser.RefreshTimes()) {
        if (time > from)
            after.push_back(time);
    }
    return after;
}

// Waits for the next refresh after from; its time, or 0.
double NextRefreshAfter(const CHostBrowser& browser, double from, DWORD timeout = 4000)
{
    PumpUntil([&] { return !RefreshesAfter(browser, from).empty(); }, timeout);
    const std::vector<double> after = RefreshesAfter(browser, from);
    return after.empty() ? 0 : after.front();
}

class RefreshCountdown : public SandboxedTest {};

TEST_F(RefreshCountdown, TicksComeEveryIntervalAndRefreshThePage)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    ASSERT_TRUE(ChooseCustomInterval(host.BandWindow(), "1"));
    const double chosen = HostClockMilliseconds();
    ASSERT_TRUE(PumpUntil([&] { return host.Browser().RefreshCount() >= 3; }, 5000));
    const std::vector<double>& times = host.Browser().RefreshTimes();
    EXPECT_NEAR(1000, times[0] - chosen, 250);
    EXPECT_NEAR(1000, times[1] - times[0], 250);
    EXPECT_NEAR(1000, times[2] - times[1], 250);
    EXPECT_EQ(4, host.Browser().LoadCount());
}

TEST_F(RefreshCountdown, AnyCommandButAboutStartsTheCountdownAfresh)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    ASSERT_TRUE(ChooseCustomInterval(host.BandWindow(), "1"));
    for (WORD command : {static_cast<WORD>(40000), static_cast<WORD>(ID_REMEMBER_SETTINGS)}) {
        const double tick = NextRefreshAfter(host.Browser(), HostClockMilliseconds());
        ASSERT_NE(0, tick);
        PumpFor(600);
        const double commanded = HostClockMilliseconds();
        host.Command(command);
        const double next = NextRefreshAfter(host.Browser(), commanded);
        EXPECT_NEAR(1000, next - commanded, 200) << command;
    }
}

TEST_F(RefreshCountdown, AboutKeepsTheCountdownRunning)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    ASSERT_TRUE(ChooseCustomInterval(host.BandWindow(), "1"));
    const double tick = NextRefreshAfter(host.Browser(), HostClockMilliseconds());
    ASSERT_NE(0, tick);
    PumpFor(300);
    const LONG before = host.Browser().RefreshCount();
    CommandWithUser(host.BandWindow(), ID_ABOUT, [&](const CUser& user) {
        const HWND about = user.WaitForWindow("About");
        Sleep(2500);
        user.PressKey(about, IDOK, VK_RETURN);
        user.WaitUntilGone(about);
    });
    // Ticks went on inside the dialog's own message loop.
    EXPECT_GE(host.Browser().RefreshCount() - before, 2);
    const double next = NextRefreshAfter(host.Browser(), HostClockMilliseconds());
    const double phase = fmod(next - tick, 1000.0);
    EXPECT_TRUE(phase < 200 || phase > 800) << "refresh " << next - tick << " ms after the first";
}

// The browser's refresh may run a message loop of its own before it returns
// (a prompt to send a form again, a page's dialog), through which ticks keep
// coming. None of them refreshes again: the refresh after the slow one comes
// with the first tick after it has returned.
TEST_F(RefreshCountdown, TicksDuringARefreshThatHasNotReturnedRefreshNothing)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    int depth = 0;
    int deepest = 0;
    bool slow = true;
    host.Browser().SetLoadObserver([&] {
        deepest = std::max(deepest, ++depth);
        if (std::exchange(slow, false))
            PumpFor(2600);
        --depth;
    });
    ASSERT_TRUE(ChooseCustomInterval(host.BandWindow(), "1"));
    ASSERT_TRUE(PumpUntil([&] { return host.Browser().RefreshCount() >= 2; }, 6000));
    EXPECT_EQ(1, deepest);
    const std::vector<double>& times = host.Browser().RefreshTimes();
    EXPECT_NEAR(3000, times[1] - times[0], 300);
}

TEST_F(RefreshCountdown, TurningOffStopsTheTicks)
{
    CBandHarness host;
    ASSERT_EQ(S_OK, host.Open());
    ASSERT_TRUE(ChooseCustomInterval(host.BandWindow(), "1"));
    ASSERT_NE(0, NextRefreshAfter(host.Browser(), HostClockMilliseconds()));
    host.Command(ID_REFRESH_OFF);
    const LONG refreshes = host.Browser().RefreshCount();
    PumpFor(2300);
    EXPECT_EQ(refreshes, host.Browser().RefreshCount());
}

} // namespace
