// A night of the scene offscreen: the real scene through the real kernel,
// drawn offscreen through EGL, cycle after cycle as fast as it goes (an
// unpaced universe), with the process's resident memory after every simulated
// hour and its growth after the first. A measured run: it prints, it does not judge.
//
//   offscreen_night [--size WxH] [--cycles N] [--every N] [--device N]
//
// Defaults: 160 x 120 pixels (small, so that a night takes minutes, not hours:
// what could grow is per object and per frame, not per pixel), 960,000 cycles
// (8 hours at 30 ms), a line every 120,000 cycles (an hour), Mesa's software
// renderer (--device N: EGL device N, a graphics card).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "kernel/universe.h"
#include "render/egl_offscreen_draw_target.h"
#include "scene/drop.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "scene/scene_model.h"

namespace {

FILETIME CycleTime(std::uint64_t cycle)
{
    const std::uint64_t ticks = 130000000000000000ull + cycle * 300000ull;
    return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

long StatusKilobytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(key));
        }
    }
    return -1;
}

int Usage()
{
    std::fprintf(stderr, "usage: offscreen_night [--size WxH] [--cycles N] [--every N] [--device N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int width = 160, height = 120;
    std::uint64_t cycles = 960000, every = 120000;
    NS_EglContext::DeviceChoice device;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        if (argument == "--size") {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) {
                return Usage();
            }
        } else if (argument == "--cycles") {
            cycles = std::strtoull(argv[++i], nullptr, 10);
        } else if (argument == "--every") {
            every = std::strtoull(argv[++i], nullptr, 10);
        } else if (argument == "--device") {
            device.device = std::atoi(argv[++i]);
        } else {
            return Usage();
        }
    }
    if (every == 0 || cycles == 0) {
        return Usage();
    }
    try {
        NS_EglOffscreen::Offscreen target(width, height, device);
        target.Install();
        SeedRandom(20240101);
        NS_Universe::Universe universe(&sceneModel, NS_Universe::Unpaced{});
        universe.InitHandlers();
        auto* drops = static_cast<Drop*>(universe.GetHandler(L"Drop"));
        auto* rain = static_cast<Rain*>(universe.GetHandler(L"Rain"));
        const auto start = std::chrono::steady_clock::now();
        std::printf("offscreen night: %d x %d pixels, %llu cycles, a line every %llu\n", width, height,
                    static_cast<unsigned long long>(cycles), static_cast<unsigned long long>(every));
        std::printf("renderer: %s, OpenGL %s\n", target.Renderer().c_str(), target.Version().c_str());
        std::printf("%10s %7s %9s %14s %10s %6s %8s\n", "cycle", "hours", "wall s", "resident KiB", "frames", "drops",
                    "streaks");
        long firstResident = -1, lastResident = -1, peak = 0;
        for (std::uint64_t cycle = 0; cycle < cycles;) {
            universe.RunCycle(CycleTime(cycle));
            ++cycle;
            if (cycle % every == 0 || cycle == cycles) {
                const long resident = StatusKilobytes("VmRSS:");
                if (firstResident < 0) {
                    firstResident = resident;
                }
                lastResident = resident;
                peak = resident > peak ? resident : peak;
                std::printf("%10llu %7.2f %9.1f %14ld %10llu %6zu %8zu\n", static_cast<unsigned long long>(cycle),
                            static_cast<double>(cycle) * 0.03 / 3600.0,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), resident,
                            static_cast<unsigned long long>(target.FramesPresented()), drops->Objects().size(),
                            rain->Objects().size());
                std::fflush(stdout);
            }
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("growth after the first line: resident %+ld KiB (peak %ld KiB, high-water mark %ld KiB)\n",
                    lastResident - firstResident, peak, StatusKilobytes("VmHWM:"));
        std::printf("wall time %.1f s, %.1f us a cycle\n", wall, 1e6 * wall / static_cast<double>(cycles));
    } catch (NS_EglOffscreen::Exception* failure) {
        std::fprintf(stderr, "offscreen_night: %s\n", failure != nullptr ? failure->what.c_str() : "out of memory");
        delete failure;
        return 1;
    } catch (...) {
        std::fprintf(stderr, "offscreen_night: the scene failed\n");
        return 1;
    }
    return 0;
}
