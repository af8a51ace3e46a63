#include "tools/snapshot/snapshot_options.h"

#include <cctype>

#include "host/command_line.h"

namespace {

using NS_CommandLine::Option;

constexpr long kMostCycles = 10000000;
constexpr long kMostFrames = 100000;
constexpr long kMostEvery = 1000;
constexpr long kLargestSeed = 999999999;
constexpr long kLastDevice = 999;

// What the table's entries fill: the options, and whether the output was named,
// which decides the default name of a recording.
struct Parsing {
    SnapshotOptions& options;
    bool outputGiven = false;
};

// A decimal number of digits only (no sign, no spaces) within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long& value)
{
    std::uint64_t number = 0;
    if (!NS_CommandLine::ParseUnsigned(text, static_cast<std::uint64_t>(low), static_cast<std::uint64_t>(high),
                                       number)) {
        return false;
    }
    value = static_cast<long>(number);
    return true;
}

bool SplitAt(const std::string& text, char separator, std::string& left, std::string& right)
{
    const std::size_t at = text.find(separator);
    if (at == std::string::npos || text.find(separator, at + 1) != std::string::npos) {
        return false;
    }
    left = text.substr(0, at);
    right = text.substr(at + 1);
    return true;
}

// The picture format that the path's extension names, case aside.
bool FormatOf(const std::string& path, PictureFormat& format)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return false;
    }
    std::string extension;
    for (char c : path.substr(dot + 1)) {
        extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == "png") {
        format = PictureFormat::Png;
        return true;
    }
    if (extension == "webp") {
        format = PictureFormat::WebP;
        return true;
    }
    return false;
}

std::string SetSize(Parsing& parsing, const std::string& value)
{
    std::string w;
    std::string h;
    long width = 0;
    long height = 0;
    if (!SplitAt(value, 'x', w, h) || !ParseNumber(w, 1, kLargestSide, width) ||
        !ParseNumber(h, 1, kLargestSide, height)) {
        return "bad size '" + value + "': give WIDTHxHEIGHT, each 1 to " + std::to_string(kLargestSide);
    }
    parsing.options.width = static_cast<int>(width);
    parsing.options.height = static_cast<int>(height);
    return {};
}

std::string SetSeed(Parsing& parsing, const std::string& value)
{
    long seed = 0;
    if (!ParseNumber(value, 0, kLargestSeed, seed)) {
        return "bad seed '" + value + "': give a number from 0 to " + std::to_string(kLargestSeed);
    }
    parsing.options.seeded = true;
    parsing.options.seed = static_cast<std::uint32_t>(seed);
    return {};
}

// A count of 1 to `most`, or what is wrong with it, for a count called `what`.
std::string ReadCount(const std::string& value, long most, const char* what, long& count)
{
    if (!ParseNumber(value, 1, most, count)) {
        return std::string("bad ") + what + " '" + value + "': give a number from 1 to " + std::to_string(most);
    }
    return {};
}

std::string SetTime(Parsing& parsing, const std::string& value)
{
    std::string h;
    std::string m;
    long hours = 0;
    long minutes = 0;
    if (!SplitAt(value, ':', h, m) || h.size() > 2 || m.size() != 2 || !ParseNumber(h, 0, 23, hours) ||
        !ParseNumber(m, 0, 59, minutes)) {
        return "bad time '" + value + "': give HH:MM, from 00:00 to 23:59";
    }
    parsing.options.timeFixed = true;
    parsing.options.hours = static_cast<int>(hours);
    parsing.options.minutes = static_cast<int>(minutes);
    return {};
}

std::string SetDevice(Parsing& parsing, const std::string& value)
{
    long device = 0;
    if (!ParseNumber(value, 0, kLastDevice, device)) {
        return "bad device '" + value + "': give its number in the list of --help, 0 to " + std::to_string(kLastDevice);
    }
    parsing.options.device = static_cast<int>(device);
    return {};
}

std::string SetOutput(Parsing& parsing, const std::string& value)
{
    if (value.empty()) {
        return "the output path is empty";
    }
    parsing.options.output = value;
    parsing.outputGiven = true;
    return {};
}

