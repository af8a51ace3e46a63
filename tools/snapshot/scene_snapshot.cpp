#include "tools/snapshot/scene_snapshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "kernel/cycle.h"
#include "kernel/failure.h"
#include "kernel/universe.h"
#include "render/egl_offscreen_draw_target.h"
#include "render/local_time.h"
#include "render/png_image.h"
#include "scene/drops_manager.h"
#include "scene/scene_model.h"
#include "tools/snapshot/webp_recording.h"

static_assert(kSoftwareRenderer == NS_EglContext::DeviceChoice::kSoftware, "the option and the context agree");

namespace {

constexpr long kSecondsADay = 24 * 60 * 60;

FILETIME CycleTime(long cycle)
{
    const std::uint64_t ticks =
        130000000000000000ull + static_cast<std::uint64_t>(cycle) * NS_Universe::kCycleTimeUnits;
    return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

struct RealTimeAgain {
    ~RealTimeAgain() { NS_LocalTime::ReleaseFixedTime(); }
};

// Opens the path as the writer will, so that a long run does not end in a
// path it cannot write; leaves no empty file behind.
std::string CheckWritable(const std::string& path)
{
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
    std::FILE* probe = std::fopen(path.c_str(), "ab");
    if (probe == nullptr) {
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    std::fclose(probe);
    if (!existed) {
        std::filesystem::remove(path, ignored);
    }
    return {};
}

std::string Render(const SnapshotOptions& options, const SnapshotProgress& progress, std::string* renderer)
{
    NS_EglOffscreen::Offscreen target(options.width, options.height, NS_EglContext::DeviceChoice{options.device});
    if (renderer != nullptr) {
        *renderer = target.Renderer();
    }
    target.Install();
    PrepareFreshScene(options.seeded ? options.seed : static_cast<std::uint32_t>(std::time(nullptr)));

    const NS_LocalTime::Reading start =
        options.timeFixed ? NS_LocalTime::Reading{options.hours, options.minutes, 0} : NS_LocalTime::SystemLocalTime();
    RealTimeAgain releaseTime;

    std::unique_ptr<WebPRecording> recording;
    if (options.format == PictureFormat::WebP) {
        recording = std::make_unique<WebPRecording>(options.width, options.height,
                                                    static_cast<int>(options.every * kCycleMilliseconds));
    }
    std::vector<std::uint8_t> still;
    const long lastCycle = options.cycles + (options.frames - 1) * options.every;
    long framesDone = 0;
    {
        // Unpaced: the cycles run here, back to back, as fast as they draw.
        NS_Universe::Universe universe(&sceneModel, NS_Universe::Unpaced{});
        universe.InitHandlers();
        for (long cycle = 1; cycle <= lastCycle; ++cycle) {
            const long sinceFirst = cycle - options.cycles;
            NS_LocalTime::FixTime(ClockAfter(start, sinceFirst > 0 ? sinceFirst : 0));
            universe.RunCycle(CycleTime(cycle));
            if (sinceFirst < 0 || sinceFirst % options.every != 0) {
                continue;
            }
            if (recording) {
                const std::string failed = recording->Add(target.TopDownPixels());
                if (!failed.empty()) {
                    return failed;
                }
            } else {
                still = target.TopDownPixels();
            }
            ++framesDone;
            if (progress) {
                progress(framesDone, options.frames);
            }
        }
    }
    if (recording) {
        return recording->Write(options.output);
    }
    return WritePng(options.output, target.Width(), target.Height(), still);
}

} // namespace

NS_LocalTime::Reading ClockAfter(const NS_LocalTime::Reading& first, long cycles)
{
    const long start = (first.hours * 60L + first.minutes) * 60L + first.seconds;
    const long second = (start + cycles * kCycleMilliseconds / 1000) % kSecondsADay;
    return {static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60), static_cast<int>(second % 60)};
}

std::string WriteSnapshot(const SnapshotOptions& options, const SnapshotProgress& progress, std::string* renderer)
{
    const std::string unwritable = CheckWritable(options.output);
    if (!unwritable.empty()) {
        return unwritable;
    }
    try {
        return Render(options, progress, renderer);
    } catch (NS_EglOffscreen::Exception* failure) {
        const std::string why = failure != nullptr ? failure->what : "no offscreen OpenGL context (out of memory)";
        delete failure;
        return why;
    } catch (...) {
        return "the scene failed: " + NS_Failure::Describe(std::current_exception());
    }
}
