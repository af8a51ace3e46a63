// The velmora program itself, run as a user or XScreenSaver would run it, on a
// virtual display of the test process's own. Input comes from the XTEST
// extension, pictures from XGetImage.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/posix_child_process.h"
#include "tests/support/x11_private_display.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bounds, not expectations: the waits end as soon as the saver is there. A
// debug build's first frame of llvmpipe on a machine busy with builds can take
// several seconds, and the stop waits for the frame in progress.
constexpr milliseconds kStartTimeout{60000};
constexpr milliseconds kExitTimeout{30000};

// Under the sanitizers the program is checked for memory errors but not for
// leaks: the leak report has to symbolize every allocation that Mesa's
// llvmpipe keeps, in code it compiled at run time, and takes minutes.
const char* const kChildSanitizerOptions = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1";

// The display every test of this process uses: a private one, started with
// the first test (see X11Saver::SetUpTestSuite).
std::string testDisplayName;

// The program under test, started with its own arguments and environment on
// the test's display (or on none, when `keepDisplay` is false); killed if a
// test leaves it running.
class Saver {
public:
    Saver(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment = {},
          bool keepDisplay = true, const char* program = VELMORA_BINARY)
        : errorPath("/tmp/velmora-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".err")
    {
        std::vector<std::string> words{program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<std::string> environment =
            velmora_test::EnvironmentWithout({"DISPLAY", "XSCREENSAVER_WINDOW", "ASAN_OPTIONS"});
        if (keepDisplay)
            environment.push_back("DISPLAY=" + testDisplayName);
        environment.push_back(kChildSanitizerOptions);
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        velmora_test::ChildProcess::Streams streams;
        streams.errors = errorPath;
        process = std::make_unique<velmora_test::ChildProcess>(words, environment, streams);
    }
    Saver(const Saver&) = delete;
    Saver& operator=(const Saver&) = delete;
    ~Saver()
    {
        process.reset();
        unlink(errorPath.c_str());
    }

    pid_t Pid() const { return process->Pid(); }

    // The exit code, or nothing when it is still running after `timeout`, or
    // -signal when a signal killed it.
    std::optional<int> WaitExit(milliseconds timeout = kExitTimeout) { return process->WaitExit(timeout); }

    bool Running() { return process->Running(); }

    std::string ErrorOutput() const
    {
        std::ifstream file(errorPath);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

private:
    static inline int counter = 0;
    std::string errorPath;
    std::unique_ptr<velmora_test::ChildProcess> process;
};

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB

    std::size_t DistinctColours() const { return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size(); }
    std::size_t DifferingPixels(const Picture& other) const
    {
        std::size_t count = 0;
        for (std::size_t i = 0; i < pixels.size() && i < other.pixels.size(); ++i)
            count += pixels[i] != other.pixels[i];
        return count;
    }
};

class X11Saver : public ::testing::Test {
protected:
    // One display per test process (CTest runs each test in a process of its
    // own), so no other test's pointer, keys or windows reach this one.
    static void SetUpTestSuite()
    {
        server = std::make_unique<velmora_test::PrivateDisplay>(kScreenWidth, kScreenHeight);
        testDisplayName = server->Name();
    }

    static void TearDownTestSuite()
    {
        server.reset();
        testDisplayName.clear();
    }

    void SetUp() override
    {
        ASSERT_FALSE(testDisplayName.empty()) << "no display of the test's own: " << server->Failure();
        // Windows of the previous test's saver may vanish while they are being
        // looked at; Xlib's default handler would end this process for that.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        display = XOpenDisplay(testDisplayName.c_str());
        ASSERT_NE(nullptr, display) << "cannot open the test's X display " << testDisplayName;
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

    void TearDown() override
    {
        for (Window window : ownWindows)
            XDestroyWindow(display, window);
        if (display != nullptr)
            XCloseDisplay(display);
    }

    void MovePointer(int x, int y)
    {
        XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
        XSync(display, False);
    }

    void PressKey()
    {
        const KeyCode code = XKeysymToKeycode(display, XK_space);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
    }

    void Click(unsigned button)
    {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        XSync(display, False);
    }

    std::optional<long> CardinalProperty(Window window, const char* name)
    {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        std::optional<long> value;
        if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_CARDINAL, &type,
                               &format, &count, &after, &data) == Success &&
            data != nullptr && count == 1)
            value = *reinterpret_cast<long*>(data);
        if (data != nullptr)
            XFree(data);
        return value;
    }

    // The mapped top-level window that the process with `pid` made.
    Window FindWindowOf(Saver& saver, milliseconds timeout = kStartTimeout)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline && saver.Running()) {
            Window rootReturn, parent;
            Window* children = nullptr;
            unsigned count = 0;
            Window found = None;
            if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
                for (unsigned i = 0; i < count && found == None; ++i) {
                    XWindowAttributes attributes;
                    if (CardinalProperty(children[i], "_NET_WM_PID") == saver.Pid() &&
                        XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
                        found = children[i];
                }
                if (children != nullptr)
                    XFree(children);
            }
            if (found != None)
                return found;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return None;
    }

