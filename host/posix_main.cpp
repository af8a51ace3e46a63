// The Linux saver's entry: the command line, then the saver itself, on X11 or
// on Wayland as the options say.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/report.h"
#include "host/saver_options.h"
#include "host/saver_scene.h"
#include "host/wayland_saver.h"
#include "host/x11_saver.h"
#include "render/driver_settings.h"

int main(int argc, char** argv)
{
    const std::string program = "velmora";
    NS_Report::SetProgramName(program);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const NS_SaverOptions::Options options =
        NS_SaverOptions::ParseOptions(arguments, std::getenv("XSCREENSAVER_WINDOW"));
    switch (options.action) {
    case NS_SaverOptions::Action::ShowHelp:
        std::fputs(NS_SaverOptions::UsageText(program).c_str(), stdout);
        return NS_SaverOptions::kExitOk;
    case NS_SaverOptions::Action::ShowVersion:
        std::printf("%s\n", NS_SaverOptions::VersionText().c_str());
        return NS_SaverOptions::kExitOk;
    case NS_SaverOptions::Action::Fail:
        NS_Report::Line(options.error);
        if (options.showUsage)
            std::fputs(NS_SaverOptions::UsageText(program).c_str(), stderr);
        return NS_SaverOptions::kExitFailure;
    case NS_SaverOptions::Action::Run:
        break;
    }
    NS_DriverSettings::Apply();
    // The last resort: whatever escapes the saver (the kernel throws pointers to
    // its exception objects) ends the program with one line, not an abort.
    try {
        if (NS_SaverOptions::OnWayland(options.target))
            return NS_WaylandSaver::RunSaver(options, SaverScene());
        return NS_X11Saver::RunSaver(options, SaverScene());
    } catch (...) {
        NS_Report::Line("stopped by an unexpected failure");
        return NS_SaverOptions::kExitFailure;
    }
}
