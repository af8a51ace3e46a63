#include "render/osmesa_draw_target.h"

#include <GL/osmesa.h>

#include <new>

#include "render/draw_target.h"

namespace NS_OSMesaTarget {

namespace {

[[noreturn]] void Fail(const std::string& why)
{
    auto* failure = new (std::nothrow) Exception;
    if (failure != nullptr) {
        failure->what = why;
    }
    throw failure;
}

} // namespace

Offscreen::Offscreen(int pixelsWide, int pixelsHigh) : width(pixelsWide), height(pixelsHigh)
{
    if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide) {
        Fail("the offscreen size must be between 1 and " + std::to_string(kLargestSide) + " pixels a side, not " +
             std::to_string(width) + "x" + std::to_string(height));
    }
    pixels.assign(static_cast<std::size_t>(width) * height * 4, 0);
    // 24 depth bits: the drops stand only 0.01 in front of the background at a
    // distance of 4, which 16 bits cannot tell apart with the near plane at 0.01.
    context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (context == nullptr) {
        Fail("OSMesa could not create an offscreen OpenGL context");
    }
}

Offscreen::~Offscreen()
{
    OSMesaDestroyContext(static_cast<OSMesaContext>(context));
}

std::vector<std::uint8_t> Offscreen::TopDownPixels() const
{
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> flipped(pixels.size());
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* from = pixels.data() + (height - 1 - row) * stride;
        std::copy(from, from + stride, flipped.data() + row * stride);
    }
    // Blending leaves the buffer's alpha at whatever the last fragment made it
    // (near 200 of 255 on a streak, lower on a drop), but a window shows only
    // the colours: a picture with that alpha would let the viewer's page show
    // through the rain.
    for (std::size_t alpha = 3; alpha < flipped.size(); alpha += 4) {
        flipped[alpha] = 255;
    }
    return flipped;
}

std::uint64_t Offscreen::FramesPresented() const
{
    return presented.load(std::memory_order_acquire);
}

void Offscreen::MakeCurrent()
{
    OSMesaMakeCurrent(static_cast<OSMesaContext>(context), pixels.data(), GL_UNSIGNED_BYTE, width, height);
}

void Offscreen::Release()
{
    if (OSMesaGetCurrentContext() != nullptr) {
        OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    }
}

void Offscreen::Present()
{
    glFinish();
    presented.fetch_add(1, std::memory_order_acq_rel);
}

} // namespace NS_OSMesaTarget
