// What a window shows, read back from the X server as a test would look at it.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora_test {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, row by row

    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::size_t DistinctColours() const;
    std::size_t DifferingPixels(const Picture& other) const;
};

// The window's contents now; an empty picture when the window is gone.
Picture Capture(Display* display, Window window);

} // namespace velmora_test
