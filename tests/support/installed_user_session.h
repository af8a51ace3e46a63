// Programs run the way a user of the installed package runs them: the build
// installed (cmake --install, prefix /usr) into a staging folder of the test's
// own, and every command started as an unprivileged user (nobody, when the
// test runs as root) with a fresh home, in a private mount namespace where the
// staged hacks, descriptions and desktop entries sit in the system's folders
// beside the system's own (a copy of the package installed on the machine is
// hidden). So the savers find the hack, its description and its desktop entry
// exactly where the package puts them, and nothing is installed into the
// machine.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/posix_temporary_folder.h"

namespace velmora_test {

class InstalledUserSession {
public:
    InstalledUserSession(const std::string& cmake, const std::string& buildDir);
    InstalledUserSession(const InstalledUserSession&) = delete;
    InstalledUserSession& operator=(const InstalledUserSession&) = delete;

    // Why it could not be set up, in plain words; empty when it was.
    const std::string& Failure() const { return failure; }

    // An installed path ("/usr/...") as staged, readable from the test.
    std::string Staged(const std::string& path) const { return stage + path; }
    const std::string& Home() const { return home; }

    // `words` as the user runs them, with the staged layout in place.
    std::vector<std::string> AsUser(const std::vector<std::string>& words) const;
    // HOME, the display, XDG_DATA_DIRS as the system has it, PATH with the
    // staged programs first; nothing else of the caller's.
    std::vector<std::string> Environment(const std::string& display) const;

    // A file in the home, written or read as its owner would.
    bool WriteHomeFile(const std::string& name, const std::string& text) const;
    std::string ReadHomeFile(const std::string& name) const;

    // The system's folders where the staged files appear: the hacks, the
    // descriptions XScreenSaver's settings read, the desktop entries MATE's
    // and Xfce's savers read.
    static constexpr const char* kHackDir = "/usr/libexec/xscreensaver";
    static inline const std::vector<std::string> kOverlaidDirs{kHackDir, "/usr/share/xscreensaver/config",
                                                               "/usr/share/applications/screensavers"};

private:
    // Holds the staging folder and the home; removed with them at the end.
    TemporaryFolder folder;
    std::string work;
    std::string stage;
    std::string home;
    std::string failure;
    uid_t user = 0;
    gid_t group = 0;
};

// A process that runs with DISPLAY set to the given display or one of its screens
// (so never one of a
// person's own), as /proc shows it.
struct DisplayProcess {
    pid_t pid = 0;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    // The file it runs (device and inode), as it was when the arguments were
    // read; none where /proc does not show it.
    std::optional<std::pair<dev_t, ino_t>> executable;
    bool Runs(const std::string& executable) const; // the same file as `executable`
    std::string Variable(const std::string& name) const;
};
std::vector<DisplayProcess> ProcessesOnDisplay(const std::string& display);
// Kills (SIGKILL) every process left on the display, such as a saver's helpers.
void KillProcessesOnDisplay(const std::string& display);

} // namespace velmora_test
