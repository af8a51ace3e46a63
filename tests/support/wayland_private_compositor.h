// A Wayland compositor of a test's own: sway, headless (no screen, no input
// devices, drawing with pixman), run as the installed session's unprivileged
// user with that session's home and XDG_RUNTIME_DIR, so that a person's own
// session and WAYLAND_DISPLAY are never reached. The programs of the test run
// on it as the same user, with the staged layout in place; its outputs are
// made, changed and removed through swaymsg and photographed with grim.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/installed_user_session.h"
#include "tests/support/picture.h"
#include "tests/support/posix_child_process.h"

namespace velmora_test {

class PrivateCompositor {
public:
    // Where sway's outputs are. Headless: made by `create_output`, never let
    // go (sway 1.7 can neither unplug nor disable one). Windows of another sway:
    // each output a window of a second, headless sway, which unplugs it by
    // closing that window.
    enum class Backend { Headless, WindowsOfAnotherSway };

    // sway with `outputs` outputs (the first is 800 x 600; the configuration
    // sets the others) and the test's configuration lines after a base of its
    // own: no Xwayland, no borders, the test window floating in the middle.
    PrivateCompositor(const InstalledUserSession& session, int outputs = 1, const std::string& configuration = "",
                      Backend backend = Backend::Headless);
    PrivateCompositor(const PrivateCompositor&) = delete;
    PrivateCompositor& operator=(const PrivateCompositor&) = delete;
    // Ends sway and everything still running on it.
    ~PrivateCompositor();

    // Why it did not start, in plain words; empty when it did.
    const std::string& Failure() const { return failure; }
    pid_t Pid() const { return sway ? sway->Pid() : -1; }
    // sway's log, for failure messages.
    std::string Log() const;

    // What a program of the user's on this compositor is given: the session's
    // environment with WAYLAND_DISPLAY and SWAYSOCK, and no DISPLAY.
    std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const;
    // A program of the user's on the compositor, its output to `log` in the
    // home, and `passed` (when not -1) as its descriptor 3.
    std::unique_ptr<ChildProcess> Start(const std::string& log, const std::vector<std::string>& words,
                                        const std::vector<std::string>& extraEnvironment = {}, int passed = -1) const;

    // `swaymsg COMMAND`: true when sway carried it out.
    bool Command(const std::string& command) const;
    // The name of the nth output sway was started with (from 1).
    std::string Output(int nth) const { return outputPrefix + std::to_string(nth); }
    // The names of the enabled outputs.
    std::vector<std::string> Outputs() const;
    // A new output of that mode and scale; its name, or empty.
    std::string AddOutput(int width, int height, int scale) const;
    // The output unplugged (windows of another sway only); true once it is gone.
    bool RemoveOutput(const std::string& name) const;

    // What the output shows now (grim), at its full pixel size; empty when
    // it could not be taken.
    Picture Capture(const std::string& output) const;

    // A window of one colour (0xRRGGBB) on top, once the compositor shows it.
    std::unique_ptr<ChildProcess> OpenWindow(std::uint32_t colour) const;

    // The processes of the user's on this compositor (by their
    // XDG_RUNTIME_DIR) that run `executable`.
    std::vector<pid_t> ProcessesRunning(const std::string& executable) const;

    // SIGKILL to sway and every process left on it.
    void Kill();

    // The test client (a mouse, a window), where the session's user can run it.
    std::string Client() const { return session.Home() + "/velmora-wayland-test-client"; }

private:
    // A sway with its runtime folder and IPC socket; the name of its Wayland
    // socket, or empty (and the failure said) when it did not start.
    std::string LaunchSway(std::unique_ptr<ChildProcess>& process, const std::string& folder,
                           const std::string& socketPath, const std::string& name,
                           const std::vector<std::string>& backendEnvironment);
    bool Message(const std::string& socketPath, const std::vector<std::string>& words) const;

    const InstalledUserSession& session;
    std::unique_ptr<ChildProcess> outer;
    std::unique_ptr<ChildProcess> sway;
    std::string runtime;
    std::string socket;
    std::string ipc;
    std::string outerIpc;
    std::string outputPrefix;
    std::string failure;
};

// The session's environment for a program on Wayland: no DISPLAY, and the
// variables of `set` in place of the session's own.
std::vector<std::string> SessionEnvironment(const InstalledUserSession& session, const std::vector<std::string>& set);

// A mouse on the compositor (velmora-wayland-test-client pointer), there from
// its start as a real one is. Each call returns once the compositor has handed
// the events on to the client under the pointer.
class VirtualPointer {
public:
    explicit VirtualPointer(const PrivateCompositor& compositor);
    ~VirtualPointer();
    VirtualPointer(const VirtualPointer&) = delete;
    VirtualPointer& operator=(const VirtualPointer&) = delete;

    bool Move(int dx, int dy) { return Send("move " + std::to_string(dx) + " " + std::to_string(dy)); }
    bool Click() { return Send("click"); }

private:
    bool Send(const std::string& command);
    int control = -1;
    std::unique_ptr<ChildProcess> client;
};

// A compositor that is not sway: the program is started with `words` as the
// session's user (weston, say, which offers no layer shell) with the runtime
// folder of the session, and is ready once `socket` appears there.
class OtherCompositor {
public:
    OtherCompositor(const InstalledUserSession& session, const std::vector<std::string>& words,
                    const std::string& socket);
    const std::string& Failure() const { return failure; }

private:
    std::unique_ptr<ChildProcess> server;
    std::string failure;
};

// Reading the scene in a picture: where its sky gives way to the ground, as a
// fraction of the height (the same on every output that the scene covers
// exactly), or a negative number when the picture has no such sky and ground.
double HorizonAt(const Picture& picture);
// The share of the aligned 2 x 2 blocks of pixels that are not one colour: a
// picture drawn at half the size and doubled has none.
double ShareOfMixedBlocks(const Picture& picture);
// How many pixels are of exactly that colour.
std::size_t PixelsOf(const Picture& picture, std::uint32_t colour);

} // namespace velmora_test
