// The installed hack run by the screen savers people use, for real: XScreenSaver's
// daemon and settings, MATE's screen saver and its preferences, and XScreenSaver
// over two monitors of a nested X server. Each test process installs the build
// into a staging folder of its own and drives the programs as an unprivileged
// user with a fresh home, on a display of its own, so that the savers find the
// hack, its description and its desktop entry where the package puts them.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/installed_user_session.h"
#include "tests/support/posix_child_process.h"
#include "tests/support/wait_until.h"
#include "tests/support/x11_picture.h"
#include "tests/support/x11_private_display.h"

namespace {

using namespace velmora_test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bounds, not expectations: each wait ends as soon as what it waits for is
// there. A saver's first frame on llvmpipe, on a machine busy with builds,
// can take many seconds.
constexpr milliseconds kStartTimeout{90000};
constexpr milliseconds kCommandTimeout{30000};

const std::string kHack = std::string(InstalledUserSession::kHackDir) + "/velmora";

// What XScreenSaver is told besides its programs: stay out of the way (no
// lock, fades, splash or power saving) and run only the selected hack.
std::string XScreenSaverSettings(int selected)
{
    return "timeout: 1:00:00\ncycle: 0:00:00\nlock: False\nfade: False\nunfade: False\nsplash: False\n"
           "dpmsEnabled: False\ngrabDesktopImages: False\nmode: one\nselected: " +
           std::to_string(selected) + "\n";
}

// MATE's screen saver through GSettings' key file: one theme, no lock, no
// activation of its own.
const char* const kMateSettings = "[org/mate/screensaver]\n"
                                  "mode='single'\n"
                                  "themes=['screensavers-velmora']\n"
                                  "lock-enabled=false\n"
                                  "idle-activation-enabled=false\n";

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

class InstalledSaver : public ::testing::Test {
protected:
    void Open(int width, int height)
    {
        server = std::make_unique<PrivateDisplay>(width, height);
        ASSERT_FALSE(server->Name().empty()) << server->Failure();
        OpenOn(server->Name());
    }

    void OpenOn(const std::string& name)
    {
        displayName = name;
        session = std::make_unique<InstalledUserSession>(VELMORA_CMAKE, VELMORA_BUILD_DIR);
        ASSERT_EQ("", session->Failure());
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        display = XOpenDisplay(displayName.c_str());
        ASSERT_NE(nullptr, display) << "cannot open the test's display " << displayName;
    }

    void TearDown() override
    {
        // The programs first, then whatever helpers and hacks they left.
        programs.clear();
        if (!displayName.empty())
            KillProcessesOnDisplay(displayName);
        if (display != nullptr)
            XCloseDisplay(display);
        session.reset();
        nested.reset();
        server.reset();
    }

    std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const
    {
        std::vector<std::string> environment = session->Environment(displayName);
        environment.insert(environment.end(), extra.begin(), extra.end());
        return environment;
    }

    // A program that runs until the test ends; its output goes to a log in
    // the home, for the failure messages.
    void Start(const std::string& log, const std::vector<std::string>& words,
               const std::vector<std::string>& extraEnvironment = {})
    {
        ChildProcess::Streams streams;
        streams.output = streams.errors = session->Home() + "/" + log;
        programs.push_back(
            std::make_unique<ChildProcess>(session->AsUser(words), Environment(extraEnvironment), streams));
        ASSERT_TRUE(programs.back()->Started()) << Joined(words);
    }

    int Run(const std::vector<std::string>& words, const std::vector<std::string>& extraEnvironment = {})
    {
        ChildProcess::Streams streams;
        streams.output = streams.errors = session->Home() + "/command.log";
        ChildProcess command(session->AsUser(words), Environment(extraEnvironment), streams);
        const std::optional<int> code = command.WaitExit(kCommandTimeout);
        return code.value_or(-1);
    }

    // Runs the command until it succeeds: daemons answer only once they are up.
    bool RunUntilAnswered(const std::vector<std::string>& words, const std::vector<std::string>& extra = {})
    {
        return WaitUntil(kStartTimeout, milliseconds(250), [&] { return Run(words, extra) == 0; });
    }

    std::string Log(const std::string& name) const { return "\n" + name + ":\n" + session->ReadHomeFile(name); }

    // The installed hack's processes on the display, once there are `count`.
    std::vector<DisplayProcess> WaitForHacks(std::size_t count)
    {
        std::vector<DisplayProcess> hacks;
        WaitUntil(kStartTimeout, milliseconds(100), [&] {
            hacks = HacksNow();
            return hacks.size() >= count;
        });
        return hacks;
    }

