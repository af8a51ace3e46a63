// libFuzzer target: velmora-sim's command line through ParseSimOptions. Beyond
// memory safety it checks that what it accepts reads back the same when written
// out again, so that no argument is half taken.
#include <cstdlib>
#include <string>

#include "tests/support/fuzz_arguments.h"
#include "tools/sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SimOptions options;
    const std::string error = ParseSimOptions(velmora_fuzz::Arguments(data, size), options);
    if (!error.empty() || options.help) {
        return 0;
    }
    SimOptions again;
    again.seed = 0;
    again.cycles = 0;
    const std::string reread =
        ParseSimOptions({"--seed", std::to_string(options.seed), "--cycles", std::to_string(options.cycles), "--every",
                         std::to_string(options.every)},
                        again);
    if (!reread.empty() || again.seed != options.seed || again.cycles != options.cycles ||
        again.every != options.every) {
        std::abort();
    }
    return 0;
}
