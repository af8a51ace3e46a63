#include "host/x11_options.h"

#include <cctype>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

namespace NS_X11Options {

namespace {

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

int DigitValue(char c, unsigned base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// XScreenSaver hacks take both "-root" and "--root"; so does this one. Returns
// the option's name without its dashes, or an empty string for a non-option.
std::string OptionName(const std::string& argument)
{
    if (argument.size() > 2 && argument[0] == '-' && argument[1] == '-')
        return argument.substr(2);
    if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-')
        return argument.substr(1);
    return std::string();
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

// XScreenSaver passes a visual by name or by id; the names that make sense for
// an OpenGL program are the default one and the best one for GL.
bool ParseVisual(const std::string& text, Options& options)
{
    const std::string name = Lowered(Trimmed(text));
    if (name == "default") {
        options.visual = VisualChoice::Default;
        return true;
    }
    if (name == "gl" || name == "best") {
        options.visual = VisualChoice::Gl;
        return true;
    }
    // Visual ids are resource ids too.
    std::uint32_t id = 0;
    if (!ParseWindowId(name, id))
        return false;
    options.visual = VisualChoice::ById;
    options.visualId = id;
    return true;
}

} // namespace

bool ParseWindowId(const std::string& text, std::uint32_t& id)
{
    const std::string digits = Trimmed(text);
    unsigned base = 10;
    std::size_t position = 0;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        position = 2;
    }
    if (position == digits.size())
        return false;
    std::uint64_t value = 0;
    for (; position < digits.size(); ++position) {
        const int digit = DigitValue(digits[position], base);
        if (digit < 0)
            return false;
        value = value * base + static_cast<unsigned>(digit);
        // Checked on every digit so that a long string cannot wrap around.
        if (value > kLargestResourceId)
            return false;
    }
    if (value == 0)
        return false;
    id = static_cast<std::uint32_t>(value);
    return true;
}

Options ParseOptions(const std::vector<std::string>& arguments, const char* screensaverWindow)
{
    Options options;
    bool targetGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string name = OptionName(argument);
        std::string value;
        bool valueAttached = false;
        const std::size_t equals = name.find('=');
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
            valueAttached = true;
        }

        if (name == "help" || name == "h") {
            options.action = Action::ShowHelp;
            return options;
        }
        if (name == "version") {
            options.action = Action::ShowVersion;
            return options;
        }
        const bool takesValue = name == "window-id" || name == "visual" || name == "display";
        if (takesValue && !valueAttached) {
            if (i + 1 == arguments.size())
                return Failure(argument + (name == "window-id" ? " needs a window id (such as 0x1a00004)"
                                           : name == "visual"  ? " needs a visual (default, GL or a visual id)"
                                                               : " needs a display name (such as :0)"));
            value = arguments[++i];
        }
        if (name == "visual") {
            if (!ParseVisual(value, options))
                return Failure("unknown visual '" + value + "': give default, GL or a visual id such as 0x21");
            continue;
        }
        if (name == "display") {
            if (value.empty())
                return Failure("the display name is empty");
            options.displayName = value;
            continue;
        }
        if (name == "window-id") {
            std::uint32_t id = 0;
            if (!ParseWindowId(value, id))
                return Failure("bad window id '" + value + "': give a window id such as 0x1a00004 or 27262980");
            options.target = Target::Foreign;
            options.windowId = id;
            targetGiven = true;
            continue;
        }
        const bool known =
            name == "root" || name == "fullscreen" || name == "window" || name == "fps" || name == "install";
        if (!known)
            return Failure("unknown option '" + argument + "'", true);
        if (valueAttached)
            return Failure("option " + argument + " takes no value");
        if (name == "fps") {
            options.showFrameRate = true;
            continue;
        }
        if (name == "install") {
            options.installColormap = true;
            continue;
        }
        options.target = name == "root" ? Target::Root : name == "fullscreen" ? Target::FullScreen : Target::Window;
        targetGiven = true;
    }

    // A daemon that starts a hack passes --root and names its own window in the
    // environment; a hack started with no target at all is treated the same way.
    if (screensaverWindow != nullptr && (!targetGiven || options.target == Target::Root)) {
        std::uint32_t id = 0;
        if (!ParseWindowId(screensaverWindow, id))
            return Failure(std::string("XSCREENSAVER_WINDOW is not a window id: '") + screensaverWindow + "'");
        options.target = Target::Foreign;
        options.windowId = id;
    }
    return options;
}

std::string UsageText(const std::string& programName)
{
    return "Usage: " + programName +
           " [--window | --fullscreen | --root | --window-id ID] [--visual VISUAL] [--install]\n"
           "       [--fps] [--display NAME]\n"
           "The view through a window pane in the rain.\n"
           "\n"
           "  --window          draw in a window of its own, 1024 x 768 (the default)\n"
           "  --fullscreen      draw over the whole screen\n"
           "  --root            draw on the root window (or on XSCREENSAVER_WINDOW when set)\n"
           "  --window-id ID    draw into the window ID made by another program (0x... or decimal)\n"
           "  --visual VISUAL   visual of its own window: GL (the best for OpenGL, the default),\n"
           "                    default (the screen's) or a visual id\n"
           "  --install         install its own window's colormap, not leaving that to the window manager\n"
           "  --fps             show the frame rate and the CPU load in the lower-left corner\n"
           "  --display NAME    the X display to use (default: $DISPLAY)\n"
           "  --help            show this text\n"
           "  --version         show the version\n"
           "\n"
           "In its own window it ends on a key press, a mouse click or a mouse move of more than\n"
           "four pixels, or when the window is closed. Drawing on another window, it ends on\n"
           "SIGTERM or SIGINT, or when that window goes away. Options may start with - or --.\n"
           "Exit status: 0 when it ends as told, 1 for a bad command line or when it cannot run.\n";
}

std::string VersionText()
{
    return std::string("The Velmora ") + VELMORA_VERSION;
}

} // namespace NS_X11Options
