// The snapshot tool's command line: what to render and where to write it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SnapshotOptions {
    int width = 1024;
    int height = 768;
    bool seeded = false; // without --seed the scene is seeded from the clock, like the saver
    std::uint32_t seed = 0;
    long cycles = 200; // the picture is the frame of the last one
    bool timeFixed = false;
    int hours = 0;
    int minutes = 0;
    std::string output = "velmora.png";
    bool help = false;
};

// Fills options from the arguments after the program's name. Returns an
// empty string when they make sense, else a message naming the bad one.
std::string ParseSnapshotOptions(const std::vector<std::string>& arguments, SnapshotOptions& options);

std::string SnapshotUsage();
