// The X11 saver's entry: the command line, then the saver itself.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/saver_scene.h"
#include "host/x11_options.h"
#include "host/x11_saver.h"

int main(int argc, char** argv)
{
    const std::string program = "velmora";
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const NS_X11Options::Options options = NS_X11Options::ParseOptions(arguments, std::getenv("XSCREENSAVER_WINDOW"));
    switch (options.action) {
    case NS_X11Options::Action::ShowHelp:
        std::fputs(NS_X11Options::UsageText(program).c_str(), stdout);
        return NS_X11Saver::kExitOk;
    case NS_X11Options::Action::ShowVersion:
        std::printf("%s\n", NS_X11Options::VersionText().c_str());
        return NS_X11Saver::kExitOk;
    case NS_X11Options::Action::Fail:
        std::fprintf(stderr, "%s: %s\n", program.c_str(), options.error.c_str());
        if (options.showUsage)
            std::fputs(NS_X11Options::UsageText(program).c_str(), stderr);
        return NS_X11Saver::kExitUsage;
    case NS_X11Options::Action::Run:
        break;
    }
    // The last resort: whatever escapes the saver (the kernel throws pointers to
    // its exception objects) ends the program with one line, not an abort.
    try {
        return NS_X11Saver::RunSaver(options, program.c_str(), SaverScene());
    } catch (...) {
        std::fprintf(stderr, "%s: stopped by an unexpected failure\n", program.c_str());
        return NS_X11Saver::kExitFailure;
    }
}
