#include "tools/sim/sim_options.h"

#include <limits>

const char* const kSimUsage = "Usage: velmora-sim [--seed N] [--cycles N] [--every N]\n"
                              "\n"
                              "Runs the rain scene of The Velmora without a window or renderer, as fast as\n"
                              "it can (a cycle stands for 30 ms of the saver), and prints what it did.\n"
                              "\n"
                              "  --seed N     seed of the random generator, 0 to 4294967295 (default 1)\n"
                              "  --cycles N   number of cycles to run (default 2000; 120000 is an hour)\n"
                              "  --every N    also print the figures after every N-th cycle\n"
                              "  --help       show this text\n"
                              "\n"
                              "Figures: drops on the pane, trail drops among them, rain streaks, merges and\n"
                              "sheddings so far, and a checksum of every drop's and streak's value. The same\n"
                              "seed gives the same output on every run and every build.\n"
                              "Exit status: 0 when the scene stayed sound, 1 when a check failed (events\n"
                              "left queued, stray objects, the drops manager out of step with the drops,\n"
                              "more than 200 streaks), 2 for a bad command line, 3 when the scene threw,\n"
                              "4 when the output could not be written.\n";

namespace {

// Decimal digits only: no sign, no spaces, no base prefixes, nothing after.
bool ParseUnsigned(const std::string& text, std::uint64_t limit, std::uint64_t& result)
{
    if (text.empty() || text.size() > 20) {
        return false;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    result = value;
    return true;
}

} // namespace

std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        std::uint64_t limit = 0;
        if (argument == "--seed") {
            limit = std::numeric_limits<std::uint32_t>::max();
        } else if (argument == "--cycles" || argument == "--every") {
            limit = std::numeric_limits<std::uint64_t>::max();
        } else {
            return "unknown option '" + argument + "'";
        }
        if (i + 1 >= arguments.size()) {
            return argument + " needs a number";
        }
        std::uint64_t value = 0;
        if (!ParseUnsigned(arguments[i + 1], limit, value)) {
            return argument + ": '" + arguments[i + 1] + "' is not a number from 0 to " + std::to_string(limit);
        }
        ++i;
        if (argument == "--seed") {
            options.seed = static_cast<std::uint32_t>(value);
        } else if (argument == "--cycles") {
            options.cycles = value;
        } else {
            options.every = value;
        }
    }
    return std::string();
}
