// The velmora program's window, picture, input and ends, on the test's own
// display (see x11_saver_fixture.h).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/x11_saver_fixture.h"
#include "tests/support/posix_temporary_folder.h"
#include "tests/support/wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using velmora_test::kSaverStartTimeout;
using velmora_test::Picture;
using velmora_test::StartedSaver;
using velmora_test::WaitUntil;
using velmora_test::WindowId;

TEST_F(X11Saver, OpensAResizableTitledWindowOfTenTwentyFourBySevenSixtyEight)
{
    StartedSaver saver = Start({});
    const Window window = WindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();

    char* name = nullptr;
    ASSERT_TRUE(XFetchName(display, window, &name));
    EXPECT_STREQ("The Velmora", name);
    XFree(name);

    XClassHint classHint;
    ASSERT_TRUE(XGetClassHint(display, window, &classHint));
    EXPECT_STREQ("velmora", classHint.res_name);
    XFree(classHint.res_name);
    XFree(classHint.res_class);

    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(1024, attributes.width);
    EXPECT_EQ(768, attributes.height);

    XSizeHints hints;
    long supplied = 0;
    if (XGetWMNormalHints(display, window, &hints, &supplied)) {
        EXPECT_FALSE((hints.flags & PMaxSize) && (hints.flags & PMinSize) && hints.max_width == hints.min_width)
            << "the window must not be fixed in size";
    }
    EXPECT_TRUE(saver.Running()) << saver.ErrorOutput();
}

TEST_F(X11Saver, ShowsTheAnimatedScene)
{
    StartedSaver saver = Start({});
    const Window window = WindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    const Picture first = WaitForScene(window);
    EXPECT_GE(first.DistinctColours(), kSceneColours) << "the window shows no scene";

    // The rain never stops: a later frame is a different picture.
    Picture later;
    WaitUntil(kSaverStartTimeout, milliseconds(200), [&] {
        later = Capture(window);
        return later.DifferingPixels(first) != 0;
    });
    EXPECT_GT(later.DifferingPixels(first), 0u) << "the picture does not move";
    EXPECT_TRUE(saver.Running()) << saver.ErrorOutput();
}

