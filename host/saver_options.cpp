#include "host/saver_options.h"

#include <cctype>

#include "host/command_line.h"
#include "resources/version.h"

namespace NS_SaverOptions {

namespace {

using NS_CommandLine::Option;

std::string Trimmed(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

Options Failure(const std::string& message, bool showUsage = false)
{
    Options options;
    options.action = Action::Fail;
    options.error = message;
    options.showUsage = showUsage;
    return options;
}

std::string Lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// What the table's entries fill: the options, whether a target was named,
// which decides whether XSCREENSAVER_WINDOW applies, and the first option of
// each display system as written, since the two cannot be mixed.
struct Parsing {
    Options options;
    bool targetGiven = false;
    std::string x11Option;
    std::string waylandOption;
};

// An option that has a meaning on X11 only.
std::string NoteX11(Parsing& parsing, const std::string& option)
{
    if (parsing.x11Option.empty())
        parsing.x11Option = option;
    return std::string();
}

std::string SetTarget(Parsing& parsing, Target target)
{
    parsing.options.target = target;
    parsing.targetGiven = true;
    if (!OnWayland(target))
        return NoteX11(parsing, "--" + std::string(target == Target::Window       ? "window"
                                                   : target == Target::FullScreen ? "fullscreen"
                                                                                  : "root"));
    const std::string option = target == Target::Wayland ? "--wayland" : "--wallpaper";
    if (!parsing.waylandOption.empty() && parsing.waylandOption != option)
        return parsing.waylandOption + " and " + option + " cannot be combined: choose one";
    parsing.waylandOption = option;
    return std::string();
}

// XScreenSaver passes a visual by name or by id; the names that make sense for
// an OpenGL program are the default one and the best one for GL.
std::string SetVisual(Parsing& parsing, const std::string& value)
{
    Options& options = parsing.options;
    const std::string name = Lowered(Trimmed(value));
    if (name == "default") {
        options.visual = VisualChoice::Default;
        return NoteX11(parsing, "--visual");
    }
    if (name == "gl" || name == "best") {
        options.visual = VisualChoice::Gl;
        return NoteX11(parsing, "--visual");
    }
    // Visual ids are resource ids too.
    std::uint32_t id = 0;
    if (!ParseWindowId(name, id))
        return "unknown visual '" + value + "': give default, GL or a visual id such as 0x21";
    options.visual = VisualChoice::ById;
    options.visualId = id;
    return NoteX11(parsing, "--visual");
}

std::string SetWindowId(Parsing& parsing, const std::string& value)
{
    std::uint32_t id = 0;
    if (!ParseWindowId(value, id))
        return "bad window id '" + value + "': give a window id such as 0x1a00004 or 27262980";
    parsing.options.windowId = id;
    parsing.options.target = Target::Foreign;
    parsing.targetGiven = true;
    return NoteX11(parsing, "--window-id");
}

std::string SetDisplay(Parsing& parsing, const std::string& value)
{
    if (value.empty())
        return "the display name is empty";
    parsing.options.displayName = value;
    return NoteX11(parsing, "--display");
}

std::string SetAction(Parsing& parsing, Action action)
{
    parsing.options.action = action;
    return std::string();
}

// Every option of the hack, in the order the usage lists them. The manual page
// and XScreenSaver's description of the hack are held to this table by a test.
const Option<Parsing> kOptions[] = {
    {"window", nullptr, nullptr, nullptr, "draw in a window of its own, 1024 x 768 (the default)",
     [](Parsing& p, const std::string&) { return SetTarget(p, Target::Window); }},
    {"fullscreen", nullptr, nullptr, nullptr, "draw over the whole screen",
     [](Parsing& p, const std::string&) { return SetTarget(p, Target::FullScreen); }},
    {"root", nullptr, nullptr, nullptr, "draw on the root window (or on XSCREENSAVER_WINDOW when set)",
     [](Parsing& p, const std::string&) { return SetTarget(p, Target::Root); }},
    {"window-id", nullptr, "ID", "a window id (such as 0x1a00004)",
     "draw into the window ID made by another program (0x... or decimal)", SetWindowId},
    {"visual", nullptr, "VISUAL", "a visual (default, GL or a visual id)",
     "visual of its own window: GL (the best for OpenGL, the default),\n"
     "default (the screen's) or a visual id",
     SetVisual},
    {"install", nullptr, nullptr, nullptr, "install its own window's colormap, not leaving that to the window manager",
     [](Parsing& p, const std::string&) {
         p.options.installColormap = true;
         return NoteX11(p, "--install");
     }},
    {"wayland", nullptr, nullptr, nullptr,
     "on Wayland: draw over every window on each output, as a screen saver\n"
     "(the desktop must offer the layer shell; GNOME's does not)",
     [](Parsing& p, const std::string&) { return SetTarget(p, Target::Wayland); }},
    {"wallpaper", nullptr, nullptr, nullptr, "on Wayland: draw under every window on each output, as a wallpaper",
     [](Parsing& p, const std::string&) { return SetTarget(p, Target::Wallpaper); }},
    {"fps", nullptr, nullptr, nullptr, "show the frame rate and the CPU load in the lower-left corner",
     [](Parsing& p, const std::string&) {
         p.options.showFrameRate = true;
         return std::string();
     }},
    {"display", nullptr, "NAME", "a display name (such as :0)", "the X display to use (default: $DISPLAY)", SetDisplay},
    {"help", "h", nullptr, nullptr, "show this text",
     [](Parsing& p, const std::string&) { return SetAction(p, Action::ShowHelp); }},
    {"version", nullptr, nullptr, nullptr, "show the version",
     [](Parsing& p, const std::string&) { return SetAction(p, Action::ShowVersion); }},
};

// A daemon that starts a hack passes --root and names its own window in the
// environment; a hack started with no target at all is treated the same way.
// On Wayland there is no such window: the variable is not looked at.
Options WithScreensaverWindow(const Parsing& parsing, const char* screensaverWindow)
{
    Options options = parsing.options;
    if (screensaverWindow != nullptr && (!parsing.targetGiven || options.target == Target::Root)) {
        std::uint32_t id = 0;
        if (!ParseWindowId(screensaverWindow, id))
            return Failure(std::string("XSCREENSAVER_WINDOW is not a window id: '") + screensaverWindow + "'");
        options.target = Target::Foreign;
        options.windowId = id;
    }
    return options;
}

} // namespace

bool ClosesOnInput(Target target)
{
    return target == Target::Window || target == Target::FullScreen || target == Target::Wayland;
}

bool OnWayland(Target target)
{
    return target == Target::Wayland || target == Target::Wallpaper;
}

bool ParseWindowId(const std::string& text, std::uint32_t& id)
{
    std::uint64_t value = 0;
    if (!NS_CommandLine::ParseUnsigned(Trimmed(text), 1, kLargestResourceId, value, NS_CommandLine::Base::DecimalOrHex))
        return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

Options ParseOptions(const std::vector<std::string>& arguments, const char* screensaverWindow)
{
    using NS_CommandLine::WalkError;
    Parsing parsing;
    // XScreenSaver's hacks take both "-root" and "--root"; so does this one.
    // --help and --version answer at once: what follows them, a value after
    // "=" included, is not looked at.
    const WalkError error = NS_CommandLine::Walk(
        kOptions, arguments, parsing, NS_CommandLine::Spelling::OneOrTwoDashes,
        [](const std::string&) { return false; }, [&parsing] { return parsing.options.action != Action::Run; });
    switch (error.kind) {
    case WalkError::Kind::None:
        break;
    case WalkError::Kind::Unknown:
        return Failure("unknown option '" + error.argument + "'", true);
    case WalkError::Kind::NoValue:
        return Failure(error.argument + " needs " + error.problem);
    case WalkError::Kind::ValueNotTaken:
        return Failure("option " + error.argument + " takes no value");
    case WalkError::Kind::BadValue:
        return Failure(error.problem);
    }
    if (parsing.options.action != Action::Run)
        return parsing.options;
    if (!parsing.waylandOption.empty() && !parsing.x11Option.empty())
        return Failure(parsing.waylandOption + " cannot be combined with " + parsing.x11Option +
                       ", which is for X11 (Wayland has no windows to name, visuals or displays to choose)");
    return WithScreensaverWindow(parsing, screensaverWindow);
}

std::vector<NS_CommandLine::Form> OptionForms()
{
    return NS_CommandLine::Forms(kOptions);
}

std::string UsageText(const std::string& programName)
{
    return "Usage: " + programName +
           " [--window | --fullscreen | --root | --window-id ID] [--visual VISUAL] [--install]\n"
           "       [--fps] [--display NAME]\n"
           "   or: " +
           programName +
           " --wayland | --wallpaper [--fps]\n"
           "The view through a window pane in the rain.\n"
           "\n" +
           NS_CommandLine::UsageLines(kOptions, 20) +
           "\n"
           "In its own window it ends on a key press, a mouse click or a mouse move of more than\n"
           "four pixels, or when the window is closed; with --wayland on the same, or when the\n"
           "desktop closes its surfaces. Drawing on another window, it ends on SIGTERM or\n"
           "SIGINT, or when that window goes away; as a wallpaper, on SIGTERM or SIGINT only.\n"
           "Options may start with - or --. The X11 options and the Wayland ones do not mix.\n"
           "Exit status: 0 when it ends as told, 1 for a bad command line or when it cannot run.\n";
}

std::string VersionText()
{
    return std::string("The Velmora ") + VELMORA_VERSION;
}

} // namespace NS_SaverOptions
