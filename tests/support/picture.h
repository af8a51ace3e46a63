// A picture of what a saver shows, as a test looks at it, whatever took it: an
// X window read back from its server, a Wayland output taken by grim.
#pragma once

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
    // The distinct colours of a rectangle of it, clipped to the picture.
    std::size_t DistinctColours(int x, int y, int w, int h) const;
    std::size_t DifferingPixels(const Picture& other) const;
};

// The background of the rain scene alone has more colours than this; a black
// window, a one-colour one or a GUI's plain widgets have fewer.
constexpr std::size_t kSceneColours = 64;

} // namespace velmora_test