    std::vector<DisplayProcess> HacksNow()
    {
        std::vector<DisplayProcess> hacks;
        for (const DisplayProcess& process : ProcessesOnDisplay(displayName))
            if (process.Runs(session->Staged(kHack)))
                hacks.push_back(process);
        return hacks;
    }

    // The window a hack draws into: the one XScreenSaver's and MATE's savers
    // name in its environment, or the one after --window-id.
    static Window WindowOf(const DisplayProcess& hack)
    {
        const auto& words = hack.arguments;
        for (std::size_t i = 1; i + 1 < words.size(); ++i)
            if (words[i] == "--window-id" || words[i] == "-window-id")
                return std::stoul(words[i + 1], nullptr, 0);
        const std::string named = hack.Variable("XSCREENSAVER_WINDOW");
        return named.empty() ? None : std::stoul(named, nullptr, 0);
    }

    XWindowAttributes Attributes(Window window)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        return attributes;
    }

    // Where a window is on its root, and how large.
    struct Geometry {
        int x, y, width, height;
        bool operator==(const Geometry& other) const
        {
            return x == other.x && y == other.y && width == other.width && height == other.height;
        }
    };
    Geometry GeometryOf(Window window)
    {
        const XWindowAttributes attributes = Attributes(window);
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child);
        return {x, y, attributes.width, attributes.height};
    }

    // A home's ~/.xscreensaver with the entry for the hack: by the command
    // when it is installed, else by hand as the command writes it.
    void AddToXScreenSaver()
    {
#ifdef VELMORA_ADD_COMMAND
        ASSERT_EQ(0, Run({VELMORA_ADD_COMMAND})) << Log("command.log");
#else
        ASSERT_TRUE(session->WriteHomeFile(
            ".xscreensaver", session->ReadHomeFile(".xscreensaver") +
                                 "programs:\t\t\t\t\t\t\t      \\\n  GL:  velmora --root\t\t\t    \\n\n"));
#endif
        ASSERT_NE(std::string::npos, session->ReadHomeFile(".xscreensaver").find("velmora --root"));
    }

    // XScreenSaver's daemon, running the hack it is told to blank with.
    void StartXScreenSaverAndActivate()
    {
        Start("xscreensaver.log", {"xscreensaver", "-no-splash", "-verbose"});
        ASSERT_TRUE(RunUntilAnswered({"xscreensaver-command", "-activate"}))
            << "the daemon does not take -activate" << Log("xscreensaver.log");
    }

    // The one hack the daemon started, on its full-screen window, animated.
    void ExpectOneHackOnTheFullScreenWindow()
    {
        const std::vector<DisplayProcess> hacks = WaitForHacks(1);
        ASSERT_EQ(1u, hacks.size()) << "the daemon did not start " << kHack << Log("xscreensaver.log");
        EXPECT_EQ("--root", hacks[0].arguments.back()) << Joined(hacks[0].arguments);
        const Window window = WindowOf(hacks[0]);
        ASSERT_NE(None, window) << "the daemon named no window for the hack";
        const XWindowAttributes attributes = Attributes(window);
        EXPECT_EQ(WidthOfScreen(DefaultScreenOfDisplay(display)), attributes.width);
        EXPECT_EQ(HeightOfScreen(DefaultScreenOfDisplay(display)), attributes.height);
        std::string why;
        EXPECT_TRUE(WaitForAnimation(display, window, kStartTimeout, &why)) << why << Log("xscreensaver.log");
    }

    std::unique_ptr<PrivateDisplay> server;
    std::unique_ptr<PrivateDisplay> nested;
    std::unique_ptr<InstalledUserSession> session;
    std::string displayName;
    Display* display = nullptr;
    std::vector<std::unique_ptr<ChildProcess>> programs;
};

