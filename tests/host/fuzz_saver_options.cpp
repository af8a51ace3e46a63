// libFuzzer target: the Linux saver's command line and XSCREENSAVER_WINDOW,
// which a daemon sets, through the public parse functions. Beyond memory safety
// it checks what the entry relies on: a failure says why, a window or visual to
// use is one an X server could have, the environment's window is the one taken
// when the command line names none, and a Wayland target comes with nothing
// that is for X11.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/saver_options.h"
#include "tests/support/fuzz_arguments.h"

using namespace NS_SaverOptions;

namespace {

void Check(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

bool Targeted(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        for (const char* name : {"root", "fullscreen", "window", "window-id", "wayland", "wallpaper"}) {
            for (const std::string dashes : {"-", "--"}) {
                const std::string option = dashes + name;
                if (argument == option || argument.rfind(option + "=", 0) == 0) {
                    return true;
                }
            }
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first piece is XSCREENSAVER_WINDOW when the input starts with '=';
    // otherwise the variable is not set.
    std::vector<std::string> arguments = velmora_fuzz::Arguments(data, size);
    std::string environment;
    const bool environmentSet = !arguments.empty() && !arguments[0].empty() && arguments[0][0] == '=';
    if (environmentSet) {
        environment = arguments[0].substr(1);
        arguments.erase(arguments.begin());
    }
    const Options options = ParseOptions(arguments, environmentSet ? environment.c_str() : nullptr);

    Check((options.action == Action::Fail) != options.error.empty());
    Check(!options.showUsage || options.action == Action::Fail);
    if (options.action == Action::Run) {
        // The last target given wins; an id given before another target stays unused.
        Check(options.target != Target::Foreign || (options.windowId != 0 && options.windowId <= kLargestResourceId));
        Check(options.visual != VisualChoice::ById ||
              (options.visualId != 0 && options.visualId <= kLargestResourceId));
        std::uint32_t fromEnvironment = 0;
        if (environmentSet && !Targeted(arguments) && ParseWindowId(environment, fromEnvironment)) {
            Check(options.target == Target::Foreign && options.windowId == fromEnvironment);
        }
        if (OnWayland(options.target)) {
            Check(options.windowId == 0 && options.visual == VisualChoice::Gl && !options.installColormap &&
                  options.displayName.empty());
        }
    }

    for (const std::string& text : arguments) {
        std::uint32_t id = 0;
        if (ParseWindowId(text, id)) {
            // What it reads back as decimal and as XScreenSaver's hexadecimal.
            Check(id != 0 && id <= kLargestResourceId);
            char hexadecimal[16];
            std::snprintf(hexadecimal, sizeof hexadecimal, "0x%x", id);
            std::uint32_t again = 0;
            Check(ParseWindowId(std::to_string(id), again) && again == id);
            Check(ParseWindowId(hexadecimal, again) && again == id);
        }
    }
    return 0;
}
