// The Wayland host of a build made without libwayland, libwayland-egl or the
// protocols' descriptions (host/wayland.cmake): it says so.
#include "host/report.h"
#include "host/wayland_saver.h"

namespace NS_WaylandSaver {

int RunSaver(const NS_SaverOptions::Options&, NS_InitialModel::InitialModel&)
{
    NS_Report::Line("this velmora was built without Wayland: it can draw on X11 only");
    return NS_SaverOptions::kExitFailure;
}

} // namespace NS_WaylandSaver
