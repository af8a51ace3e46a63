#include "tests/host/x11_saver_fixture.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>

#include "tests/support/wait_until.h"

using velmora_test::Picture;

void X11Saver::SetUpTestSuite()
{
    server = std::make_unique<velmora_test::PrivateDisplay>(kScreenWidth, kScreenHeight);
}

void X11Saver::TearDownTestSuite()
{
    server.reset();
}

void X11Saver::SetUp()
{
    ASSERT_FALSE(DisplayName().empty()) << "no display of the test's own: " << server->Failure();
    // Windows of the previous test's saver may vanish while they are being
    // looked at; Xlib's default handler would end this process for that.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    display = XOpenDisplay(DisplayName().c_str());
    ASSERT_NE(nullptr, display) << "cannot open the test's X display " << DisplayName();
    int eventBase, errorBase, major, minor;
    ASSERT_TRUE(XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        << "the X display has no XTEST extension to send input with";
    root = DefaultRootWindow(display);
    // A key that the server repeats would reach the next test's saver as a
    // fresh KeyPress and close it.
    XAutoRepeatOff(display);
    // What an earlier test of this process drew on the root window must not
    // pass for a later saver's picture.
    XClearWindow(display, root);
    // Start every test with the pointer well inside where the saver's
    // window will appear.
    MovePointer(300, 300);
}

void X11Saver::TearDown()
{
    for (Window window : ownWindows)
        XDestroyWindow(display, window);
    if (display != nullptr)
        XCloseDisplay(display);
}

Window X11Saver::ShowingTheScene(velmora_test::StartedSaver& saver)
{
    const Window window = WindowOf(saver);
    if (window == None || WaitForScene(window).DistinctColours() < kSceneColours)
        return None;
    return window;
}

Picture X11Saver::WaitForScene(Window window)
{
    Picture picture;
    velmora_test::WaitUntil(velmora_test::kSaverStartTimeout, std::chrono::milliseconds(100), [&] {
        picture = Capture(window);
        return picture.DistinctColours() >= kSceneColours;
    });
    return picture;
}

void X11Saver::MovePointer(int x, int y)
{
    XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
    XSync(display, False);
}

void X11Saver::PressKey()
{
    const KeyCode code = XKeysymToKeycode(display, XK_space);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

void X11Saver::Click(unsigned button)
{
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
}

Window X11Saver::MakePlainWindow(int width, int height)
{
    const Window window = XCreateSimpleWindow(display, root, 50, 50, width, height, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    ownWindows.push_back(window);
    return window;
}

::testing::AssertionResult IsOneLineSaying(const std::string& text, const std::string& words)
{
    if (std::count(text.begin(), text.end(), '\n') != 1)
        return ::testing::AssertionFailure() << "not one line: " << text;
    if (text.find(words) == std::string::npos)
        return ::testing::AssertionFailure() << "does not say \"" << words << "\": " << text;
    return ::testing::AssertionSuccess();
}
