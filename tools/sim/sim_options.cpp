#include "tools/sim/sim_options.h"

#include <limits>

#include "host/command_line.h"

namespace {

using NS_CommandLine::Option;

constexpr std::uint64_t kLargestSeed = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kLargestCount = std::numeric_limits<std::uint64_t>::max();

std::string ReadCount(const std::string& value, std::uint64_t limit, std::uint64_t& count)
{
    if (!NS_CommandLine::ParseUnsigned(value, 0, limit, count)) {
        return "'" + value + "' is not a number from 0 to " + std::to_string(limit);
    }
    return std::string();
}

const Option<SimOptions> kOptions[] = {
    {"seed", nullptr, "N", "a number", "seed of the random generator, 0 to 4294967295 (default 1)",
     [](SimOptions& o, const std::string& value) {
         std::uint64_t seed = o.seed;
         const std::string problem = ReadCount(value, kLargestSeed, seed);
         o.seed = static_cast<std::uint32_t>(seed);
         return problem;
     }},
    {"cycles", nullptr, "N", "a number", "number of cycles to run (default 2000; 120000 is an hour)",
     [](SimOptions& o, const std::string& value) { return ReadCount(value, kLargestCount, o.cycles); }},
    {"every", nullptr, "N", "a number", "also print the figures after every N-th cycle",
     [](SimOptions& o, const std::string& value) { return ReadCount(value, kLargestCount, o.every); }},
    {"help", "h", nullptr, nullptr, "show this text",
     [](SimOptions& o, const std::string&) {
         o.help = true;
         return std::string();
     }},
};

} // namespace

std::string SimUsage()
{
    return "Usage: velmora-sim [--seed N] [--cycles N] [--every N]\n"
           "\n"
           "Runs the rain scene of The Velmora without a window or renderer, as fast as\n"
           "it can (a cycle stands for 30 ms of the saver), and prints what it did.\n"
           "\n" +
           NS_CommandLine::UsageLines(kOptions, 15) +
           "\n"
           "Figures: drops on the pane, trail drops among them, rain streaks, merges and\n"
           "sheddings so far, and a checksum of every drop's and streak's value. The same\n"
           "seed gives the same output on every run and every build.\n"
           "Exit status: 0 when the scene stayed sound, 1 when a check failed (events\n"
           "left queued, stray objects, the drops manager out of step with the drops,\n"
           "more than 200 streaks), 2 for a bad command line, 3 when the scene threw,\n"
           "4 when the output could not be written.\n";
}

std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options)
{
    using NS_CommandLine::WalkError;
    const WalkError error = NS_CommandLine::Walk(
        kOptions, arguments, options, NS_CommandLine::Spelling::Exact, [](const std::string&) { return false; },
        [] { return false; });
    switch (error.kind) {
    case WalkError::Kind::None:
        break;
    case WalkError::Kind::Unknown:
    case WalkError::Kind::ValueNotTaken:
        return "unknown option '" + error.argument + "'";
    case WalkError::Kind::NoValue:
        return error.argument + " needs " + error.problem;
    case WalkError::Kind::BadValue:
        return error.argument + ": " + error.problem;
    }
    return std::string();
}
