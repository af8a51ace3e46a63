// The command line of the Linux saver, in the conventions of XScreenSaver hacks:
// which window (X11) or which layer of every output (Wayland) to draw on, and
// how the program ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/command_line.h"

namespace NS_SaverOptions {

enum class Target {
    Window,     // a window of its own, 1024 x 768, closed by input like the Windows saver
    FullScreen, // a window of its own covering the screen, closed by input
    Root,       // the root window; only a signal ends it
    Foreign,    // a window made by another program (--window-id or XSCREENSAVER_WINDOW)
    Wayland,    // over every window on each output of a Wayland desktop, closed by input
    Wallpaper,  // under every window on each output of a Wayland desktop; only a signal ends it
};

enum class Action {
    Run,
    ShowHelp,
    ShowVersion,
    Fail, // a bad command line: `error` says why, in one line
};

// Which visual a window of the saver's own gets; a window it adopts keeps its own.
enum class VisualChoice {
    Gl,      // the best double-buffered RGBA visual for OpenGL (the default)
    Default, // the screen's default visual, which must then support OpenGL
    ById,    // the visual `visualId`
};

struct Options {
    Action action = Action::Run;
    Target target = Target::Window;
    std::uint32_t windowId = 0; // for Target::Foreign
    VisualChoice visual = VisualChoice::Gl;
    std::uint32_t visualId = 0;   // for VisualChoice::ById
    bool showFrameRate = false;   // -fps
    bool installColormap = false; // -install: the own window's colormap, installed by the program
    std::string displayName;      // -display; empty means $DISPLAY
    std::string error;
    // An option nobody knows: the caller shows the usage after the error line.
    bool showUsage = false;
};

// The exit statuses of the saver on either display system: 0 when it ends as
// told; 1 for a bad command line, when it cannot run, or when its scene fails,
// as XScreenSaver's hacks do.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

// Whether input ends the saver: in a window of its own or over a Wayland
// desktop it does; on someone else's window the owner decides when it ends,
// and a wallpaper only a signal ends.
bool ClosesOnInput(Target target);
// Whether the target is on a Wayland display rather than on X11.
bool OnWayland(Target target);

// X resource ids are 29 bits wide; anything above cannot name a window.
constexpr std::uint32_t kLargestResourceId = 0x1FFFFFFFu;

// "0x1a00004" (hexadecimal, as XScreenSaver writes it) or "27262980" (decimal),
// with optional surrounding spaces. False for anything else, for 0 and for ids
// no window can have.
bool ParseWindowId(const std::string& text, std::uint32_t& id);

// `arguments` excludes the program name. `screensaverWindow` is the value of
// XSCREENSAVER_WINDOW, or null when it is not set: a daemon that starts a hack
// names the window to draw into there, and --root then means that window.
Options ParseOptions(const std::vector<std::string>& arguments, const char* screensaverWindow);

std::string UsageText(const std::string& programName);
// Every option the hack takes, as its manual page and XScreenSaver's description name them.
std::vector<NS_CommandLine::Form> OptionForms();
std::string VersionText();

} // namespace NS_SaverOptions
