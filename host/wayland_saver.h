// The Wayland host: a layer-shell surface on every output of the desktop, over
// every window (--wayland, the saver) or under them all (--wallpaper), each
// showing the one scene at its output's size and scale; outputs that come and
// go gain and lose theirs. It ends by the close rules, on a signal, and with 1
// when it cannot run or the compositor goes away. A build without libwayland
// has the stand-in (wayland_unavailable.cpp), which says so.
#pragma once

#include "host/saver_options.h"

namespace NS_InitialModel {
class InitialModel;
}

namespace NS_WaylandSaver {

// Runs the scene on the Wayland target the options name until it ends; the
// exit status. Problems are reported in one line each (NS_Report).
int RunSaver(const NS_SaverOptions::Options& options, NS_InitialModel::InitialModel& scene);

} // namespace NS_WaylandSaver
