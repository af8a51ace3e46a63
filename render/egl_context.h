// The one EGL set-up that every EGL drawing target shares, offscreen and in a
// Wayland window alike: an initialised display, a config and a context with
// the desktop OpenGL API (eglBindAPI(EGL_OPENGL_API)) and the compatibility
// profile, which the scene's fixed-function drawing needs. Through GLVND's
// libEGL and libOpenGL, never libGL.
#pragma once

#include <EGL/egl.h>

#include <string>
#include <vector>

struct wl_display;

namespace NS_EglContext {

// Thrown as a pointer, like the kernel's failures, when no context can be
// made; `what` is one line that names what is missing.
class Exception {
public:
    std::string what;
};

// Which renderer draws offscreen.
struct DeviceChoice {
    // Mesa's software renderer: the same pictures on every machine.
    static constexpr int kSoftware = -1;
    // kSoftware, or a device's number in the list DescribeDevices prints.
    int device = kSoftware;
};

// One line per EGL device, in the order that DeviceChoice numbers them: "0:
// /dev/dri/renderD128" or "1: software renderer". Empty when EGL offers no
// device platform.
std::vector<std::string> DescribeDevices();

class Context {
public:
    // For offscreen drawing, into framebuffer objects with no surface at all:
    // a display on the chosen EGL device (EGL_EXT_platform_device).
    explicit Context(DeviceChoice choice);
    // For windows on a Wayland display (EGL_KHR_platform_wayland): the config
    // is for window surfaces, opaque (no alpha), with a depth buffer.
    explicit Context(wl_display* display);
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    // Destroys the context and lets go of the display (a Wayland display is
    // terminated with its last context; a device's stays initialised for the
    // next); call after every thread released it.
    ~Context();

    EGLDisplay Display() const { return display; }
    EGLConfig Config() const { return config; }
    EGLContext Handle() const { return context; }

    // Binds the context to the calling thread, drawing into and reading from
    // `surface` (EGL_NO_SURFACE: none, for framebuffer objects). False when
    // EGL refuses; LastError says why.
    bool MakeCurrent(EGLSurface surface = EGL_NO_SURFACE) const;
    // Unbinds the context from the calling thread if it is current there.
    void Release() const;
    // Whether the context is current on the calling thread.
    bool IsCurrent() const;

    // GL_RENDERER and GL_VERSION as the context reported them when it was made.
    const std::string& Renderer() const { return renderer; }
    const std::string& Version() const { return version; }

private:
    void Initialise(const std::string& where);
    void ChooseConfig(EGLint surfaceType);
    void CreateContext();
    void Cleanup() noexcept;

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    bool terminates = true; // whether the display's last user terminates it
    std::string renderer;
    std::string version;
};

// "EGL_BAD_ALLOC" for its code, the hexadecimal code for one EGL does not define.
std::string ErrorName(EGLint error);
// The name of the last EGL error on this thread.
std::string LastError();

} // namespace NS_EglContext
