// velmora-snapshot: the real scene, rendered offscreen into a picture or a recording.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "render/egl_context.h"
#include "tools/snapshot/scene_snapshot.h"
#include "tools/snapshot/snapshot_options.h"

namespace {

// One line, redrawn in place on a terminal: frames done, in all, time left.
class TerminalProgress {
public:
    void operator()(long done, long all)
    {
        const auto now = std::chrono::steady_clock::now();
        if (done == 1) {
            // Timed from the first frame: the cycles before it draw nothing that is kept.
            first = now;
        }
        if (done < all && now - shown < std::chrono::milliseconds(200)) {
            return;
        }
        shown = now;
        const double perFrame = done > 1 ? std::chrono::duration<double>(now - first).count() / (done - 1) : 0.0;
        const long left = static_cast<long>(perFrame * static_cast<double>(all - done) + 0.5);
        if (done > 1) {
            std::fprintf(stderr, "\rframe %ld/%ld, %ld:%02ld left ", done, all, left / 60, left % 60);
        } else {
            std::fprintf(stderr, "\rframe %ld/%ld ", done, all);
        }
        if (done == all) {
            std::fputc('\n', stderr);
        }
        std::fflush(stderr);
    }

private:
    std::chrono::steady_clock::time_point first{};
    std::chrono::steady_clock::time_point shown{};
};

} // namespace

int main(int argc, char** argv)
{
    SnapshotOptions options;
    const std::string problem = ParseSnapshotOptions(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!problem.empty()) {
        std::fprintf(stderr, "velmora-snapshot: %s (--help lists the options)\n", problem.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SnapshotUsage(NS_EglContext::DescribeDevices()).c_str(), stdout);
        return 0;
    }
    SnapshotProgress progress;
    if (options.frames > 1 && isatty(STDERR_FILENO)) {
        progress = TerminalProgress();
    }
    std::string renderer;
    const std::string failed = WriteSnapshot(options, progress, &renderer);
    if (!failed.empty()) {
        std::fprintf(stderr, "velmora-snapshot: %s\n", failed.c_str());
        return 1;
    }
    std::fprintf(stderr, "velmora-snapshot: drawn by %s\n", renderer.c_str());
    if (options.frames > 1) {
        std::printf("%s: %dx%d, %ld frames of %ld ms (%.2f s), looping\n", options.output.c_str(), options.width,
                    options.height, options.frames, options.every * kCycleMilliseconds,
                    static_cast<double>(options.frames * options.every * kCycleMilliseconds) / 1000.0);
    } else {
        std::printf("%s: %dx%d, %ld cycles\n", options.output.c_str(), options.width, options.height, options.cycles);
    }
    return 0;
}
