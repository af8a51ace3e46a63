// velmora.scr driven as the NT family drives a screen saver: by its command
// line, by input and by the messages the system sends it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/host/win32_driver.h"

using namespace velmora_driver;

namespace {

// A bound on a close, not its expected time: the close time is a figure that
// ExpectCloses prints and bench/host/measured-run measures on a quiet machine, and a
// busy machine must not turn it into a failure.
constexpr DWORD kCloseBoundMs = 30000;

struct PointerAt {
    explicit PointerAt(int x, int y)
    {
        EXPECT_TRUE(MovePointer(x, y)) << "the pointer never reached " << x << "," << y;
    }
};

// Starts the full-screen saver and waits for its window.
struct Running {
    // Before the saver starts: it takes the pointer's place as its anchor then,
    // and the moves of a test count from there.
    PointerAt pointer{200, 200};
    Saver saver{L"/s"};
    HWND window = nullptr;
    Running() { window = saver.WaitForSaverWindow(); }
};

// Posts the message and expects the saver to end with 0; prints how long it took.
void ExpectCloses(UINT message, WPARAM wParam, LPARAM lParam)
{
    Running run;
    ASSERT_NE(run.window, nullptr);
    const DWORD start = GetTickCount();
    PostMessageW(run.window, message, wParam, lParam);
    int code = 99;
    ASSERT_TRUE(run.saver.WaitForExit(kCloseBoundMs, code)) << "message " << message << " did not close the saver";
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(code, 0);
    std::printf("message 0x%X (0x%llX): closed in %lu ms\n", message, static_cast<unsigned long long>(wParam), took);
}

// Posts the message and expects the saver to stay; then ends it with a key.
void ExpectStays(UINT message, WPARAM wParam, LPARAM lParam)
{
    Running run;
    ASSERT_NE(run.window, nullptr);
    PostMessageW(run.window, message, wParam, lParam);
    PumpFor(600);
    EXPECT_TRUE(run.saver.Running()) << "message " << message << " wParam " << wParam << " closed the saver";
    EXPECT_TRUE(IsWindow(run.window));
    PostMessageW(run.window, WM_KEYDOWN, VK_SPACE, 0);
    int code = 99;
    EXPECT_TRUE(run.saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
}

int ExitCodeOf(const std::wstring& arguments, bool& windowSeen)
{
    Saver saver(arguments);
    int code = 99;
    EXPECT_TRUE(saver.WaitForExit(15000, code)) << "still running";
    windowSeen = !WindowsOfClass(L"WindowsScreenSaverClass").empty();
    return code;
}

// A window of the driver's own, standing for the display settings' preview
// area or the configure dialog's owner; it notes the help messages it gets.
struct HostWindow {
    static inline UINT lastHelp = 0;
    static inline WPARAM lastHelpWParam = 0;
    HWND window = nullptr;

    static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_HELP || message == WM_CONTEXTMENU) {
            lastHelp = message;
            lastHelpWParam = wParam;
            return 0;
        }
        return DefWindowProcW(w, message, wParam, lParam);
    }

    HostWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VelmoraDriverHost";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"VelmoraDriverHost", L"Display settings", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                                 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        PumpFor(100);
    }
    ~HostWindow()
    {
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
    }
    std::wstring Handle() const { return std::to_wstring(reinterpret_cast<std::uintptr_t>(window)); }
};

} // namespace

