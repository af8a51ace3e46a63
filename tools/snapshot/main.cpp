// velmora-snapshot: the real scene, rendered offscreen into a PNG.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "kernel/failure.h"
#include "kernel/universe.h"
#include "render/local_time.h"
#include "render/osmesa_draw_target.h"
#include "render/png_image.h"
#include "scene/random.h"
#include "scene/scene_model.h"
#include "tools/snapshot/snapshot_options.h"

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "velmora-snapshot: %s\n", message.c_str());
    return 1;
}

// The kernel's clock runs in 100 ns units; one cycle is 30 ms.
FILETIME CycleTime(long cycle)
{
    const std::uint64_t ticks = 130000000000000000ull + static_cast<std::uint64_t>(cycle) * 300000ull;
    return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

} // namespace

int main(int argc, char** argv)
{
    SnapshotOptions options;
    const std::string problem = ParseSnapshotOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!problem.empty()) {
        std::fprintf(stderr, "velmora-snapshot: %s\n%s", problem.c_str(), SnapshotUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SnapshotUsage().c_str(), stdout);
        return 0;
    }
    // Before any rendering, so that a long run does not end in a path it cannot write.
    if (std::FILE* probe = std::fopen(options.output.c_str(), "ab")) {
        std::fclose(probe);
    } else {
        return Fail("cannot write " + options.output);
    }

    try {
        NS_OSMesaTarget::Offscreen target(options.width, options.height);
        target.Install();
        SeedRandom(options.seeded ? options.seed : static_cast<std::uint32_t>(std::time(nullptr)));
        if (options.timeFixed) {
            NS_LocalTime::FixTime({options.hours, options.minutes, 0});
        }
        {
            // Unpaced: the cycles run here, back to back, as fast as they draw.
            NS_Universe::Universe universe(&sceneModel, NS_Universe::Unpaced{});
            universe.InitHandlers();
            for (long cycle = 0; cycle < options.cycles; ++cycle) {
                universe.RunCycle(CycleTime(cycle));
            }
        }
        const std::string written = WritePng(options.output, target.Width(), target.Height(), target.TopDownPixels());
        if (!written.empty()) {
            return Fail(written);
        }
    } catch (NS_OSMesaTarget::Exception* failure) {
        const std::string why = failure != nullptr ? failure->what : "OSMesa failed (out of memory)";
        delete failure;
        return Fail(why);
    } catch (...) {
        return Fail("the scene failed: " + NS_Failure::Describe(std::current_exception()));
    }
    std::printf("%s: %dx%d, %ld cycles\n", options.output.c_str(), options.width, options.height, options.cycles);
    return 0;
}
