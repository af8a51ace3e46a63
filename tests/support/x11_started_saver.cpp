#include "tests/support/x11_started_saver.h"

#include <X11/Xatom.h>

#include <cstdio>

#include "tests/support/wait_until.h"

namespace velmora_test {

const char* const kSaverSanitizerOptions = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1";

namespace {

std::optional<long> CardinalProperty(Display* display, Window window, const char* name)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::optional<long> value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && count == 1)
        value = *reinterpret_cast<long*>(data);
    if (data != nullptr)
        XFree(data);
    return value;
}

} // namespace

StartedSaver::StartedSaver(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& display, const std::vector<std::string>& environment)
    : folder(std::make_unique<TemporaryFolder>("velmora-saver")), errorPath(folder->PathOf("errors.txt"))
{
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> variables = EnvironmentWithout({"DISPLAY", "XSCREENSAVER_WINDOW", "ASAN_OPTIONS"});
    if (!display.empty())
        variables.push_back("DISPLAY=" + display);
    variables.push_back(kSaverSanitizerOptions);
    variables.insert(variables.end(), environment.begin(), environment.end());
    ChildProcess::Streams streams;
    streams.errors = errorPath;
    process = std::make_unique<ChildProcess>(words, variables, streams);
}

Window StartedSaver::WindowOn(Display* display, std::chrono::milliseconds timeout)
{
    const Window root = DefaultRootWindow(display);
    Window found = None;
    WaitUntil(timeout, std::chrono::milliseconds(20), [&] {
        if (!Running())
            return true;
        Window rootReturn, parent;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && found == None; ++i) {
                XWindowAttributes attributes;
                if (CardinalProperty(display, children[i], "_NET_WM_PID") == Pid() &&
                    XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
                    found = children[i];
            }
            if (children != nullptr)
                XFree(children);
        }
        return found != None;
    });
    return found;
}

std::string WindowId(Window window)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", window);
    return text;
}

} // namespace velmora_test
