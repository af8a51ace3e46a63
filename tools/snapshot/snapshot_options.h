// The snapshot tool's command line: what to render and where to write it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kernel/cycle.h"

enum class PictureFormat {
    Png,  // one still picture
    WebP, // a still picture or, with more than one frame, a looping animation
};

// SnapshotOptions::device for Mesa's software renderer.
constexpr int kSoftwareRenderer = -1;

struct SnapshotOptions {
    int width = 1024;
    int height = 768;
    bool seeded = false; // without --seed the scene is seeded from the clock, like the saver
    std::uint32_t seed = 0;
    long cycles = 200; // cycles run up to the (first) picture, which is the frame of the last one
    long frames = 1;   // pictures written: more than one makes a recording
    long every = 1;    // in a recording, one frame kept every `every` cycles
    bool timeFixed = false;
    int hours = 0;
    int minutes = 0;
    std::string output = "velmora.png";
    PictureFormat format = PictureFormat::Png;
    // The EGL device that draws, by its number in the list of --help;
    // kSoftwareRenderer: Mesa's software renderer, the same picture everywhere.
    int device = kSoftwareRenderer;
    bool help = false;
};

// The largest width and height of a picture, in pixels.
constexpr int kLargestSide = 4096;

// One cycle of the scene, in milliseconds: a recording's frames last `every` of them.
constexpr long kCycleMilliseconds = NS_Universe::kCycleMilliseconds;

// Fills options from the arguments after the program's name. Returns an
// empty string when they make sense, else a message naming the bad one.
std::string ParseSnapshotOptions(const std::vector<std::string>& arguments, SnapshotOptions& options);

// `devices`: one line per EGL device of this machine, numbered as --device
// takes them.
std::string SnapshotUsage(const std::vector<std::string>& devices);