TEST(SaverCommandLine, EverySpellingOfSStartsTheFullScreenSaver)
{
    for (const wchar_t* arguments : {L"/s", L"-S", L"s", L"  /s"}) {
        Saver saver(arguments);
        HWND window = saver.WaitForSaverWindow();
        ASSERT_NE(window, nullptr) << "no saver window";
        RECT rect{};
        GetWindowRect(window, &rect);
        EXPECT_EQ(rect.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
        EXPECT_EQ(rect.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
        EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
        EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_EQ(saver.OwnThreads(), 2) << "the main thread and the engine's worker";
        PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0);
        int code = 99;
        EXPECT_TRUE(saver.WaitForExit(10000, code));
        EXPECT_EQ(code, 0);
    }
}

TEST(SaverCommandLine, BadArgumentsEndWithMinusOneAndNoWindow)
{
    HostWindow host;
    for (const std::wstring& arguments : {std::wstring(L"/x"), std::wstring(L"/p:") + host.Handle(),
                                          std::wstring(L"/p"), std::wstring(L"/p 0"), L"/a " + host.Handle()}) {
        bool windowSeen = true;
        EXPECT_EQ(ExitCodeOf(arguments, windowSeen), -1) << std::string(arguments.begin(), arguments.end());
        EXPECT_FALSE(windowSeen);
    }
}

TEST(SaverCommandLine, ConfigureOpensTheAboutDialogOwnedByTheGivenWindow)
{
    HostWindow host;
    Saver saver(L"/c:" + host.Handle());
    HWND dialog = saver.FindWindowOf(L"#32770", L"The Velmora");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), host.window);
    bool textFound = false;
    for (const std::wstring& text : StaticTexts(dialog)) {
        textFound = textFound || text == L"The Velmora 1.1 Screen saver";
    }
    EXPECT_TRUE(textFound);
    // The caption's close button.
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 1);
}

