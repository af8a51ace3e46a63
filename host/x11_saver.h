// The X11 host: opens the display, finds or makes the window to draw into with
// its GLX visual and context, runs the rain scene in it and ends it by the close
// rules. The X11 counterpart of the Windows saver window and its message loop.
#pragma once

#include "host/saver_options.h"

namespace NS_InitialModel {
class InitialModel;
}

namespace NS_X11Saver {

constexpr int kExitOk = 0;
// No display, no GLX, a bad window, an OpenGL context that cannot be made, a
// scene that stopped by a failure.
constexpr int kExitFailure = 1;
// A bad command line: 1 as well, as XScreenSaver's hacks do.
constexpr int kExitUsage = 1;

constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;
constexpr const char* kWindowTitle = "The Velmora";

// Runs the scene as a saver on the target the options name until it ends; the
// exit code. Problems are reported in one line each (NS_Report).
int RunSaver(const NS_SaverOptions::Options& options, NS_InitialModel::InitialModel& scene);

} // namespace NS_X11Saver
