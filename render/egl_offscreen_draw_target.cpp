#include "render/egl_offscreen_draw_target.h"

// Framebuffer objects are OpenGL 3.0's: GLVND's libOpenGL exports them.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace NS_EglOffscreen {

namespace {

[[noreturn]] void Fail(const std::string& why)
{
    auto* failure = new (std::nothrow) Exception;
    if (failure != nullptr)
        failure->what = why;
    throw failure;
}

std::string SizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// Whether the context offers OpenGL `major`.`minor` or, below it, the extension.
bool HasFeature(const std::string& version, int major, int minor, const char* extension)
{
    int hasMajor = 0;
    int hasMinor = 0;
    std::sscanf(version.c_str(), "%d.%d", &hasMajor, &hasMinor);
    if (hasMajor > major || (hasMajor == major && hasMinor >= minor))
        return true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions == nullptr)
        return false;
    const std::size_t length = std::strlen(extension);
    for (const char* at = extensions; (at = std::strstr(at, extension)) != nullptr; at += length)
        if ((at == extensions || at[-1] == ' ') && (at[length] == '\0' || at[length] == ' '))
            return true;
    return false;
}

} // namespace

Offscreen::Offscreen(int pixelsWide, int pixelsHigh, NS_EglContext::DeviceChoice device)
    : width(pixelsWide), height(pixelsHigh)
{
    if (width < 1 || height < 1)
        Fail("an offscreen picture needs at least one pixel a side, not " + SizeText(width, height));
    context = std::make_unique<NS_EglContext::Context>(device);
    if (!context->MakeCurrent())
        Fail("EGL cannot make its OpenGL context current (" + NS_EglContext::LastError() + ")");
    try {
        MakeFramebuffer();
    } catch (...) {
        context->Release();
        throw;
    }
    context->Release();
}

Offscreen::~Offscreen()
{
    // Destroying the context deletes its framebuffer and renderbuffers.
    context.reset();
}

// 24 depth bits: the drops stand only 0.01 in front of the background at a
// distance of 4, which 16 bits cannot tell apart with the near plane at 0.01.
void Offscreen::MakeFramebuffer()
{
    const std::string size = SizeText(width, height);
    if (!HasFeature(context->Version(), 3, 0, "GL_ARB_framebuffer_object"))
        Fail(Renderer() + " draws into no framebuffer objects (OpenGL " + context->Version() +
             ", no GL_ARB_framebuffer_object)");
    GLint largest = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    largest = std::min({largest, viewport[0], viewport[1]});
    if (width > largest || height > largest)
        Fail(Renderer() + " cannot make a " + size + " framebuffer: it draws at most " + std::to_string(largest) +
             " pixels a side");

    while (glGetError() != GL_NO_ERROR) {
    }
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(2, renderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers[1]);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    const GLenum error = glGetError();
    if (error == GL_OUT_OF_MEMORY)
        Fail(Renderer() + " cannot make a " + size + " framebuffer: out of memory");
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (error != GL_NO_ERROR || status != GL_FRAMEBUFFER_COMPLETE) {
        char code[64];
        std::snprintf(code, sizeof code, "OpenGL error 0x%x, status 0x%x", error, status);
        Fail(Renderer() + " cannot make a " + size + " framebuffer with 8-bit RGBA and 24-bit depth (" + code + ")");
    }
    // The framebuffer stays bound: it is the context's only one. Without a
    // surface the context's default viewport is empty.
    glViewport(0, 0, width, height);

    // A window's pixels are stored top row first, and a renderer draws into
    // them with y flipped; a framebuffer object's bottom row comes first. The
    // flip decides which pixel an edge running exactly through pixel centres
    // covers, so without it a few pixels of a picture would differ from those
    // the same renderer draws into a window (or into OSMesa's buffer, which
    // it treated as one). With the upper-left origin the framebuffer is drawn
    // as a window is, and its rows come out in a picture's order.
    topRowFirst = HasFeature(context->Version(), 4, 5, "GL_ARB_clip_control");
    if (topRowFirst)
        glClipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
}

void Offscreen::MakeCurrent()
{
    context->MakeCurrent();
}

void Offscreen::Release()
{
    context->Release();
}

void Offscreen::Present()
{
    glFinish();
    presented.fetch_add(1, std::memory_order_acq_rel);
}

std::uint64_t Offscreen::FramesPresented() const
{
    return presented.load(std::memory_order_acquire);
}

void Offscreen::ReadRows(std::uint8_t* into) const
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, into);
}

std::vector<std::uint8_t> Offscreen::TopDownPixels() const
{
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> read(stride * height);
    if (context->IsCurrent()) {
        ReadRows(read.data());
    } else {
        if (!context->MakeCurrent())
            return {};
        ReadRows(read.data());
        context->Release();
    }
    std::vector<std::uint8_t> flipped;
    if (topRowFirst) {
        flipped.swap(read);
    } else {
        flipped.resize(read.size());
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* from = read.data() + (height - 1 - row) * stride;
            std::copy(from, from + stride, flipped.data() + row * stride);
        }
    }
    // Blending leaves the buffer's alpha at whatever the last fragment made it
    // (near 200 of 255 on a streak, lower on a drop), but a window shows only
    // the colours: a picture with that alpha would let the viewer's page show
    // through the rain.
    for (std::size_t alpha = 3; alpha < flipped.size(); alpha += 4)
        flipped[alpha] = 255;
    return flipped;
}

} // namespace NS_EglOffscreen
