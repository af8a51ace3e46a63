// XScreenSaver's daemon is told to blank the screen with velmora as its only
// hack: it starts velmora on a window of its own and ends it when it unblanks.
// The daemon refuses to run hacks as root, so a root test runs it as nobody.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/x11_saver_fixture.h"
#include "tests/support/posix_child_process.h"
#include "tests/support/posix_temporary_folder.h"
#include "tests/support/wait_until.h"

namespace {

using std::chrono::milliseconds;
using velmora_test::ChildProcess;
using velmora_test::kSaverExitTimeout;
using velmora_test::kSaverStartTimeout;
using velmora_test::Picture;
using velmora_test::ProcessesRunning;
using velmora_test::RunToEnd;
using velmora_test::WaitUntil;

// The white pixels of the lower-left corner, where -fps writes the frame rate.
std::set<std::size_t> CornerText(const Picture& picture)
{
    std::set<std::size_t> white;
    for (int y = std::max(0, picture.height - 100); y < picture.height; ++y)
        for (int x = 0; x < std::min(300, picture.width); ++x)
            if (picture.At(x, y) == 0xFFFFFF)
                white.insert(static_cast<std::size_t>(y) * picture.width + x);
    return white;
}

TEST_F(X11Saver, RunsAsTheOnlyHackOfTheXScreenSaverDaemon)
{
    ASSERT_TRUE(velmora_test::OnPath("xscreensaver") && velmora_test::OnPath("xscreensaver-command"))
        << "XScreenSaver is not installed (Debian package xscreensaver; scripts/install-deps adds it)";
    // In /tmp whatever TMPDIR says: the daemon's user must reach it.
    const velmora_test::TemporaryFolder home("velmora-xss", "/tmp");
    ASSERT_FALSE(home.Path().empty());
    const bool asRoot = geteuid() == 0;
    // A copy the daemon's user can run, wherever the build folder lives.
    const std::string hack = home.PathOf("velmora");
    std::error_code copyError;
    std::filesystem::copy_file(VELMORA_BINARY, hack, copyError);
    ASSERT_FALSE(copyError) << copyError.message();
    ASSERT_EQ(0, chmod(home.Path().c_str(), 0755));
    std::ofstream(home.PathOf(".xscreensaver"))
        << "timeout: 1:00:00\ncycle: 0:00:00\nlock: False\nfade: False\nunfade: False\n"
           "splash: False\ndpmsEnabled: False\ngrabDesktopImages: False\nmode: one\nselected: 0\n"
           "programs: \"The Velmora\" "
        << hack << " --root -fps \\n\n";
    if (asRoot) {
        ASSERT_EQ(0, chown(home.Path().c_str(), 65534, 65534));
        ASSERT_EQ(0, chown(home.PathOf(".xscreensaver").c_str(), 65534, 65534));
    }
    const std::vector<std::string> environment{"HOME=" + home.Path(), "DISPLAY=" + DisplayName(), "PATH=/usr/bin:/bin",
                                               "LIBGL_ALWAYS_SOFTWARE=1", velmora_test::kSaverSanitizerOptions};
    const auto command = [&](std::vector<std::string> words) {
        if (asRoot)
            words.insert(words.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        return words;
    };
    // What the daemon and its hack say, to read when the screen stays blank.
    ChildProcess::Streams streams;
    streams.output = streams.errors = home.PathOf("daemon.log");
    const auto daemonLog = [&] { return "\nthe daemon's log:\n" + velmora_test::ReadFile(streams.errors); };
    ChildProcess daemon(command({"xscreensaver", "-no-splash", "-verbose"}), environment, streams);
    ASSERT_TRUE(daemon.Started());

    // The daemon takes a moment before it answers commands.
    bool activated = false;
    for (int attempt = 0; attempt < 50 && !activated; ++attempt) {
        activated = RunToEnd(command({"xscreensaver-command", "-activate"}), environment) == 0;
        if (!activated)
            std::this_thread::sleep_for(milliseconds(200));
    }
    EXPECT_TRUE(activated) << "the daemon did not take the activate command";

    std::vector<pid_t> hacks;
    Picture screen;
    WaitUntil(kSaverStartTimeout, milliseconds(250), [&] {
        hacks = ProcessesRunning(hack);
        screen = Capture(root);
        return !hacks.empty() && screen.DistinctColours() >= kSceneColours;
    });
    EXPECT_FALSE(hacks.empty()) << "the daemon did not start velmora" << daemonLog();
    EXPECT_GE(screen.DistinctColours(), kSceneColours) << "the blanked screen does not show the scene" << daemonLog();

    // -fps: white text in the lower-left corner that stays put while the rain
    // moves; it appears once a second has been measured.
    // Each picture against the one taken half a second before it.
    std::size_t steady = 0;
    std::optional<std::set<std::size_t>> before;
    WaitUntil(kSaverStartTimeout, milliseconds(500), [&] {
        const auto now = CornerText(Capture(root));
        if (before)
            steady = static_cast<std::size_t>(
                std::count_if(now.begin(), now.end(), [&](std::size_t i) { return before->count(i); }));
        before = now;
        return steady >= 100;
    });
    EXPECT_GE(steady, 100u) << "no frame-rate text in the lower-left corner with -fps" << daemonLog();

    EXPECT_EQ(0, RunToEnd(command({"xscreensaver-command", "-deactivate"}), environment)) << daemonLog();
    WaitUntil(kSaverExitTimeout, milliseconds(50), [&] { return ProcessesRunning(hack).empty(); });
    EXPECT_TRUE(ProcessesRunning(hack).empty()) << "velmora still runs after the daemon unblanked";
    for (pid_t left : ProcessesRunning(hack))
        kill(left, SIGKILL);

    RunToEnd(command({"xscreensaver-command", "-exit"}), environment);
    daemon.Stop(SIGTERM, kSaverExitTimeout);
    // The daemon leaves its helpers (the one that owns the blanking windows and
    // grabs, the one that checks passwords) behind for a moment; a later test
    // of this process would get their grabs and input. Wait for them; only
    // this display's, since a person's own XScreenSaver may run meanwhile.
    for (const char* helper : {"/usr/libexec/xscreensaver/xscreensaver-gfx",
                               "/usr/libexec/xscreensaver/xscreensaver-auth", "/usr/bin/xscreensaver"}) {
        WaitUntil(kSaverExitTimeout, milliseconds(50), [&] { return ProcessesRunning(helper, DisplayName()).empty(); });
        for (pid_t left : ProcessesRunning(helper, DisplayName()))
            kill(left, SIGKILL);
    }
    XSync(display, False);
}

} // namespace
