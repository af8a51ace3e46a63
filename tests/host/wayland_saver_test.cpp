// The installed `velmora --wayland` (the saver) and `velmora --wallpaper` on a
// sway of the test's own, as a person's desktop runs them: over every output
// at its own size and scale, above or below a window, through outputs that
// come and go, ended by input that arrives through the compositor as a
// person's would, started by swayidle, quiet while the compositor asks for no
// frames; and the one line of failure where no compositor with the layer shell
// is there. Each test installs the build into a staging folder of its own and
// runs everything as an unprivileged user with a fresh home.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/installed_user_session.h"
#include "tests/support/posix_child_process.h"
#include "tests/support/wait_until.h"
#include "tests/support/wayland_private_compositor.h"

namespace {

using namespace velmora_test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bounds, not expectations: each wait ends as soon as what it waits for is
// there. A first frame on llvmpipe, on a machine busy with builds, can take
// many seconds.
constexpr milliseconds kSceneTimeout{90000};
constexpr milliseconds kExitTimeout{30000};
// How long a program is watched for an end that must not come: the input it
// was given reaches it within milliseconds.
constexpr milliseconds kStaysTimeout{1500};

// The window the tests put on top; no colour of the scene.
constexpr std::uint32_t kWindowColour = 0xFF00FF;
// The second output: another size, at scale 2 (320 x 240 logical pixels).
std::string SecondOutput(const std::string& name = "HEADLESS-2")
{
    return "output " + name + " resolution 640x480 position 800 0 scale 2 scale_filter nearest\n";
}

std::string Describe(const Picture& picture)
{
    return std::to_string(picture.width) + "x" + std::to_string(picture.height) + ", " +
           std::to_string(picture.DistinctColours()) + " colours, horizon at " + std::to_string(HorizonAt(picture)) +
           ", " + std::to_string(PixelsOf(picture, kWindowColour)) + " pixels of the window";
}

Picture Strip(const Picture& picture, int x, int width)
{
    Picture strip;
    strip.width = width;
    strip.height = picture.height;
    for (int y = 0; y < picture.height; ++y)
        for (int column = x; column < x + width; ++column)
            strip.pixels.push_back(picture.At(column, y));
    return strip;
}

class WaylandSaver : public ::testing::Test {
protected:
    void SetUp() override
    {
        session = std::make_unique<InstalledUserSession>(VELMORA_CMAKE, VELMORA_BUILD_DIR);
        ASSERT_EQ("", session->Failure());
    }

    void TearDown() override
    {
        compositor.reset();
        session.reset();
    }

    void Open(int outputs, const std::string& configuration = "",
              PrivateCompositor::Backend backend = PrivateCompositor::Backend::Headless)
    {
        compositor = std::make_unique<PrivateCompositor>(*session, outputs, configuration, backend);
        ASSERT_EQ("", compositor->Failure());
    }

    // The program, watched by the waits below: they give up once it ends.
    std::shared_ptr<ChildProcess> Velmora(const std::string& mode)
    {
        std::shared_ptr<ChildProcess> program = compositor->Start("velmora" + mode + ".log", {"velmora", mode});
        watched = program;
        return program;
    }

    bool Watching()
    {
        const std::shared_ptr<ChildProcess> program = watched.lock();
        return !program || program->Running();
    }

    std::string Log(const std::string& name) const { return "\n" + name + ":\n" + session->ReadHomeFile(name); }

    // The installed program as its processes show it: /usr/bin/velmora, or
    // what it links to, inside the staging folder.
    std::string Installed() const
    {
        const std::string path = session->Staged("/usr/bin/velmora");
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        return !error && target.is_absolute() ? session->Staged(target.string()) : path;
    }

    // What the output shows once it is the scene, covering it; the last
    // picture taken when it never is.
    Picture WaitForScene(const std::string& output)
    {
        Picture picture;
        velmora_test::WaitUntil(kSceneTimeout, milliseconds(100), [&] {
            picture = compositor->Capture(output);
            return ShowsTheScene(picture) || !Watching();
        });
        return picture;
    }

    static bool ShowsTheScene(const Picture& picture)
    {
        return picture.DistinctColours() >= kSceneColours && HorizonAt(picture) > 0 &&
               PixelsOf(picture, kWindowColour) == 0;
    }

    // True once the output shows a picture different from `before`.
    bool WaitForChange(const std::string& output, const Picture& before)
    {
        bool changed = false;
        velmora_test::WaitUntil(kSceneTimeout, milliseconds(100), [&] {
            const Picture now = compositor->Capture(output);
            changed = now.width == before.width && now.height == before.height && now.DifferingPixels(before) > 0;
            return changed || !Watching();
        });
        return changed;
    }