// A new user: no ~/.xscreensaver at all. After the command, the daemon blanks
// with the saver chosen, starts the installed hack on its root-window option,
// and the hack draws a moving scene over the whole screen; unblanked, it ends.
TEST_F(InstalledSaver, XScreenSaverRunsTheHackTheCommandAddedFromAnEmptyHome)
{
    Open(640, 480);
    ASSERT_NO_FATAL_FAILURE(AddToXScreenSaver());
    // The user picks it in the settings, which writes what follows.
    const std::string added = session->ReadHomeFile(".xscreensaver");
    ASSERT_TRUE(session->WriteHomeFile(".xscreensaver", added + XScreenSaverSettings(0)));
    ASSERT_NO_FATAL_FAILURE(StartXScreenSaverAndActivate());
    ASSERT_NO_FATAL_FAILURE(ExpectOneHackOnTheFullScreenWindow());
    EXPECT_EQ(0, Run({"xscreensaver-command", "-deactivate"})) << Log("command.log");
    WaitUntil(kCommandTimeout, milliseconds(100), [&] { return HacksNow().empty(); });
    EXPECT_TRUE(HacksNow().empty()) << "the hack still runs after the daemon unblanked" << Log("xscreensaver.log");
}

#ifdef VELMORA_ADD_COMMAND
// A user's file with settings and hacks of its own: the command adds its
// entry and leaves every other line as it was, the daemon runs the added
// entry, and removing the entry gives back the file as it was.
TEST_F(InstalledSaver, XScreenSaverKeepsAUsersOwnSettingsAcrossAddingAndRemoving)
{
    Open(640, 480);
    const std::string own = "# my settings\ntimeout: 1:00:00\ncycle: 0:00:00\nlock: False\nfade: False\n"
                            "unfade: False\nsplash: False\ndpmsEnabled: False\ngrabDesktopImages: False\n"
                            "mode: one\nselected: 1\ntextMode: date\n"
                            "programs:\t\t\t\t\t\t\t      \\\n  - GL:  gears -root\t\t\t\t    \\n\\\n"
                            "\t\t\t\t  xlyap -root\t\t\t    \\n\n"
                            "pointerHysteresis: 10\n";
    ASSERT_TRUE(session->WriteHomeFile(".xscreensaver", own));
    ASSERT_EQ(0, Run({VELMORA_ADD_COMMAND})) << Log("command.log");
    const std::string added = session->ReadHomeFile(".xscreensaver");
    // Every line but the entry's, where the list's last line before it may
    // gain the backslash that continues the list.
    const auto linesWithout = [](const std::string& text, const std::string& word) {
        std::vector<std::string> lines;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) {
            if (line.size() >= 3 && line.compare(line.size() - 3, 3, "\\n\\") == 0)
                line.pop_back();
            if (line.find(word) == std::string::npos)
                lines.push_back(line);
        }
        return lines;
    };
    EXPECT_EQ(linesWithout(own, "velmora"), linesWithout(added, "velmora")) << added;
    // The entry comes after the user's two hacks: `selected: 2` is the hack.
    std::string chosen = added;
    chosen.replace(chosen.find("selected: 1"), 11, "selected: 2");
    ASSERT_TRUE(session->WriteHomeFile(".xscreensaver", chosen));
    ASSERT_NO_FATAL_FAILURE(StartXScreenSaverAndActivate());
    ASSERT_NO_FATAL_FAILURE(ExpectOneHackOnTheFullScreenWindow());

    ASSERT_TRUE(session->WriteHomeFile(".xscreensaver", added));
    ASSERT_EQ(0, Run({VELMORA_ADD_COMMAND, "--remove"})) << Log("command.log");
    EXPECT_EQ(own, session->ReadHomeFile(".xscreensaver"));
}
#endif

// XScreenSaver's settings, opened with the saver selected, run it in their
// preview: the installed hack, drawing a moving scene into a window of the
// settings' own, smaller than the screen.
TEST_F(InstalledSaver, XScreenSaverSettingsPreviewTheHack)
{
    Open(1024, 768);
    ASSERT_NO_FATAL_FAILURE(AddToXScreenSaver());
    ASSERT_TRUE(
        session->WriteHomeFile(".xscreensaver", session->ReadHomeFile(".xscreensaver") + XScreenSaverSettings(0)));
    Start("xscreensaver.log", {"xscreensaver", "-no-splash"});
    ASSERT_TRUE(RunUntilAnswered({"xscreensaver-command", "-version"})) << Log("xscreensaver.log");
    Start("settings.log", {"xscreensaver-settings"});

    const std::vector<DisplayProcess> hacks = WaitForHacks(1);
    ASSERT_EQ(1u, hacks.size()) << "the settings do not preview " << kHack << Log("settings.log");
    // 6.06 builds the preview's command from the installed description (its
    // -root, not the list's --root) and adds its window by id; without the
    // description it would run the list's words.
    const std::vector<std::string>& words = hacks[0].arguments;
    ASSERT_EQ(4u, words.size()) << Joined(words);
    EXPECT_EQ("velmora -root --window-id", Joined({words[0], words[1], words[2]}));
    const Window window = WindowOf(hacks[0]);
    ASSERT_NE(None, window) << Joined(words);
    const XWindowAttributes attributes = Attributes(window);
    EXPECT_LT(attributes.width, WidthOfScreen(DefaultScreenOfDisplay(display)));
    std::string why;
    EXPECT_TRUE(WaitForAnimation(display, window, kStartTimeout, &why)) << why << Log("settings.log");
}

