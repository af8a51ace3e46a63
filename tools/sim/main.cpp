// velmora-sim: the rain scene without a renderer, for seeing what it does.
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "kernel/failure.h"
#include "scene/headless_run.h"
#include "tools/sim/sim_options.h"

namespace {

constexpr int kOutputLost = 4;

void PrintFigures(const SceneFigures& f)
{
    std::printf("%10" PRIu64 " %6zu %6zu %7zu %8" PRIu64 " %9" PRIu64 " %016" PRIx64 "\n", f.cycle, f.drops,
                f.trailDrops, f.streaks, f.merges, f.sheddings, f.checksum);
}

int Run(const SimOptions& options)
{
    HeadlessRun run(options.seed);
    std::printf("velmora-sim: seed %" PRIu32 ", %" PRIu64 " cycles\n", options.seed, options.cycles);
    if (options.every != 0) {
        std::printf("%10s %6s %6s %7s %8s %9s %16s\n", "cycle", "drops", "trails", "streaks", "merges", "sheddings",
                    "checksum");
    }
    // Counted up from 0 and compared before the step, so that the largest
    // count ends too.
    for (std::uint64_t done = 0; done < options.cycles;) {
        run.RunCycle();
        ++done;
        if (options.every != 0 && done % options.every == 0) {
            PrintFigures(run.Figures());
            if (std::ferror(stdout)) {
                return kOutputLost;
            }
        }
    }
    const SceneFigures f = run.Figures();
    const SceneWatch& w = run.Watch();
    std::printf("final: drops %zu, trail drops %zu, streaks %zu\n", f.drops, f.trailDrops, f.streaks);
    std::printf("totals: merges %" PRIu64 ", sheddings %" PRIu64 ", dried away %" PRIu64 "\n", f.merges, f.sheddings,
                f.driedAway);
    std::printf("maxima: drops %zu, streaks %zu, objects %zu\n", w.maxDrops, w.maxStreaks, w.maxLiveObjects);
    std::printf("checks: cycles with events left %" PRIu64 ", with stray objects %" PRIu64
                ", with the manager out of step %" PRIu64 "\n",
                w.cyclesWithQueuedEvents, w.cyclesWithStrayObjects, w.cyclesWithManagerMismatch);
    std::printf("checksum %016" PRIx64 "\n", f.checksum);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return kOutputLost;
    }
    if (!w.Sound()) {
        std::fprintf(stderr, "velmora-sim: the scene broke one of its rules (see checks)\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    SimOptions options;
    const std::string problem = ParseSimOptions(arguments, options);
    if (!problem.empty()) {
        std::fprintf(stderr, "velmora-sim: %s\n\n%s", problem.c_str(), SimUsage().c_str());
        return 2;
    }
    if (options.help) {
        if (std::fputs(SimUsage().c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "velmora-sim: could not write the help to standard output\n");
            return kOutputLost;
        }
        return 0;
    }
    try {
        const int status = Run(options);
        if (status == kOutputLost) {
            std::fprintf(stderr, "velmora-sim: could not write the figures to standard output\n");
        }
        return status;
    } catch (...) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmora-sim: the scene threw: %s\n",
                     NS_Failure::Describe(std::current_exception()).c_str());
        return 3;
    }
}