    // The output shows the scene, covering it, and moving.
    void ExpectAnimatedScene(const std::string& output, int width, int height, const std::string& log)
    {
        const Picture picture = WaitForScene(output);
        EXPECT_TRUE(ShowsTheScene(picture)) << output << ": " << Describe(picture) << Log(log);
        EXPECT_EQ(width, picture.width) << output;
        EXPECT_EQ(height, picture.height) << output;
        EXPECT_TRUE(WaitForChange(output, picture)) << output << " shows the same picture each time" << Log(log);
    }

    std::unique_ptr<InstalledUserSession> session;
    std::unique_ptr<PrivateCompositor> compositor;
    std::weak_ptr<ChildProcess> watched;
};

// Two outputs of different sizes, the second at scale 2, a window open on the
// first: the saver covers both, the window too, each output with the whole
// scene at its full pixel size (not a half-size picture doubled), moving. An
// output plugged in later gets the scene; one unplugged leaves the others
// drawing; the compositor killed under it ends it with 1.
TEST_F(WaylandSaver, CoversEveryOutputAtItsScaleAboveWindowsAsOutputsComeAndGo)
{
    // Outputs that can be unplugged: windows of another sway.
    ASSERT_NO_FATAL_FAILURE(Open(2, SecondOutput("WL-2"), PrivateCompositor::Backend::WindowsOfAnotherSway));
    const std::string one = compositor->Output(1), two = compositor->Output(2);
    const auto window = compositor->OpenWindow(kWindowColour);
    ASSERT_TRUE(window) << Log("window-ff00ff.log");
    ASSERT_EQ(400u * 300u, PixelsOf(compositor->Capture(one), kWindowColour)) << "the window is not shown";

    const auto saver = Velmora("--wayland");
    const Picture first = WaitForScene(one);
    const Picture second = WaitForScene(two);
    EXPECT_TRUE(ShowsTheScene(first)) << Describe(first) << Log("velmora--wayland.log");
    EXPECT_TRUE(ShowsTheScene(second)) << Describe(second) << Log("velmora--wayland.log");
    ASSERT_EQ(800, first.width);
    ASSERT_EQ(640, second.width);
    // The same scene from top to bottom on both: neither cut off nor padded.
    EXPECT_NEAR(HorizonAt(first), HorizonAt(second), 0.03) << Describe(first) << "; " << Describe(second);
    // Drawn at 640 x 480 and shown pixel for pixel: the rain's thin streaks
    // and the sky's gradient make many 2 x 2 blocks of more than one colour.
    EXPECT_GT(ShareOfMixedBlocks(second), 0.5 * ShareOfMixedBlocks(first)) << "a picture drawn at 320 x 240, doubled";
    EXPECT_TRUE(WaitForChange(one, first)) << "the scene does not move" << Log("velmora--wayland.log");
    EXPECT_TRUE(WaitForChange(two, second)) << "the scene does not move" << Log("velmora--wayland.log");

    const std::string third = compositor->AddOutput(720, 400, 1);
    ASSERT_NE("", third);
    ExpectAnimatedScene(third, 720, 400, "velmora--wayland.log");

    ASSERT_TRUE(compositor->RemoveOutput(two)) << compositor->Log();
    EXPECT_FALSE(saver->WaitExit(kStaysTimeout)) << "an output unplugged ended it" << Log("velmora--wayland.log");
    ExpectAnimatedScene(one, 800, 600, "velmora--wayland.log");
    ExpectAnimatedScene(third, 720, 400, "velmora--wayland.log");

    kill(compositor->Pid(), SIGKILL);
    EXPECT_EQ(1, saver->WaitExit(kExitTimeout))
        << "the compositor gone, it does not end with 1" << Log("velmora--wayland.log");
}

// A mouse there before the saver starts, as a real one is: the events of the
// saver's map time and a move of 4 pixels leave it running, a fifth pixel
// from where the pointer stood ends it with 0, and so do a click and a key.
TEST_F(WaylandSaver, EndsWithZeroOnAKeyAClickOrAMoveOfFivePixels)
{
    ASSERT_NO_FATAL_FAILURE(Open(1));
    VirtualPointer pointer(*compositor);
    ASSERT_TRUE(pointer.Move(100, 100)) << Log("pointer.log");

    {
        const auto saver = Velmora("--wayland");
        const Picture picture = WaitForScene("HEADLESS-1");
        ASSERT_TRUE(ShowsTheScene(picture)) << Describe(picture) << Log("velmora--wayland.log");
        ASSERT_TRUE(WaitForChange("HEADLESS-1", picture)) << "it ended at map time" << Log("velmora--wayland.log");
        ASSERT_TRUE(saver->Running()) << Log("velmora--wayland.log");
        ASSERT_TRUE(pointer.Move(4, 0));
        EXPECT_FALSE(saver->WaitExit(kStaysTimeout)) << "4 pixels ended it" << Log("velmora--wayland.log");
        ASSERT_TRUE(pointer.Move(1, 0));
        EXPECT_EQ(0, saver->WaitExit(kExitTimeout)) << "5 pixels did not end it" << Log("velmora--wayland.log");
    }
    {
        const auto saver = Velmora("--wayland");
        ASSERT_TRUE(ShowsTheScene(WaitForScene("HEADLESS-1"))) << Log("velmora--wayland.log");
        ASSERT_TRUE(pointer.Click());
        EXPECT_EQ(0, saver->WaitExit(kExitTimeout)) << "a click did not end it" << Log("velmora--wayland.log");
    }
    {
        const auto saver = Velmora("--wayland");
        ASSERT_TRUE(ShowsTheScene(WaitForScene("HEADLESS-1"))) << Log("velmora--wayland.log");
        // wtype makes its keyboard when it starts: the pause lets the saver
        // take it before the key goes down.
        const auto key = compositor->Start("wtype.log", {"wtype", "-s", "1000", "x"});
        EXPECT_EQ(0, key->WaitExit(kExitTimeout)) << Log("wtype.log");
        EXPECT_EQ(0, saver->WaitExit(kExitTimeout)) << "a key did not end it" << Log("velmora--wayland.log");
    }
}

// The wallpaper on two outputs under a window: the window is shown over it,
// the scene around the window moves, and no input ends it; SIGINT does, with 0.
TEST_F(WaylandSaver, WallpaperStaysUnderWindowsAndIgnoresInput)
{
    ASSERT_NO_FATAL_FAILURE(Open(2, SecondOutput()));
    VirtualPointer pointer(*compositor);
    ASSERT_TRUE(pointer.Move(20, 20)) << Log("pointer.log");
    const auto wallpaper = Velmora("--wallpaper");
    ExpectAnimatedScene("HEADLESS-1", 800, 600, "velmora--wallpaper.log");
    ExpectAnimatedScene("HEADLESS-2", 640, 480, "velmora--wallpaper.log");

    const auto window = compositor->OpenWindow(kWindowColour);
    ASSERT_TRUE(window) << Log("window-ff00ff.log");
    const Picture under = compositor->Capture("HEADLESS-1");
    EXPECT_EQ(400u * 300u, PixelsOf(under, kWindowColour)) << "the window is not all shown: " << Describe(under);
    // Left of the window (which stands at 200 to 600), the scene.
    const Picture beside = Strip(under, 0, 180);
    EXPECT_TRUE(ShowsTheScene(beside)) << Describe(beside);
    EXPECT_TRUE(WaitForChange("HEADLESS-1", under)) << "the scene beside the window does not move";

    ASSERT_TRUE(pointer.Move(5, 0));
    ASSERT_TRUE(pointer.Click());
    const auto key = compositor->Start("wtype.log", {"wtype", "-s", "1000", "x"});
    EXPECT_EQ(0, key->WaitExit(kExitTimeout)) << Log("wtype.log");
    EXPECT_FALSE(wallpaper->WaitExit(kStaysTimeout)) << "input ended it" << Log("velmora--wallpaper.log");
    EXPECT_EQ(0, wallpaper->Stop(SIGINT, kExitTimeout)) << Log("velmora--wallpaper.log");
}

// The line of sway's configuration in the README, with a timeout of a second:
// swayidle runs the saver, which covers every output.
TEST_F(WaylandSaver, SwayidleStartsItOverEveryOutput)
{
    ASSERT_NO_FATAL_FAILURE(Open(2, SecondOutput() + "exec swayidle -w timeout 1 'velmora --wayland &'\n"));
    std::vector<pid_t> savers;
    velmora_test::WaitUntil(kSceneTimeout, milliseconds(100), [&] {
        savers = compositor->ProcessesRunning(Installed());
        return !savers.empty();
    });
    // swayidle and what it runs write into sway's log.
    ASSERT_EQ(1u, savers.size()) << "swayidle did not start " << Installed() << Log("sway.log");
    ExpectAnimatedScene("HEADLESS-1", 800, 600, "sway.log");
    ExpectAnimatedScene("HEADLESS-2", 640, 480, "sway.log");
}

// Utime and stime of a process, all its threads, in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index)
        if (index >= 14)
            ticks += std::stol(field);
    return ticks;
}

