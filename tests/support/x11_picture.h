// What a window shows, read back from the X server as a test would look at it.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora_test {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, row by row

    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::size_t DistinctColours() const;
    // The distinct colours of a rectangle of it, clipped to the picture.
    std::size_t DistinctColours(int x, int y, int w, int h) const;
    std::size_t DifferingPixels(const Picture& other) const;
};

// The window's contents now; an empty picture when the window is gone or not
// viewable (XGetImage would fail with BadMatch there).
Picture Capture(Display* display, Window window);

// The background of the rain scene alone has more colours than this; a black
// window, a one-colour one or a GUI's plain widgets have fewer.
constexpr std::size_t kSceneColours = 64;

// Waits until the window shows the scene and then a different picture of it:
// true when it animates. `why` says what was seen when it did not.
bool WaitForAnimation(Display* display, Window window, std::chrono::milliseconds timeout, std::string* why = nullptr);

} // namespace velmora_test
