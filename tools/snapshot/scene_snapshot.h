// The snapshot tool's work: runs the real scene offscreen, unpaced, and writes
// the picture or the recording that the options ask for.
#pragma once

#include <functional>
#include <string>

#include "render/local_time.h"
#include "tools/snapshot/snapshot_options.h"

// Told after each frame is written into the file's encoder.
using SnapshotProgress = std::function<void(long framesDone, long framesInAll)>;

// Starts the scene as a fresh process would, so that the same options (seed
// and time included) give the same file. The clock shows the --time (or the
// local time when the run starts) at the first picture and advances 30 ms a
// cycle from there. Returns an empty string on success, else one line saying
// what went wrong; a path that cannot be written is found before any drawing,
// and nothing is left at the path when drawing fails. `renderer`, when given,
// receives the GL_RENDERER of what drew.
std::string WriteSnapshot(const SnapshotOptions& options, const SnapshotProgress& progress = {},
                          std::string* renderer = nullptr);

// What the clock shows `cycles` cycles of 30 ms after it showed `first`, in
// whole seconds as the saver reads the time, past midnight into the next day.
NS_LocalTime::Reading ClockAfter(const NS_LocalTime::Reading& first, long cycles);