// MATE's screen saver in a session bus of its own, set to this one theme: on
// --activate it runs the installed hack, as its desktop entry says, on a
// window over the whole screen, and the scene moves.
TEST_F(InstalledSaver, MateScreensaverRunsTheThemeOfTheDesktopEntry)
{
    Open(640, 480);
    ASSERT_TRUE(session->WriteHomeFile(".config/glib-2.0/settings/keyfile", kMateSettings));
    const std::vector<std::string> mate{"GSETTINGS_BACKEND=keyfile", "XDG_CURRENT_DESKTOP=MATE"};
    // The bus's address goes to a file, for the commands sent to the daemon.
    Start("mate-screensaver.log",
          {"dbus-run-session", "--", "sh", "-c",
           "echo \"$DBUS_SESSION_BUS_ADDRESS\" > \"$HOME/bus\" && exec mate-screensaver --no-daemon --debug"},
          mate);
    WaitUntil(kStartTimeout, milliseconds(50), [&] { return !session->ReadHomeFile("bus").empty(); });
    std::string bus = session->ReadHomeFile("bus");
    ASSERT_FALSE(bus.empty()) << Log("mate-screensaver.log");
    bus.pop_back();
    std::vector<std::string> withBus = mate;
    withBus.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus);
    ASSERT_TRUE(RunUntilAnswered({"mate-screensaver-command", "--activate"}, withBus))
        << Log("command.log") << Log("mate-screensaver.log");

    const std::vector<DisplayProcess> hacks = WaitForHacks(1);
    ASSERT_EQ(1u, hacks.size()) << "MATE did not run " << kHack << Log("mate-screensaver.log");
    EXPECT_EQ("--root", hacks[0].arguments.back()) << Joined(hacks[0].arguments);
    const Window window = WindowOf(hacks[0]);
    ASSERT_NE(None, window);
    const Geometry geometry = GeometryOf(window);
    EXPECT_EQ((Geometry{0, 0, 640, 480}), geometry) << geometry.width << "x" << geometry.height;
    std::string why;
    EXPECT_TRUE(WaitForAnimation(display, window, kStartTimeout, &why)) << why << Log("mate-screensaver.log");
}

