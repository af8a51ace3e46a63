// The figures of a measured run, printed the same way for both hosts: a series
// sampled once a minute with its growth after the first sample, and the pacing
// of buffer swaps against the 30 ms grid of the saver's timer.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace velmora_bench {

constexpr double kCycleMs = 30.0;

struct Sample {
    double minute = 0;
    long residentKiB = 0;
    long threads = 0;
    long handles = 0; // file descriptors on Linux, object handles on Windows
};

// One line per sample, then what each figure did after the first minute's sample:
// what a saver holds once it has settled must not creep up over the night.
inline void PrintSeries(const std::vector<Sample>& series, const char* handleName)
{
    std::printf("%8s %14s %8s %8s\n", "minute", "resident KiB", "threads", handleName);
    for (const Sample& s : series)
        std::printf("%8.1f %14ld %8ld %8ld\n", s.minute, s.residentKiB, s.threads, s.handles);
    const auto settled = std::find_if(series.begin(), series.end(), [](const Sample& s) { return s.minute >= 1.0; });
    if (settled == series.end() || settled == series.end() - 1) {
        std::printf("growth after the first minute: too short a run to tell\n");
        return;
    }
    const Sample& first = *settled;
    const Sample& last = series.back();
    long peak = 0;
    for (auto s = settled; s != series.end(); ++s)
        peak = std::max(peak, s->residentKiB);
    std::printf("growth after the first minute (minute %.1f to %.1f): resident %+ld KiB (peak %ld KiB), "
                "threads %+ld, %s %+ld\n",
                first.minute, last.minute, last.residentKiB - first.residentKiB, peak, last.threads - first.threads,
                handleName, last.handles - first.handles);
}

inline double Percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const std::size_t rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

// Swap times in milliseconds, in order. An interval that spans n grid steps
// (rounded) left n - 1 cycles without a frame: those are the lost cycles.
inline void PrintPacing(const std::vector<double>& stampsMs)
{
    if (stampsMs.size() < 2) {
        std::printf("pacing: fewer than two swaps, nothing to tell\n");
        return;
    }
    std::vector<double> intervals;
    long lost = 0;
    for (std::size_t i = 1; i < stampsMs.size(); ++i) {
        const double interval = stampsMs[i] - stampsMs[i - 1];
        intervals.push_back(interval);
        lost += std::max(0L, std::lround(interval / kCycleMs) - 1);
    }
    const double span = stampsMs.back() - stampsMs.front();
    std::sort(intervals.begin(), intervals.end());
    std::printf("pacing: %zu swaps over %.1f s (%.2f per second, the grid gives %.2f)\n", stampsMs.size(),
                span / 1000.0, 1000.0 * static_cast<double>(intervals.size()) / span, 1000.0 / kCycleMs);
    std::printf("pacing: interval p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, longest %.2f ms, shortest %.2f ms\n",
                Percentile(intervals, 0.50), Percentile(intervals, 0.90), Percentile(intervals, 0.99), intervals.back(),
                intervals.front());
    std::printf("pacing: %ld cycles lost against the 30 ms grid (%ld grid steps, %zu frames)\n", lost,
                std::lround(span / kCycleMs), intervals.size());
}

} // namespace velmora_bench
