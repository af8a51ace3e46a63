// A saver program started as a user or XScreenSaver starts one: with its own
// arguments and environment, on the X display it is given (or on none), its
// error output kept in a folder of its own; killed if a test leaves it running.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/posix_child_process.h"
#include "tests/support/posix_temporary_folder.h"

namespace velmora_test {

// Under the sanitizers the saver is checked for memory errors but not for
// leaks: the leak report has to symbolize every allocation that Mesa's
// llvmpipe keeps, in code it compiled at run time, and takes minutes.
extern const char* const kSaverSanitizerOptions;

// Bounds, not expectations: the waits end as soon as the saver is there. A
// debug build's first frame of llvmpipe on a machine busy with builds can take
// several seconds, and a stop waits for the frame in progress.
constexpr std::chrono::milliseconds kSaverStartTimeout{60000};
constexpr std::chrono::milliseconds kSaverExitTimeout{30000};

class StartedSaver {
public:
    // `display` is ":N", or empty for a saver with no DISPLAY at all; the
    // caller's DISPLAY, XSCREENSAVER_WINDOW and sanitizer options never reach
    // it. `environment` comes last, so it can add to or override them.
    StartedSaver(const std::string& program, const std::vector<std::string>& arguments, const std::string& display,
                 const std::vector<std::string>& environment = {});

    pid_t Pid() const { return process->Pid(); }
    bool Running() { return process->Running(); }
    // The exit code, -signal when a signal ended it, or nothing while it still
    // runs after `timeout`.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout = kSaverExitTimeout)
    {
        return process->WaitExit(timeout);
    }
    std::string ErrorOutput() const { return ReadFile(errorPath); }

    // The mapped top-level window that it made, or None when none appears
    // within `timeout` (or it ends first).
    Window WindowOn(Display* display, std::chrono::milliseconds timeout = kSaverStartTimeout);

private:
    std::unique_ptr<TemporaryFolder> folder;
    std::string errorPath;
    std::unique_ptr<ChildProcess> process;
};

// A window id as the savers' command lines and XSCREENSAVER_WINDOW take it.
std::string WindowId(Window window);

} // namespace velmora_test