// MATE's preferences preview the theme in a small window of their own, which
// they create at 1x1 and then resize, and which follows the dialog's size:
// each time, the hack's picture fills the window it has then, every corner.
TEST_F(InstalledSaver, MatePreferencesPreviewFollowsEverySizeOfItsWindow)
{
    Open(1024, 768);
    ASSERT_TRUE(session->WriteHomeFile(".config/glib-2.0/settings/keyfile", kMateSettings));
    Start("preferences.log", {"dbus-run-session", "--", "mate-screensaver-preferences"},
          {"GSETTINGS_BACKEND=keyfile", "XDG_CURRENT_DESKTOP=MATE"});
    const std::vector<DisplayProcess> hacks = WaitForHacks(1);
    ASSERT_EQ(1u, hacks.size()) << "the preferences do not preview " << kHack << Log("preferences.log");
    const Window window = WindowOf(hacks[0]);
    ASSERT_NE(None, window) << Joined(hacks[0].arguments);

    // The scene, as far as a picture shows it, in each quarter of the window.
    const auto fillsEveryCorner = [&](const Geometry& size, std::string* why) {
        const Picture picture = Capture(display, window);
        if (picture.width != size.width || picture.height != size.height)
            return false;
        const int w = picture.width / 2, h = picture.height / 2;
        for (const auto& [x, y] : {std::pair{0, 0}, {w, 0}, {0, h}, {w, h}}) {
            const std::size_t colours = picture.DistinctColours(x, y, w, h);
            *why = std::to_string(colours) + " colours in the quarter at " + std::to_string(x) + "," +
                   std::to_string(y) + " of " + std::to_string(size.width) + "x" + std::to_string(size.height);
            if (colours < kSceneColours / 4)
                return false;
        }
        return true;
    };
    const auto followsSize = [&](const Geometry& size) {
        std::string why = "no picture at " + std::to_string(size.width) + "x" + std::to_string(size.height);
        if (WaitUntil(kStartTimeout, milliseconds(200), [&] { return fillsEveryCorner(size, &why); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << why;
    };

    // The size MATE settles on after the first 1x1: the same for a second.
    Geometry size = GeometryOf(window);
    auto steadySince = Clock::now();
    WaitUntil(kStartTimeout, milliseconds(100), [&] {
        const Geometry now = GeometryOf(window);
        if (!(now == size) || now.width <= 1)
            steadySince = Clock::now();
        size = now;
        return Clock::now() - steadySince >= milliseconds(1000);
    });
    ASSERT_GT(size.width, 1) << "the preview window stays at 1x1";
    EXPECT_TRUE(followsSize(size));
    std::string sizes = std::to_string(size.width) + "x" + std::to_string(size.height);

    // Larger and smaller dialogs give the preview other sizes.
    Window top = window;
    for (Window rootReturn, parent = None, *children = nullptr;; top = parent) {
        unsigned count = 0;
        if (!XQueryTree(display, top, &rootReturn, &parent, &children, &count))
            break;
        if (children != nullptr)
            XFree(children);
        if (parent == rootReturn)
            break;
    }
    const Geometry dialog = GeometryOf(top);
    for (const auto& [grow, shrink] : {std::pair{300, 200}, {-100, -50}}) {
        XResizeWindow(display, top, dialog.width + grow, dialog.height + shrink);
        XSync(display, False);
        Geometry resized{};
        WaitUntil(kCommandTimeout, milliseconds(100), [&] {
            resized = GeometryOf(window);
            return !(resized == size);
        });
        EXPECT_FALSE(resized == size) << "the preview did not change size with the dialog";
        size = resized;
        EXPECT_TRUE(followsSize(size));
        sizes += " " + std::to_string(size.width) + "x" + std::to_string(size.height);
    }
    RecordProperty("preview_sizes", sizes);
}

// XScreenSaver on a nested X server with two monitors of different sizes (two
// screens joined by Xinerama): one hack per monitor, each on a window that
// covers its monitor, each animated.
TEST_F(InstalledSaver, XScreenSaverRunsOneHackOnEachOfTwoMonitors)
{
    server = std::make_unique<PrivateDisplay>(1500, 700);
    ASSERT_FALSE(server->Name().empty()) << server->Failure();
    nested =
        std::make_unique<PrivateDisplay>(std::vector<std::string>{"Xephyr", "+xinerama", "-screen", "800x600",
                                                                  "-screen", "640x480", "-nolisten", "tcp", "-noreset"},
                                         std::vector<std::string>{"DISPLAY=" + server->Name(), "PATH=/usr/bin:/bin"});
    ASSERT_FALSE(nested->Name().empty()) << nested->Failure() << " (Debian package xserver-xephyr)";
    ASSERT_NO_FATAL_FAILURE(OpenOn(nested->Name()));
    ASSERT_NO_FATAL_FAILURE(AddToXScreenSaver());
    ASSERT_TRUE(
        session->WriteHomeFile(".xscreensaver", session->ReadHomeFile(".xscreensaver") + XScreenSaverSettings(0)));
    ASSERT_NO_FATAL_FAILURE(StartXScreenSaverAndActivate());

    const std::vector<DisplayProcess> hacks = WaitForHacks(2);
    ASSERT_EQ(2u, hacks.size()) << "not one hack per monitor" << Log("xscreensaver.log");
    std::vector<Geometry> covered;
    for (const DisplayProcess& hack : hacks) {
        const Window window = WindowOf(hack);
        ASSERT_NE(None, window);
        covered.push_back(GeometryOf(window));
        std::string why;
        EXPECT_TRUE(WaitForAnimation(display, window, kStartTimeout, &why)) << why << Log("xscreensaver.log");
    }
    std::sort(covered.begin(), covered.end(), [](const Geometry& a, const Geometry& b) { return a.x < b.x; });
    EXPECT_EQ((Geometry{0, 0, 800, 600}), covered[0]) << covered[0].width << "x" << covered[0].height;
    EXPECT_EQ((Geometry{800, 0, 640, 480}), covered[1])
        << covered[1].x << " " << covered[1].width << "x" << covered[1].height;
}

} // namespace