const Option<Parsing> kOptions[] = {
    {"size", nullptr, "WxH", "a value", "picture size in pixels (default 1024x768; the scene is 4:3 and stretches)",
     SetSize},
    {"seed", nullptr, "N", "a value", "seed of the scene's random source (default: the clock, like the saver)",
     SetSeed},
    {"cycles", nullptr, "N", "a value", "simulation cycles of 30 ms to run up to the first picture (default 200)",
     [](Parsing& p, const std::string& value) {
         return ReadCount(value, kMostCycles, "cycle count", p.options.cycles);
     }},
    {"time", nullptr, "HH:MM", "a value",
     "the time the clock shows at the first picture (default: the local time);\n"
     "in a recording it advances with the cycles",
     SetTime},
    {"frames", nullptr, "N", "a value", "record N frames (1 to 100000; more than one needs a .webp file)",
     [](Parsing& p, const std::string& value) {
         return ReadCount(value, kMostFrames, "frame count", p.options.frames);
     }},
    {"every", nullptr, "K", "a value", "keep one cycle in K: each frame lasts K x 30 ms (default 1)",
     [](Parsing& p, const std::string& value) { return ReadCount(value, kMostEvery, "cycle step", p.options.every); }},
    {"device", nullptr, "N", "a value",
     "draw on EGL device N of the list below, a graphics card (default:\n"
     "Mesa's software renderer, which draws the same picture on every machine)",
     SetDevice},
    {"output", "o", "FILE", "a value",
     "where to write: .png or .webp (default velmora.png, or velmora.webp\n"
     "for a recording); -o FILE, or FILE alone, does the same",
     SetOutput},
    {"help", "h", nullptr, nullptr, "show this text",
     [](Parsing& p, const std::string&) {
         p.options.help = true;
         return std::string();
     }},
};

// What the options say together: the format from the name, and one picture to a PNG.
std::string Checked(Parsing& parsing)
{
    SnapshotOptions& options = parsing.options;
    if (!parsing.outputGiven && options.frames > 1) {
        options.output = "velmora.webp";
    }
    if (!FormatOf(options.output, options.format)) {
        return "cannot tell a format from the name " + options.output + ": end it in .png or .webp";
    }
    if (options.format == PictureFormat::Png && options.frames > 1) {
        return "a PNG holds one picture: write a recording of " + std::to_string(options.frames) +
               " frames to a .webp file";
    }
    return {};
}

} // namespace

std::string ParseSnapshotOptions(const std::vector<std::string>& arguments, SnapshotOptions& options)
{
    using NS_CommandLine::WalkError;
    Parsing parsing{options};
    // A bare name is the output, unchecked until its format is read.
    const WalkError error = NS_CommandLine::Walk(
        kOptions, arguments, parsing, NS_CommandLine::Spelling::Exact,
        [&parsing](const std::string& name) {
            parsing.options.output = name;
            parsing.outputGiven = true;
            return true;
        },
        [] { return false; });
    switch (error.kind) {
    case WalkError::Kind::None:
        break;
    case WalkError::Kind::Unknown:
    case WalkError::Kind::ValueNotTaken:
        return "unknown option " + error.argument;
    case WalkError::Kind::NoValue:
        return error.argument + " needs " + error.problem;
    case WalkError::Kind::BadValue:
        return error.problem;
    }
    return Checked(parsing);
}

std::string SnapshotUsage(const std::vector<std::string>& devices)
{
    std::string listed;
    for (const std::string& device : devices) {
        listed += "  " + device + "\n";
    }
    if (listed.empty()) {
        listed = "  none: no EGL driver with EGL_EXT_platform_device is installed\n";
    }
    return "usage: velmora-snapshot [--size WxH] [--seed N] [--cycles N] [--time HH:MM]\n"
           "                        [--frames N [--every K]] [--device N] [[-o|--output] FILE.png|FILE.webp]\n"
           "Renders the rain scene offscreen (OpenGL through EGL, no display needed) and writes\n"
           "the frame of the last cycle as a picture, or a recording of the cycles that follow as a\n"
           "looping animated WebP.\n" +
           NS_CommandLine::UsageLines(kOptions, 17) + "The EGL devices of this machine, for --device:\n" + listed +
           "A recording shows its progress when standard error is a terminal. Once the file is\n"
           "written, one line on standard error names the renderer that drew it (GL_RENDERER).\n"
           "Exit status: 0 written; 1 the file could not be drawn or written (no EGL driver, no\n"
           "such device, no desktop OpenGL with the compatibility profile, no framebuffer of that\n"
           "size); 2 a bad command line.\n";
}
