// The offscreen drawing target: an EGL context with no surface at all drawing
// into a framebuffer object, for the snapshot tool, `make run` without a
// display, the render tests and the benchmarks. By default it draws with
// Mesa's software renderer, which gives the same picture on every machine;
// a graphics card's EGL device can be chosen instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/draw_target.h"
#include "render/egl_context.h"

namespace NS_EglOffscreen {

// Failures are NS_EglContext's: thrown as a pointer, `what` one line naming
// what is missing.
using Exception = NS_EglContext::Exception;

// An RGBA colour buffer of 8 bits a channel with a 24-bit depth buffer, drawn
// with its viewport the whole buffer. While installed, it is what the Loader
// draws into; it must outlive the universe that draws into it.
class Offscreen : public NS_DrawTarget::DrawTarget {
public:
    // Throws a pointer to Exception when there is no EGL driver or no such
    // device, when the device offers no desktop OpenGL with the compatibility
    // profile, or when it cannot make a framebuffer of this size (a side
    // below 1 or beyond its largest, or too little memory). The context is
    // current on no thread when it returns.
    Offscreen(int pixelsWide, int pixelsHigh, NS_EglContext::DeviceChoice device = {});
    ~Offscreen() override;

    void Install() { NS_DrawTarget::Install(this); }

    void MakeCurrent() override;
    void Release() override;
    // Finishes the frame and counts it.
    void Present() override;

    int Width() const { return width; }
    int Height() const { return height; }

    // GL_RENDERER and GL_VERSION of the context that draws.
    const std::string& Renderer() const { return context->Renderer(); }
    const std::string& Version() const { return context->Version(); }

    // The pixels of the last presented frame as a screen shows them: RGBA, top
    // row first, every alpha 255. Read them while nothing draws (after RunCycle
    // returns, or after the engine stopped): they are read back from the
    // framebuffer on the calling thread. Empty when the context is current on
    // another thread.
    std::vector<std::uint8_t> TopDownPixels() const;

    // How many frames were presented into this target.
    std::uint64_t FramesPresented() const;

private:
    void MakeFramebuffer();
    // The framebuffer's rows in the order they are stored.
    void ReadRows(std::uint8_t* into) const;

    int width;
    int height;
    std::unique_ptr<NS_EglContext::Context> context;
    unsigned framebuffer = 0;
    unsigned renderbuffers[2] = {0, 0}; // colour, depth
    bool topRowFirst = false;           // drawn with the upper-left origin
    std::atomic<std::uint64_t> presented{0};
};

} // namespace NS_EglOffscreen