// The compositor stopped (as one that asks for no frames, a hung one, or an
// output powered off): over 10 s the saver neither spins nor queues frames;
// let go, it draws again; stopped again, SIGTERM ends it at once with 0.
TEST_F(WaylandSaver, RestsWhileTheCompositorAsksForNoFramesAndEndsOnSigterm)
{
    ASSERT_NO_FATAL_FAILURE(Open(1));
    const auto saver = Velmora("--wayland");
    const Picture picture = WaitForScene("HEADLESS-1");
    ASSERT_TRUE(ShowsTheScene(picture)) << Describe(picture) << Log("velmora--wayland.log");
    ASSERT_TRUE(WaitForChange("HEADLESS-1", picture)) << Log("velmora--wayland.log");
    // Mesa's shader disk-cache threads were seen to hang the exit: none may run.
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(saver->Pid()) + "/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        EXPECT_EQ(name.find("disk$"), std::string::npos) << name;
    }

    ASSERT_EQ(0, kill(compositor->Pid(), SIGSTOP));
    const long before = CpuTicks(saver->Pid());
    const auto stopped = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const long after = CpuTicks(saver->Pid());
    const double seconds = std::chrono::duration<double>(Clock::now() - stopped).count();
    kill(compositor->Pid(), SIGCONT);
    const double share = static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
    EXPECT_LT(share, 0.01) << "it used " << 100 * share << " % of a core while no frame was asked for";
    RecordProperty("cpu_percent_without_frames", std::to_string(100 * share));

    const Picture again = compositor->Capture("HEADLESS-1");
    EXPECT_TRUE(WaitForChange("HEADLESS-1", again)) << "it does not draw again" << Log("velmora--wayland.log");

    ASSERT_EQ(0, kill(compositor->Pid(), SIGSTOP));
    const auto sent = Clock::now();
    kill(saver->Pid(), SIGTERM);
    const std::optional<int> code = saver->WaitExit(std::chrono::seconds(1));
    const double took = std::chrono::duration<double>(Clock::now() - sent).count();
    kill(compositor->Pid(), SIGCONT);
    EXPECT_EQ(0, code.value_or(-100)) << "SIGTERM with the compositor stopped: not ended with 0 within a second"
                                      << Log("velmora--wayland.log");
    RecordProperty("seconds_to_end_on_sigterm", std::to_string(took));
}

