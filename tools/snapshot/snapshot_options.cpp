#include "tools/snapshot/snapshot_options.h"

#include <cctype>
#include <cstdlib>

namespace {

constexpr int kLargestSide = 4096;
constexpr long kMostCycles = 10000000;

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

} // namespace

std::string ParseSnapshotOptions(const std::vector<std::string>& arguments, SnapshotOptions& options)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
            continue;
        }
        const bool takesValue = argument == "--size" || argument == "--seed" || argument == "--cycles" ||
                                argument == "--time" || argument == "--output" || argument == "-o";
        if (!takesValue) {
            if (!argument.empty() && argument[0] == '-') {
                return "unknown option " + argument;
            }
            options.output = argument;
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
        }
    }
    return {};
}

std::string SnapshotUsage()
{
    return "usage: velmora-snapshot [--size WxH] [--seed N] [--cycles N] [--time HH:MM] [[-o|--output] FILE.png]\n"
           "Renders the rain scene offscreen (OSMesa) and writes the frame of the last cycle as a PNG.\n"
           "  --size WxH     picture size in pixels (default 1024x768; the scene is 4:3 and stretches)\n"
           "  --seed N       seed of the scene's random source (default: the clock, like the saver)\n"
           "  --cycles N     simulation cycles of 30 ms to run, the last one drawn (default 200)\n"
           "  --time HH:MM   the time the clock shows (default: the local time)\n"
           "  FILE.png       where to write the picture (default velmora.png)\n";
}