    Picture Capture(Window window)
    {
        Picture picture;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes))
            return picture;
        XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        if (image == nullptr)
            return picture;
        picture.width = attributes.width;
        picture.height = attributes.height;
        picture.pixels.reserve(static_cast<std::size_t>(picture.width) * picture.height);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                picture.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        XDestroyImage(image);
        return picture;
    }

    // Waits until the window shows a picture of the scene (a black or one-colour
    // window is not one), and returns it.
    Picture WaitForScene(Window window, milliseconds timeout = kStartTimeout)
    {
        const auto deadline = Clock::now() + timeout;
        Picture picture;
        while (Clock::now() < deadline) {
            picture = Capture(window);
            if (picture.DistinctColours() >= kSceneColours)
                break;
            std::this_thread::sleep_for(milliseconds(100));
        }
        return picture;
    }

    Window MakePlainWindow(int width, int height)
    {
        const Window window = XCreateSimpleWindow(display, root, 50, 50, width, height, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
        ownWindows.push_back(window);
        return window;
    }

    static std::string Hex(unsigned long value)
    {
        char text[32];
        std::snprintf(text, sizeof text, "0x%lx", value);
        return text;
    }

    // The background alone has a sky gradient, a noisy horizon and a ground.
    static constexpr std::size_t kSceneColours = 64;
    // Larger than the saver's 1024 x 768 window, so that a pointer can leave it.
    static constexpr int kScreenWidth = 1280;
    static constexpr int kScreenHeight = 1024;
    static inline std::unique_ptr<velmora_test::PrivateDisplay> server;

    Display* display = nullptr;
    Window root = None;
    std::vector<Window> ownWindows;
};

TEST_F(X11Saver, OpensAResizableTitledWindowOfTenTwentyFourBySevenSixtyEight)
{
    Saver saver({});
    const Window window = FindWindowOf(saver);
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
    Saver saver({});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    const Picture first = WaitForScene(window);
    EXPECT_GE(first.DistinctColours(), kSceneColours) << "the window shows no scene";

    // The rain never stops: a later frame is a different picture.
    Picture later;
    const auto deadline = Clock::now() + kStartTimeout;
    do {
        std::this_thread::sleep_for(milliseconds(200));
        later = Capture(window);
    } while (later.DifferingPixels(first) == 0 && Clock::now() < deadline);
    EXPECT_GT(later.DifferingPixels(first), 0u) << "the picture does not move";
    EXPECT_TRUE(saver.Running()) << saver.ErrorOutput();
}