TEST_F(X11Saver, StretchesTheSceneOverAResizedWindow)
{
    StartedSaver saver = Start({});
    const Window window = ShowingTheScene(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    // No window manager here: the test can resize the window itself. It stays
    // on the screen, since a capture must not reach past it.
    static_assert(kScreenWidth >= 1200 && kScreenHeight >= 900);
    XMoveResizeWindow(display, window, 0, 0, 1200, 900);
    XSync(display, False);
    XWindowAttributes attributes = {};
    WaitUntil(kSaverStartTimeout, milliseconds(50),
              [&] { return !XGetWindowAttributes(display, window, &attributes) || attributes.width == 1200; });
    ASSERT_EQ(1200, attributes.width) << "the window did not take its new size";
    // The sky's top-right corner and the ground's bottom-left are both drawn,
    // not left black outside the old 1024 x 768: from the frame after the one
    // in progress, which on a busy machine may be a while.
    Picture picture;
    const auto drawnToTheEdges = [&] {
        return picture.width == 1200 && picture.height == 900 && picture.At(1190, 10) != 0 &&
               picture.At(10, 890) != 0 && picture.At(1190, 890) != 0;
    };
    WaitUntil(kSaverStartTimeout, milliseconds(100), [&] {
        picture = Capture(window);
        return drawnToTheEdges();
    });
    ASSERT_EQ(1200, picture.width);
    EXPECT_GE(picture.DistinctColours(), kSceneColours);
    EXPECT_NE(0u, picture.At(1190, 10)) << "the right edge is not drawn";
    EXPECT_NE(0u, picture.At(10, 890)) << "the bottom edge is not drawn";
    EXPECT_NE(0u, picture.At(1190, 890)) << "the far corner is not drawn";
}

TEST_F(X11Saver, AKeyPressEndsItWithZero)
{
    StartedSaver saver = Start({});
    ASSERT_NE(None, ShowingTheScene(saver)) << saver.ErrorOutput();
    PressKey();
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, AClickEndsItWithZero)
{
    StartedSaver saver = Start({});
    ASSERT_NE(None, ShowingTheScene(saver)) << saver.ErrorOutput();
    Click(1);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, FourPixelsOfMovementAreToleratedAndFiveEndIt)
{
    StartedSaver saver = Start({});
    ASSERT_NE(None, ShowingTheScene(saver)) << saver.ErrorOutput();
    // Out of the 1024-pixel-wide window and back in: coming in sets the anchor
    // where the pointer enters, whatever the display went through before.
    MovePointer(1090, 300);
    std::this_thread::sleep_for(milliseconds(100));
    MovePointer(300, 300);
    std::this_thread::sleep_for(milliseconds(300));
    MovePointer(302, 300);
    MovePointer(303, 301);
    EXPECT_FALSE(saver.WaitExit(milliseconds(700))) << "a move of 4 pixels closed the saver" << saver.ErrorOutput();
    MovePointer(304, 301);
    EXPECT_EQ(0, saver.WaitExit()) << "a move of 5 pixels did not close the saver";
}

TEST_F(X11Saver, ClosingTheWindowEndsItWithZero)
{
    StartedSaver saver = Start({});
    const Window window = WindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, FullScreenCoversTheScreenAndClosesOnAKey)
{
    StartedSaver saver = Start({"--fullscreen"});
    const Window window = WindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(DisplayWidth(display, DefaultScreen(display)), attributes.width);
    EXPECT_EQ(DisplayHeight(display, DefaultScreen(display)), attributes.height);
    EXPECT_GE(WaitForScene(window).DistinctColours(), kSceneColours);
    PressKey();
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

// How long the stop takes is a figure to read (the measured run has it on a
// quiet machine), not a bound that a busy machine could break.
TEST_F(X11Saver, SigtermEndsItWithZero)
{
    StartedSaver saver = Start({});
    ASSERT_NE(None, ShowingTheScene(saver)) << saver.ErrorOutput();
    const auto sent = Clock::now();
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << "not ended after SIGTERM";
    RecordProperty("milliseconds_to_exit",
                   static_cast<int>(std::chrono::duration_cast<milliseconds>(Clock::now() - sent).count()));
}

TEST_F(X11Saver, SigintEndsItWithZero)
{
    StartedSaver saver = Start({"--root"});
    std::this_thread::sleep_for(milliseconds(500));
    ASSERT_TRUE(saver.Running()) << saver.ErrorOutput();
    kill(saver.Pid(), SIGINT);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, DrawsIntoAWindowGivenByIdAndIgnoresInputThere)
{
    const Window target = MakePlainWindow(400, 300);
    EXPECT_EQ(1u, Capture(target).DistinctColours()) << "the test's window starts out black";
    StartedSaver saver = Start({"--window-id", WindowId(target)});
    EXPECT_GE(WaitForScene(target).DistinctColours(), kSceneColours) << saver.ErrorOutput();

    MovePointer(200, 200);
    MovePointer(260, 260);
    Click(1);
    PressKey();
    EXPECT_FALSE(saver.WaitExit(milliseconds(500))) << "input ended a saver drawing into another's window";
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, DrawsIntoTheScreensaverWindowFromTheEnvironment)
{
    const Window target = MakePlainWindow(320, 240);
    StartedSaver saver = Start({"--root"}, {"XSCREENSAVER_WINDOW=" + WindowId(target)});
    EXPECT_GE(WaitForScene(target).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

// Also as a saver daemon ends a hack: SIGTERM, then at once the window it lent
// goes. A frame in flight on the gone window can then take minutes.
TEST_F(X11Saver, EndsWithZeroWhenTheWindowItDrawsIntoGoesAway)
{
    for (const bool toldFirst : {false, true, true, true, true}) {
        const Window target = MakePlainWindow(320, 240);
        StartedSaver saver = Start({"--window-id", WindowId(target)});
        ASSERT_GE(WaitForScene(target).DistinctColours(), kSceneColours) << saver.ErrorOutput();
        if (toldFirst)
            kill(saver.Pid(), SIGTERM);
        XDestroyWindow(display, target);
        XSync(display, False);
        ownWindows.clear();
        EXPECT_EQ(0, saver.WaitExit()) << (toldFirst ? "SIGTERM, then the window gone" : "") << saver.ErrorOutput();
    }
}

TEST_F(X11Saver, DrawsOnTheRootWindowUntilTold)
{
    StartedSaver saver = Start({"--root"});
    EXPECT_GE(WaitForScene(root).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    PressKey();
    EXPECT_FALSE(saver.WaitExit(milliseconds(300)));
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, ABadWindowIdIsOneClearLineAndAFailure)
{
    // No client has this id: X gives each client ids in a range of its own.
    StartedSaver missing = Start({"--window-id", "0x1ffffff0"});
    const std::optional<int> code = missing.WaitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_GT(*code, 0) << "a bad window must fail, not crash: " << *code;
    EXPECT_TRUE(IsOneLineSaying(missing.ErrorOutput(), "bad window id 0x1ffffff0"));

    StartedSaver malformed = Start({"--window-id", "window"});
    EXPECT_EQ(1, malformed.WaitExit());
    EXPECT_TRUE(IsOneLineSaying(malformed.ErrorOutput(), "bad window id 'window'"));
}

TEST_F(X11Saver, NoDisplayIsOneClearLineAndAFailure)
{
    for (const char* elsewhere : {"", ":4711"}) {
        StartedSaver saver(VELMORA_BINARY, {}, elsewhere);
        EXPECT_EQ(1, saver.WaitExit()) << "DISPLAY=" << elsewhere;
        EXPECT_TRUE(IsOneLineSaying(saver.ErrorOutput(), "cannot open the X display"));
    }
}

// A display without the GLX extension, from an X server of the test's own: the
// program says so in one line and fails, before it makes any window.
TEST(X11SaverWithoutGlx, SaysSoInOneLineAndFails)
{
    const velmora_test::PrivateDisplay withoutGlx(640, 480, {"-extension", "GLX"});
    ASSERT_FALSE(withoutGlx.Name().empty()) << withoutGlx.Failure();

    StartedSaver saver(VELMORA_BINARY, {}, withoutGlx.Name());
    EXPECT_EQ(1, saver.WaitExit());
    EXPECT_TRUE(IsOneLineSaying(saver.ErrorOutput(), "no GLX extension"));
}

// The environment of velmora-test, the saver's test build: a scene that fails on
// the given tick (0: never), and the files where that build notes when the scene
// failed (steady clock, ms) and how many GLX contexts it made and deleted.
struct TestBuildRun {
    velmora_test::TemporaryFolder folder{"velmora-test-build"};
    std::string failureLog = folder.PathOf("failure.time");
    std::string contextLog = folder.PathOf("contexts.txt");
    std::vector<std::string> environment;

    explicit TestBuildRun(unsigned failAtCycle = 0)
        : environment{"VELMORA_TEST_FAIL_AT_CYCLE=" + std::to_string(failAtCycle),
                      "VELMORA_TEST_FAILURE_LOG=" + failureLog, "VELMORA_TEST_CONTEXT_LOG=" + contextLog}
    {
    }
    std::string Contexts() const { return velmora_test::FirstLine(contextLog); }
    long long FailedAt() const
    {
        const std::string line = velmora_test::FirstLine(failureLog);
        return line.empty() ? -1 : std::stoll(line);
    }
};

// The worker lets go of the GLX context before it says that it stopped, so
// the context is really deleted at the end, whether on a close or a failure.
TEST_F(X11Saver, AKeyPressDeletesTheContextItMade)
{
    TestBuildRun run;
    StartedSaver saver = Start({}, run.environment, VELMORA_TEST_BINARY);
    ASSERT_NE(None, ShowingTheScene(saver)) << saver.ErrorOutput();
    PressKey();
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
    EXPECT_EQ("made 1 deleted 1", run.Contexts());
}

// The test build's scene throws on its tenth tick; the saver notices (it looks
// four times a second) and ends as a failure does, with one line that says what
// failed. How soon after the failure it ended is recorded.
TEST_F(X11Saver, AFailedSceneEndsItWithOneLineAndAFailure)
{
    TestBuildRun run(10);
    StartedSaver saver = Start({}, run.environment, VELMORA_TEST_BINARY);
    const std::optional<int> code = saver.WaitExit();
    const auto ended = std::chrono::duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
    ASSERT_TRUE(code.has_value()) << "still running after its scene failed";
    EXPECT_EQ(1, *code);
    EXPECT_TRUE(
        IsOneLineSaying(saver.ErrorOutput(), "velmora: the scene stopped: a handler was used against its rules"));
    ASSERT_GE(run.FailedAt(), 0) << "the scene never failed";
    RecordProperty("milliseconds_after_failure", static_cast<int>(ended - run.FailedAt()));
    EXPECT_EQ("made 1 deleted 1", run.Contexts());
}

// -visual default takes the screen's default visual; a visual the screen does
// not have, or an option nobody knows, ends it with 1 and says why.
TEST_F(X11Saver, UsesTheVisualItIsGivenAndRefusesWhatItCannotUse)
{
    StartedSaver saver = Start({"-visual", "default", "-install"});
    const Window window = WindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(XVisualIDFromVisual(DefaultVisual(display, DefaultScreen(display))),
              XVisualIDFromVisual(attributes.visual));
    EXPECT_GE(WaitForScene(window).DistinctColours(), kSceneColours) << saver.ErrorOutput();

    StartedSaver missing = Start({"-visual", "0x1ffffff0"});
    EXPECT_EQ(1, missing.WaitExit());
    EXPECT_TRUE(IsOneLineSaying(missing.ErrorOutput(), "visual 0x1ffffff0 is not on the display's screen"));

    StartedSaver unknown = Start({"-bogus"});
    EXPECT_EQ(1, unknown.WaitExit());
    const std::string text = unknown.ErrorOutput();
    EXPECT_EQ(0u, text.find("velmora: unknown option '-bogus'\nUsage: velmora ")) << text;
}

} // namespace