// One line on standard error and exit status 1, for both modes: with no
// Wayland display, with one that is gone, and on weston (no layer shell).
TEST_F(WaylandSaver, FailsWithOneLineWithoutACompositorWithTheLayerShell)
{
    const auto run = [&](const std::string& mode, const std::vector<std::string>& display) {
        std::vector<std::string> environment;
        for (const std::string& variable : session->Environment(""))
            if (variable.rfind("DISPLAY=", 0) != 0)
                environment.push_back(variable);
        environment.insert(environment.end(), display.begin(), display.end());
        ChildProcess::Streams streams;
        streams.errors = session->Home() + "/errors.log";
        ChildProcess velmora(session->AsUser({"velmora", mode}), environment, streams);
        const std::optional<int> code = velmora.WaitExit(kExitTimeout);
        const std::string errors = session->ReadHomeFile("errors.log");
        const bool oneLine = !errors.empty() && errors.find('\n') == errors.size() - 1;
        return ::testing::AssertionResult(code == 1 && oneLine)
               << mode << " with " << (display.empty() ? "no WAYLAND_DISPLAY" : display[0]) << ": exit "
               << (code ? std::to_string(*code) : "none") << ", errors:\n"
               << errors;
    };
    for (const std::string mode : {"--wayland", "--wallpaper"}) {
        EXPECT_TRUE(run(mode, {}));
        EXPECT_TRUE(run(mode, {"WAYLAND_DISPLAY=wayland-gone"}));
    }
    const OtherCompositor weston(
        *session, {"weston", "--backend=headless-backend.so", "--socket=weston-test", "--idle-time=0"}, "weston-test");
    ASSERT_EQ("", weston.Failure()) << "(Debian package weston)";
    for (const std::string mode : {"--wayland", "--wallpaper"})
        EXPECT_TRUE(run(mode, {"WAYLAND_DISPLAY=weston-test"}));
}

} // namespace