TEST_F(X11Saver, StretchesTheSceneOverAResizedWindow)
{
    Saver saver({});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    WaitForScene(window);
    // No window manager here: the test can resize the window itself. It stays
    // on the screen, since a capture must not reach past it.
    static_assert(kScreenWidth >= 1200 && kScreenHeight >= 900);
    XMoveResizeWindow(display, window, 0, 0, 1200, 900);
    XSync(display, False);
    XWindowAttributes attributes = {};
    const auto deadline = Clock::now() + kStartTimeout;
    while (XGetWindowAttributes(display, window, &attributes) && attributes.width != 1200 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(50));
    ASSERT_EQ(1200, attributes.width) << "the window did not take its new size";
    // The sky's top-right corner and the ground's bottom-left are both drawn,
    // not left black outside the old 1024 x 768: from the frame after the one
    // in progress, which on a busy machine may be a while.
    Picture picture;
    const auto at = [&](int x, int y) { return picture.pixels[static_cast<std::size_t>(y) * picture.width + x]; };
    const auto drawnToTheEdges = [&] {
        return picture.width == 1200 && picture.height == 900 && at(1190, 10) != 0 && at(10, 890) != 0 &&
               at(1190, 890) != 0;
    };
    const auto drawDeadline = Clock::now() + kStartTimeout;
    do {
        std::this_thread::sleep_for(milliseconds(100));
        picture = Capture(window);
    } while (!drawnToTheEdges() && Clock::now() < drawDeadline);
    ASSERT_EQ(1200, picture.width);
    EXPECT_GE(picture.DistinctColours(), kSceneColours);
    EXPECT_NE(0u, at(1190, 10)) << "the right edge is not drawn";
    EXPECT_NE(0u, at(10, 890)) << "the bottom edge is not drawn";
    EXPECT_NE(0u, at(1190, 890)) << "the far corner is not drawn";
}

