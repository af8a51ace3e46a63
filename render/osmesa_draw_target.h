// The offscreen drawing target: an OSMesa context rendering into memory, for the
// snapshot tool, the render tests and the benchmarks, with no display at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "render/draw_target.h"

namespace NS_OSMesaTarget {

// The largest width and height of an offscreen picture, in pixels.
constexpr int kLargestSide = 4096;

// Thrown (as a pointer, like the kernel's failures) when no offscreen context
// can be made; `what` says why.
class Exception {
public:
    std::string what;
};

// An RGBA colour buffer of 8 bits a channel with a 24-bit depth buffer. While
// installed, it is what the Loader draws into; it must outlive the universe
// that draws into it.
class Offscreen : public NS_DrawTarget::DrawTarget {
public:
    // Throws a pointer to Exception for a size outside 1..kLargestSide or when OSMesa
    // cannot create the context.
    Offscreen(int pixelsWide, int pixelsHigh);
    ~Offscreen() override;

    void Install() { NS_DrawTarget::Install(this); }

    void MakeCurrent() override;
    void Release() override;
    // Finishes the frame and counts it.
    void Present() override;

    int Width() const { return width; }
    int Height() const { return height; }

    // The pixels of the last presented frame as a screen shows them: RGBA, top
    // row first, every alpha 255. Read them while nothing draws (after RunCycle
    // returns, or after the engine stopped).
    std::vector<std::uint8_t> TopDownPixels() const;

    // How many frames were presented into this target.
    std::uint64_t FramesPresented() const;

private:
    int width;
    int height;
    std::vector<std::uint8_t> pixels; // bottom row first, as OpenGL writes it
    void* context = nullptr;          // OSMesaContext
    std::atomic<std::uint64_t> presented{0};
};

} // namespace NS_OSMesaTarget
