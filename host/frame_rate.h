// The frame-rate text that --fps shows in the lower-left corner, as other
// XScreenSaver hacks do: frames per second and the program's CPU load over the
// last second, and the tiny font it is drawn in, so that no font of the X
// server or of the system is needed.
#pragma once

#include <cstdint>
#include <string>

namespace NS_FrameRate {

// "FPS: 33.2\nLoad: 12.5%". The load is the CPU time the whole program used
// (drawing threads included) as a share of one CPU, so it can exceed 100%.
std::string FrameRateText(double framesPerSecond, double loadPercent);

class FrameRateMeter {
public:
    // Once per frame shown, with a steady wall-clock time and the process's CPU
    // time, both in seconds.
    void Frame(double wallSeconds, double cpuSeconds);
    // Empty until a whole second has been measured; renewed once a second.
    const std::string& Text() const { return text; }

private:
    bool started = false;
    double startWall = 0;
    double startCpu = 0;
    int frames = 0;
    std::string text;
};

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

// The rows of `c`'s glyph, top row first, bit 4 the leftmost column; null for a
// character the font does not have. The font has what FrameRateText writes.
const std::uint8_t* Glyph(char c);

} // namespace NS_FrameRate
