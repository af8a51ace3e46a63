// A simulated day of the rain scene (2,880,000 cycles of 30 ms) as fast as it
// runs, with the scene's invariants watched after every cycle and the figures
// printed each simulated hour. Goal: the day in under two minutes.
#include <sys/resource.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "kernel/failure.h"
#include "kernel/universe.h"
#include "scene/headless_run.h"

namespace {

constexpr std::uint64_t kHour = 120000;

long PeakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t hours = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 24;
    const std::uint32_t seed = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 20240101;
    try {
        HeadlessRun run(seed);
        const auto start = std::chrono::steady_clock::now();
        std::printf("%5s %6s %7s %9s %9s %10s %9s %8s\n", "hour", "drops", "streaks", "max drops", "objects",
                    "merges", "peak KiB", "seconds");
        long firstHourPeak = 0;
        for (std::uint64_t hour = 1; hour <= hours; ++hour) {
            run.RunCycles(kHour);
            const SceneFigures f = run.Figures();
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const long peak = PeakResidentKilobytes();
            if (hour == 1) {
                firstHourPeak = peak;
            }
            std::printf("%5" PRIu64 " %6zu %7zu %9zu %9zu %10" PRIu64 " %9ld %8.1f\n", hour, f.drops, f.streaks,
                        run.Watch().maxDrops, run.Universe().LiveObjectCount(), f.merges, peak, seconds);
            std::fflush(stdout);
        }
        const SceneWatch& w = run.Watch();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%" PRIu64 " cycles in %.1f s (%.2f us a cycle); max drops %zu, max streaks %zu, max objects %zu\n",
                    hours * kHour, seconds, seconds * 1e6 / static_cast<double>(hours * kHour), w.maxDrops,
                    w.maxStreaks, w.maxLiveObjects);
        std::printf("cycles with events left %" PRIu64 ", with stray objects %" PRIu64
                    ", manager out of step %" PRIu64 "; peak memory %ld KiB after the first hour, %ld KiB at the end\n",
                    w.cyclesWithQueuedEvents, w.cyclesWithStrayObjects, w.cyclesWithManagerMismatch, firstHourPeak,
                    PeakResidentKilobytes());
        return w.Sound() ? 0 : 1;
    } catch (...) {
        std::fprintf(stderr, "scene_soak: the scene threw: %s\n", NS_Failure::Describe(std::current_exception()).c_str());
        return 3;
    }
}