TEST(SaverPreview, RunsInsideItsParentIgnoresInputAndEndsWithIt)
{
    HostWindow host;
    Saver saver(L"/p " + host.Handle());
    HWND preview = saver.FindWindowOf(L"WindowsScreenSaverClass", L"Preview", host.window);
    ASSERT_NE(preview, nullptr);
    PumpFor(300);
    EXPECT_EQ(GetParent(preview), host.window);
    EXPECT_TRUE(GetWindowLongPtrW(preview, GWL_STYLE) & WS_CHILD);
    RECT parentClient{}, previewRect{};
    GetClientRect(host.window, &parentClient);
    GetClientRect(preview, &previewRect);
    EXPECT_EQ(previewRect.right, parentClient.right);
    EXPECT_EQ(previewRect.bottom, parentClient.bottom);

    PostMessageW(preview, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageW(preview, WM_LBUTTONDOWN, 0, 0);
    PostMessageW(preview, WM_ACTIVATEAPP, 0, 0);
    ASSERT_TRUE(MovePointer(600, 500));
    PostMessageW(preview, WM_MOUSEMOVE, 0, 0);
    PumpFor(500);
    EXPECT_TRUE(saver.Running());

    // WM_HELP carries a pointer, so it can only be sent; the preview answers 1.
    HostWindow::lastHelp = 0;
    HELPINFO help{};
    help.cbSize = sizeof help;
    help.iContextType = HELPINFO_WINDOW;
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(preview, WM_HELP, 0, reinterpret_cast<LPARAM>(&help), SMTO_NORMAL, kAnswerBoundMs, &answer);
    EXPECT_EQ(answer, 1u);
    PumpFor(300);
    std::printf("WM_HELP forwarded to the parent: %s\n", HostWindow::lastHelp == WM_HELP ? "yes" : "no");
    HostWindow::lastHelp = 0;
    PostMessageW(preview, WM_CONTEXTMENU, 0, MAKELPARAM(5, 6));
    PumpFor(300);
    EXPECT_EQ(HostWindow::lastHelp, static_cast<UINT>(WM_CONTEXTMENU));
    EXPECT_EQ(HostWindow::lastHelpWParam, reinterpret_cast<WPARAM>(host.window));

    DestroyWindow(host.window);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
}

TEST(SaverClose, AKeyPressCloses)
{
    ExpectCloses(WM_KEYDOWN, 'A', 0);
}
TEST(SaverClose, ASystemKeyPressCloses)
{
    ExpectCloses(WM_SYSKEYDOWN, VK_MENU, 0);
}
TEST(SaverClose, TheLeftButtonCloses)
{
    ExpectCloses(WM_LBUTTONDOWN, MK_LBUTTON, 0);
}
TEST(SaverClose, TheRightButtonCloses)
{
    ExpectCloses(WM_RBUTTONDOWN, MK_RBUTTON, 0);
}
TEST(SaverClose, TheMiddleButtonCloses)
{
    ExpectCloses(WM_MBUTTONDOWN, MK_MBUTTON, 0);
}
TEST(SaverClose, LosingActivationCloses)
{
    ExpectCloses(WM_ACTIVATEAPP, 0, 0);
}
TEST(SaverClose, MonitorPowerCloses)
{
    ExpectCloses(WM_SYSCOMMAND, SC_MONITORPOWER, 2);
}
TEST(SaverClose, ACriticalResumeCloses)
{
    ExpectCloses(WM_POWER, 3, 0);
}
TEST(SaverClose, ASuspendQueryCloses)
{
    ExpectCloses(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0);
}
TEST(SaverClose, AResumeNoticeCloses)
{
    ExpectCloses(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
}
TEST(SaverClose, AnUnknownPowerEventCloses)
{
    ExpectCloses(WM_POWERBROADCAST, 0x8013, 0);
}
TEST(SaverClose, WmCloseEndsTheProcessQuickly)
{
    ExpectCloses(WM_CLOSE, 0, 0);
}

TEST(SaverClose, AResumeFromFailureAnUnchangedLineAndOtherPowerNoticesDoNotClose)
{
    ExpectStays(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, PBTF_APMRESUMEFROMFAILURE);
    ExpectStays(WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
    ExpectStays(WM_POWER, 2, 0);
    ExpectStays(WM_ACTIVATEAPP, 1, 0);
}

TEST(SaverClose, ScreenSaveAndWindowSwitchingCommandsAreSwallowed)
{
    ExpectStays(WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    ExpectStays(WM_SYSCOMMAND, SC_NEXTWINDOW, 0);
    ExpectStays(WM_SYSCOMMAND, SC_PREVWINDOW, 0);
}

TEST(SaverClose, TheMouseMayMoveFourPixelsButNotFive)
{
    Running run;
    ASSERT_NE(run.window, nullptr);
    // Real moves of the pointer: the system tells the saver of each itself.
    ASSERT_TRUE(MovePointer(203, 201));
    PumpFor(600);
    ASSERT_TRUE(run.saver.Running()) << "3 + 1 pixels closed the saver";
    ASSERT_TRUE(MovePointer(204, 201));
    int code = 99;
    ASSERT_TRUE(run.saver.WaitForExit(kCloseBoundMs, code)) << "4 + 1 pixels did not close the saver";
    EXPECT_EQ(code, 0);
}

TEST(SaverWindow, KeepsItsTitleAndIgnoresAutoPlayQueriesOnThisFamily)
{
    Running run;
    ASSERT_NE(run.window, nullptr);
    DWORD_PTR answer = 7;
    SendMessageTimeoutW(run.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Renamed"), SMTO_NORMAL, kAnswerBoundMs,
                        &answer);
    EXPECT_EQ(WindowText(run.window), L"Screen Saver");
    EXPECT_EQ(answer, 0u);

    // Only a saver that checks the password itself registers the query.
    const UINT query = RegisterWindowMessageW(L"QueryCancelAutoPlay");
    answer = 7;
    SendMessageTimeoutW(run.window, query, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &answer);
    EXPECT_EQ(answer, 0u);
    PumpFor(500);
    EXPECT_TRUE(run.saver.Running());
}

TEST(SaverWindow, ASecondStartBringsTheFirstToTheFrontAndEndsWithZero)
{
    Running first;
    ASSERT_NE(first.window, nullptr);
    Saver second(L"/s");
    ASSERT_TRUE(second.Started()) << "cannot start a second saver: error " << second.StartError();
    int code = 99;
    ASSERT_TRUE(second.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(WindowsOfClass(L"WindowsScreenSaverClass").size(), 1u);
    EXPECT_EQ(GetForegroundWindow(), first.window);
    EXPECT_TRUE(first.saver.Running());
}

TEST(SaverPicture, ShowsTheBackgroundTheRainAndTheClock)
{
    Running run;
    ASSERT_NE(run.window, nullptr);
    PumpFor(4000); // the rain needs a few seconds to fill the pane
    Screenshot first, second;
    std::string error;
    if (!TakeScreenshot(OwnFile(L"saver-1.xwd"), first, error)) {
        GTEST_SKIP() << error;
    }
    PumpFor(400);
    ASSERT_TRUE(TakeScreenshot(OwnFile(L"saver-2.xwd"), second, error)) << error;
    ASSERT_EQ(first.width, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(first.height, second.height);
    const int w = first.width, h = first.height;

    auto brightness = [](std::uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF); };
    auto meanOver = [&](const Screenshot& s, int x0, int y0, int x1, int y1) {
        double sum = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                sum += brightness(s.At(x, y));
            }
        }
        return sum / ((x1 - x0) * double(y1 - y0));
    };
    // Zones: a sky above the horizon band, a darker ground below; not a black window.
    const double sky = meanOver(first, 0, 0, w / 2, h / 10);
    const double ground = meanOver(first, 0, h * 8 / 10, w, h);
    EXPECT_GT(sky, 30.0);
    EXPECT_GT(ground, 10.0) << "the ground is drawn, not left black";
    EXPECT_GT(sky, ground + 20.0);

    // Something moves between the shots.
    long changed = 0;
    for (int y = h / 3; y < h; ++y) {
        for (int x = 0; x < w * 3 / 5; ++x) {
            changed += first.At(x, y) != second.At(x, y);
        }
    }
    EXPECT_GT(changed, 50) << "no streak or drop moved";

    // The clock at the upper right: strong detail there, none in the same band at the left.
    auto contrast = [&](int x0, int x1) {
        long strong = 0;
        for (int y = 0; y < h / 3; ++y) {
            for (int x = x0; x < x1 - 1; ++x) {
                const int d =
                    static_cast<int>(brightness(first.At(x, y))) - static_cast<int>(brightness(first.At(x + 1, y)));
                strong += d > 60 || d < -60;
            }
        }
        return strong;
    };
    EXPECT_GT(contrast(w * 3 / 4, w), 40 + 3 * contrast(0, w / 4)) << "no clock at the upper right";

    PostMessageW(run.window, WM_KEYDOWN, VK_SPACE, 0);
    int code = 99;
    EXPECT_TRUE(run.saver.WaitForExit(10000, code));
}

// velmora-test.scr, the saver's test build, counts the rendering contexts it
// makes and deletes: the worker lets go of its context before it says that it
// stopped, so the window can delete it, on a close as after a failure.
TEST(SaverEngine, ACloseDeletesEveryContextMade)
{
    TestBuildRun logs;
    {
        Saver saver(L"/s", L"velmora-test.scr");
        HWND window = saver.WaitForSaverWindow();
        ASSERT_NE(window, nullptr);
        PumpFor(500);
        PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0);
        int code = 99;
        ASSERT_TRUE(saver.WaitForExit(10000, code));
        EXPECT_EQ(code, 0);
    }
    EXPECT_EQ(logs.Contexts(), "made 1 deleted 1");
}

// A scene that fails on its tenth tick ends the saver, full screen or preview,
// with -1, as an unhandled failure ends it. The window looks four times a
// second; how soon after the failure the saver ended is printed.
TEST(SaverEngine, AFailedSceneEndsTheSaverWithMinusOne)
{
    HostWindow host;
    for (const std::wstring& arguments : {std::wstring(L"/s"), L"/p " + host.Handle()}) {
        TestBuildRun logs(10);
        Saver saver(arguments, L"velmora-test.scr");
        int code = 99;
        ASSERT_TRUE(saver.WaitForExit(kCloseBoundMs, code)) << "the saver stands still after its scene failed";
        const long long ended = SteadyMilliseconds();
        EXPECT_EQ(code, -1);
        ASSERT_GE(logs.FailedAt(), 0) << "the scene did not fail";
        std::printf("%ls: ended %lld ms after the failure\n", arguments.c_str(), ended - logs.FailedAt());
        EXPECT_EQ(logs.Contexts(), "made 1 deleted 1");
    }
}