TEST_F(X11Saver, AKeyPressEndsItWithZero)
{
    Saver saver({});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    // Input only once the saver draws: its set-up, pointer anchor included, is done.
    ASSERT_GE(WaitForScene(window).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    PressKey();
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, AClickEndsItWithZero)
{
    Saver saver({});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    // Input only once the saver draws: its set-up, pointer anchor included, is done.
    ASSERT_GE(WaitForScene(window).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    Click(1);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, FourPixelsOfMovementAreToleratedAndFiveEndIt)
{
    Saver saver({});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    // Input only once the saver draws: its set-up, pointer anchor included, is done.
    ASSERT_GE(WaitForScene(window).DistinctColours(), kSceneColours) << saver.ErrorOutput();
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
    Saver saver({});
    const Window window = FindWindowOf(saver);
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
    Saver saver({"--fullscreen"});
    const Window window = FindWindowOf(saver);
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
    Saver saver({});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    WaitForScene(window);
    const auto sent = Clock::now();
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << "not ended after SIGTERM";
    RecordProperty("milliseconds_to_exit",
                   static_cast<int>(std::chrono::duration_cast<milliseconds>(Clock::now() - sent).count()));
}

TEST_F(X11Saver, SigintEndsItWithZero)
{
    Saver saver({"--root"});
    std::this_thread::sleep_for(milliseconds(500));
    ASSERT_TRUE(saver.Running()) << saver.ErrorOutput();
    kill(saver.Pid(), SIGINT);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, DrawsIntoAWindowGivenByIdAndIgnoresInputThere)
{
    const Window target = MakePlainWindow(400, 300);
    EXPECT_EQ(1u, Capture(target).DistinctColours()) << "the test's window starts out black";
    Saver saver({"--window-id", Hex(target)});
    const Picture picture = WaitForScene(target);
    EXPECT_GE(picture.DistinctColours(), kSceneColours) << saver.ErrorOutput();

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
    Saver saver({"--root"}, {"XSCREENSAVER_WINDOW=" + Hex(target)});
    EXPECT_GE(WaitForScene(target).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, EndsWithZeroWhenTheWindowItDrawsIntoGoesAway)
{
    const Window target = MakePlainWindow(320, 240);
    Saver saver({"--window-id", Hex(target)});
    ASSERT_GE(WaitForScene(target).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    XDestroyWindow(display, target);
    XSync(display, False);
    ownWindows.clear();
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, DrawsOnTheRootWindowUntilTold)
{
    Saver saver({"--root"});
    EXPECT_GE(WaitForScene(root).DistinctColours(), kSceneColours) << saver.ErrorOutput();
    PressKey();
    EXPECT_FALSE(saver.WaitExit(milliseconds(300)));
    kill(saver.Pid(), SIGTERM);
    EXPECT_EQ(0, saver.WaitExit()) << saver.ErrorOutput();
}

TEST_F(X11Saver, ABadWindowIdIsOneClearLineAndAFailure)
{
    // No client has this id: X gives each client ids in a range of its own.
    Saver missing({"--window-id", "0x1ffffff0"});
    const std::optional<int> code = missing.WaitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_GT(*code, 0) << "a bad window must fail, not crash: " << *code;
    std::string text = missing.ErrorOutput();
    EXPECT_NE(std::string::npos, text.find("bad window id 0x1ffffff0")) << text;
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;

    Saver malformed({"--window-id", "window"});
    EXPECT_EQ(1, malformed.WaitExit());
    text = malformed.ErrorOutput();
    EXPECT_NE(std::string::npos, text.find("bad window id 'window'")) << text;
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
}

TEST_F(X11Saver, NoDisplayIsOneClearLineAndAFailure)
{
    for (const char* elsewhere : {"", "DISPLAY=:4711"}) {
        Saver saver({}, *elsewhere ? std::vector<std::string>{elsewhere} : std::vector<std::string>{}, false);
        const std::optional<int> code = saver.WaitExit();
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(1, *code);
        const std::string text = saver.ErrorOutput();
        EXPECT_NE(std::string::npos, text.find("cannot open the X display")) << text;
        EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
    }
}

} // namespace

namespace {

using velmora_test::ChildProcess;
using velmora_test::OnPath;

// Runs a command to its end, bounded in time; its exit code, or -1.
int RunCommand(const std::vector<std::string>& words, const std::vector<std::string>& environment,
               milliseconds timeout = milliseconds(10000))
{
    ChildProcess command(words, environment);
    const std::optional<int> code = command.WaitExit(timeout);
    return code && *code >= 0 ? *code : -1;
}

// The processes running the program at `path`, by their executable; with a
// display name, only those started for that display (never a person's own).
std::vector<pid_t> ProcessesRunning(const std::string& path, const std::string& onDisplay = "")
{
    std::vector<pid_t> found;
    std::error_code error;
    const auto binary = std::filesystem::canonical(path, error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code gone;
        if (std::filesystem::read_symlink(entry.path() / "exe", gone) != binary || gone)
            continue;
        if (!onDisplay.empty()) {
            std::ifstream file(entry.path() / "environ");
            std::string variable;
            bool ours = false;
            while (!ours && std::getline(file, variable, '\0'))
                ours = variable == "DISPLAY=" + onDisplay;
            if (!ours)
                continue;
        }
        found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

} // namespace

// XScreenSaver's daemon is told to blank the screen with velmora as its only
// hack: it starts velmora on a window of its own and ends it when it unblanks.
// The daemon refuses to run hacks as root, so a root test runs it as nobody.
TEST_F(X11Saver, RunsAsTheOnlyHackOfTheXScreenSaverDaemon)
{
    ASSERT_TRUE(OnPath("xscreensaver") && OnPath("xscreensaver-command"))
        << "XScreenSaver is not installed (Debian package xscreensaver; scripts/install-deps adds it)";
    char home[] = "/tmp/velmora-xss-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(home));
    const bool asRoot = geteuid() == 0;
    // A copy the daemon's user can run, wherever the build folder lives.
    const std::string hack = std::string(home) + "/velmora";
    std::error_code copyError;
    std::filesystem::copy_file(VELMORA_BINARY, hack, copyError);
    ASSERT_FALSE(copyError) << copyError.message();
    ASSERT_EQ(0, chmod(home, 0755));
    {
        std::ofstream settings(std::string(home) + "/.xscreensaver");
        settings << "timeout: 1:00:00\ncycle: 0:00:00\nlock: False\nfade: False\nunfade: False\n"
                    "splash: False\ndpmsEnabled: False\ngrabDesktopImages: False\nmode: one\nselected: 0\n"
                    "programs: \"The Velmora\" "
                 << hack << " --root -fps \\n\n";
    }
    if (asRoot) {
        ASSERT_EQ(0, chown(home, 65534, 65534));
        ASSERT_EQ(0, chown((std::string(home) + "/.xscreensaver").c_str(), 65534, 65534));
    }
    std::vector<std::string> environment{"HOME=" + std::string(home), "DISPLAY=" + testDisplayName,
                                         "PATH=/usr/bin:/bin", "LIBGL_ALWAYS_SOFTWARE=1", kChildSanitizerOptions};
    const auto command = [&](std::vector<std::string> words) {
        if (asRoot)
            words.insert(words.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        return words;
    };
    // What the daemon and its hack say, to read when the screen stays blank.
    ChildProcess::Streams streams;
    streams.output = streams.errors = std::string(home) + "/daemon.log";
    const auto daemonLog = [&] {
        std::ifstream file(streams.errors);
        std::stringstream text;
        text << file.rdbuf();
        return "\nthe daemon's log:\n" + text.str();
    };
    ChildProcess daemon(command({"xscreensaver", "-no-splash", "-verbose"}), environment, streams);
    ASSERT_TRUE(daemon.Started());

    // The daemon takes a moment before it answers commands.
    bool activated = false;
    for (int attempt = 0; attempt < 50 && !activated; ++attempt) {
        activated = RunCommand(command({"xscreensaver-command", "-activate"}), environment) == 0;
        if (!activated)
            std::this_thread::sleep_for(milliseconds(200));
    }
    EXPECT_TRUE(activated) << "the daemon did not take the activate command";

    std::vector<pid_t> hacks;
    Picture screen;
    const auto deadline = Clock::now() + kStartTimeout;
    while (Clock::now() < deadline && (hacks.empty() || screen.DistinctColours() < kSceneColours)) {
        std::this_thread::sleep_for(milliseconds(250));
        hacks = ProcessesRunning(hack);
        screen = Capture(root);
    }
    EXPECT_FALSE(hacks.empty()) << "the daemon did not start velmora" << daemonLog();
    EXPECT_GE(screen.DistinctColours(), kSceneColours) << "the blanked screen does not show the scene" << daemonLog();

    // -fps: white text in the lower-left corner that stays put while the rain
    // moves; it appears once a second has been measured.
    const auto cornerText = [](const Picture& picture) {
        std::set<std::size_t> white;
        for (int y = std::max(0, picture.height - 100); y < picture.height; ++y)
            for (int x = 0; x < std::min(300, picture.width); ++x)
                if (picture.pixels[static_cast<std::size_t>(y) * picture.width + x] == 0xFFFFFF)
                    white.insert(static_cast<std::size_t>(y) * picture.width + x);
        return white;
    };
    std::size_t steady = 0;
    const auto textDeadline = Clock::now() + kStartTimeout;
    for (auto before = cornerText(Capture(root)); steady < 100 && Clock::now() < textDeadline;) {
        std::this_thread::sleep_for(milliseconds(500));
        const auto now = cornerText(Capture(root));
        steady = static_cast<std::size_t>(
            std::count_if(now.begin(), now.end(), [&](std::size_t i) { return before.count(i); }));
        before = now;
    }
    EXPECT_GE(steady, 100u) << "no frame-rate text in the lower-left corner with -fps" << daemonLog();

    EXPECT_EQ(0, RunCommand(command({"xscreensaver-command", "-deactivate"}), environment)) << daemonLog();
    const auto stopDeadline = Clock::now() + kExitTimeout;
    while (!ProcessesRunning(hack).empty() && Clock::now() < stopDeadline)
        std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(ProcessesRunning(hack).empty()) << "velmora still runs after the daemon unblanked";
    for (pid_t left : ProcessesRunning(hack))
        kill(left, SIGKILL);

    RunCommand(command({"xscreensaver-command", "-exit"}), environment);
    daemon.Stop(SIGTERM, kExitTimeout);
    // The daemon leaves its helpers (the one that owns the blanking windows and
    // grabs, the one that checks passwords) behind for a moment; a later test
    // of this process would get their grabs and input. Wait for them; only
    // this display's, since a person's own XScreenSaver may run meanwhile.
    for (const char* helper : {"/usr/libexec/xscreensaver/xscreensaver-gfx",
                               "/usr/libexec/xscreensaver/xscreensaver-auth", "/usr/bin/xscreensaver"}) {
        const auto helperDeadline = Clock::now() + kExitTimeout;
        while (!ProcessesRunning(helper, testDisplayName).empty() && Clock::now() < helperDeadline)
            std::this_thread::sleep_for(milliseconds(50));
        for (pid_t left : ProcessesRunning(helper, testDisplayName))
            kill(left, SIGKILL);
    }
    XSync(display, False);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

// A display without the GLX extension, from an X server of the test's own: the
// program says so in one line and fails, before it makes any window.
TEST(X11SaverWithoutGlx, SaysSoInOneLineAndFails)
{
    const velmora_test::PrivateDisplay withoutGlx(640, 480, {"-extension", "GLX"});
    ASSERT_FALSE(withoutGlx.Name().empty()) << withoutGlx.Failure();

    Saver saver({}, {"DISPLAY=" + withoutGlx.Name()}, false);
    const std::optional<int> code = saver.WaitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(1, *code);
    const std::string text = saver.ErrorOutput();
    EXPECT_NE(std::string::npos, text.find("no GLX extension")) << text;
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
}

namespace {
// The environment of velmora-test, the saver's test build: a scene that fails on
// the given tick (0: never), and the files where that build notes when the scene
// failed (steady clock, ms) and how many GLX contexts it made and deleted.
struct TestBuildRun {
    std::string failureLog = "/tmp/velmora-test-" + std::to_string(getpid()) + "-failure.time";
    std::string contextLog = "/tmp/velmora-test-" + std::to_string(getpid()) + "-contexts.txt";
    std::vector<std::string> environment;

    explicit TestBuildRun(unsigned failAtCycle = 0)
        : environment{"VELMORA_TEST_FAIL_AT_CYCLE=" + std::to_string(failAtCycle),
                      "VELMORA_TEST_FAILURE_LOG=" + failureLog, "VELMORA_TEST_CONTEXT_LOG=" + contextLog}
    {
        std::remove(failureLog.c_str());
        std::remove(contextLog.c_str());
    }
    ~TestBuildRun()
    {
        std::remove(failureLog.c_str());
        std::remove(contextLog.c_str());
    }
    static std::string FirstLine(const std::string& path)
    {
        std::ifstream file(path);
        std::string line;
        std::getline(file, line);
        return line;
    }
    std::string Contexts() const { return FirstLine(contextLog); }
    long long FailedAt() const
    {
        const std::string line = FirstLine(failureLog);
        return line.empty() ? -1 : std::stoll(line);
    }
};
} // namespace

// The worker lets go of the GLX context before it says that it stopped, so
// the context is really deleted at the end, whether on a close or a failure.
TEST_F(X11Saver, AKeyPressDeletesTheContextItMade)
{
    TestBuildRun run;
    Saver saver({}, run.environment, true, VELMORA_TEST_BINARY);
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    ASSERT_GE(WaitForScene(window).DistinctColours(), kSceneColours) << saver.ErrorOutput();
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
    Saver saver({}, run.environment, true, VELMORA_TEST_BINARY);
    const std::optional<int> code = saver.WaitExit();
    const auto ended = std::chrono::duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
    ASSERT_TRUE(code.has_value()) << "still running after its scene failed";
    EXPECT_EQ(1, *code);
    const std::string text = saver.ErrorOutput();
    EXPECT_NE(std::string::npos, text.find("velmora: the scene stopped: a handler was used against its rules")) << text;
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;
    ASSERT_GE(run.FailedAt(), 0) << "the scene never failed";
    RecordProperty("milliseconds_after_failure", static_cast<int>(ended - run.FailedAt()));
    EXPECT_EQ("made 1 deleted 1", run.Contexts());
}

// -visual default takes the screen's default visual; a visual the screen does
// not have, or an option nobody knows, ends it with 1 and says why.
TEST_F(X11Saver, UsesTheVisualItIsGivenAndRefusesWhatItCannotUse)
{
    Saver saver({"-visual", "default", "-install"});
    const Window window = FindWindowOf(saver);
    ASSERT_NE(None, window) << saver.ErrorOutput();
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(XVisualIDFromVisual(DefaultVisual(display, DefaultScreen(display))),
              XVisualIDFromVisual(attributes.visual));
    EXPECT_GE(WaitForScene(window).DistinctColours(), kSceneColours) << saver.ErrorOutput();

    Saver missing({"-visual", "0x1ffffff0"});
    EXPECT_EQ(1, missing.WaitExit());
    std::string text = missing.ErrorOutput();
    EXPECT_NE(std::string::npos, text.find("visual 0x1ffffff0 is not on the display's screen")) << text;
    EXPECT_EQ(1, std::count(text.begin(), text.end(), '\n')) << text;

    Saver unknown({"-bogus"});
    EXPECT_EQ(1, unknown.WaitExit());
    text = unknown.ErrorOutput();
    EXPECT_EQ(0u, text.find("velmora: unknown option '-bogus'\nUsage: velmora ")) << text;
}
