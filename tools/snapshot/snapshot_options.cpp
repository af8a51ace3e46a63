#include "tools/snapshot/snapshot_options.h"

#include <cctype>
#include <cstdlib>

namespace {

constexpr int kLargestSide = 4096;
constexpr long kMostCycles = 10000000;
constexpr long kMostFrames = 100000;
constexpr long kMostEvery = 1000;

// A decimal number of digits only (no sign, no spaces) within [low, high].
bool ParseNumber(const std::string& text, long low, long high, long& value)
{
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
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

} // namespace

std::string ParseSnapshotOptions(const std::vector<std::string>& arguments, SnapshotOptions& options)
{
    bool outputGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        const bool takesValue = argument == "--size" || argument == "--seed" || argument == "--cycles" ||
                                argument == "--time" || argument == "--frames" || argument == "--every" ||
                                argument == "--output" || argument == "-o";
        if (!takesValue) {
            if (!argument.empty() && argument[0] == '-') {
                return "unknown option " + argument;
            }
            options.output = argument;
            outputGiven = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            return argument + " needs a value";
        }
        const std::string& value = arguments[++i];
        if (argument == "--size") {
            std::string w;
            std::string h;
            long width = 0;
            long height = 0;
            if (!SplitAt(value, 'x', w, h) || !ParseNumber(w, 1, kLargestSide, width) ||
                !ParseNumber(h, 1, kLargestSide, height)) {
                return "bad size '" + value + "': give WIDTHxHEIGHT, each 1 to " + std::to_string(kLargestSide);
            }
            options.width = static_cast<int>(width);
            options.height = static_cast<int>(height);
        } else if (argument == "--seed") {
            long seed = 0;
            if (!ParseNumber(value, 0, 999999999, seed)) {
                return "bad seed '" + value + "': give a number from 0 to 999999999";
            }
            options.seeded = true;
            options.seed = static_cast<std::uint32_t>(seed);
        } else if (argument == "--cycles") {
            if (!ParseNumber(value, 1, kMostCycles, options.cycles)) {
                return "bad cycle count '" + value + "': give a number from 1 to " + std::to_string(kMostCycles);
            }
        } else if (argument == "--frames") {
            if (!ParseNumber(value, 1, kMostFrames, options.frames)) {
                return "bad frame count '" + value + "': give a number from 1 to " + std::to_string(kMostFrames);
            }
        } else if (argument == "--every") {
            if (!ParseNumber(value, 1, kMostEvery, options.every)) {
                return "bad cycle step '" + value + "': give a number from 1 to " + std::to_string(kMostEvery);
            }
        } else if (argument == "--time") {
            std::string h;
            std::string m;
            long hours = 0;
            long minutes = 0;
            if (!SplitAt(value, ':', h, m) || h.size() > 2 || m.size() != 2 || !ParseNumber(h, 0, 23, hours) ||
                !ParseNumber(m, 0, 59, minutes)) {
                return "bad time '" + value + "': give HH:MM, from 00:00 to 23:59";
            }
            options.timeFixed = true;
            options.hours = static_cast<int>(hours);
            options.minutes = static_cast<int>(minutes);
        } else {
            if (value.empty()) {
                return "the output path is empty";
            }
            options.output = value;
            outputGiven = true;
        }
    }
    if (!outputGiven && options.frames > 1) {
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

std::string SnapshotUsage()
{
    return "usage: velmora-snapshot [--size WxH] [--seed N] [--cycles N] [--time HH:MM]\n"
           "                        [--frames N [--every K]] [[-o|--output] FILE.png|FILE.webp]\n"
           "Renders the rain scene offscreen (OSMesa) and writes the frame of the last cycle as a\n"
           "picture, or a recording of the cycles that follow as a looping animated WebP.\n"
           "  --size WxH     picture size in pixels (default 1024x768; the scene is 4:3 and stretches)\n"
           "  --seed N       seed of the scene's random source (default: the clock, like the saver)\n"
           "  --cycles N     simulation cycles of 30 ms to run up to the first picture (default 200)\n"
           "  --time HH:MM   the time the clock shows at the first picture (default: the local time);\n"
           "                 in a recording it advances with the cycles\n"
           "  --frames N     record N frames (1 to 100000; more than one needs a .webp file)\n"
           "  --every K      keep one cycle in K: each frame lasts K x 30 ms (default 1)\n"
           "  FILE           where to write: .png or .webp (default velmora.png, or velmora.webp\n"
           "                 for a recording)\n"
           "A recording shows its progress when standard error is a terminal.\n"
           "Exit status: 0 written; 1 the file could not be drawn or written; 2 a bad command line.\n";
}
