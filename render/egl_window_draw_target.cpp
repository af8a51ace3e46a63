#include "render/egl_window_draw_target.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <wayland-client.h>
#include <wayland-egl.h>

namespace NS_EglWindowTarget {

struct WindowsTarget::View {
    WindowsTarget* owner = nullptr; // for the frame callback, which comes on the host's thread
    wl_surface* surface = nullptr;
    Acknowledge acknowledge;

    // Shared, under the owner's lock.
    bool configured = false;
    Size size; // in pixels
    int scale = 1;
    bool serialPending = false;
    std::uint32_t serial = 0;
    bool removed = false;
    bool letGo = false;
    // True until a frame is drawn, then again when the frame callback asked
    // for with that frame comes.
    bool due = true;
    wl_callback* frameCallback = nullptr; // created by the worker, destroyed on the host's thread

    // The worker's alone.
    wl_egl_window* window = nullptr;
    EGLSurface eglSurface = EGL_NO_SURFACE;
    bool broken = false; // no EGL surface could be made for it
    Size drawnSize;
    int drawnScale = 1;
};

// One view to draw in this Render, as the host last described it.
struct WindowsTarget::Frame {
    View* view = nullptr;
    int number = 0;
    Size size;
    int scale = 1;
    bool acknowledge = false;
    std::uint32_t serial = 0;
};

WindowsTarget::WindowsTarget(wl_display* display) : context(display) {}

WindowsTarget::~WindowsTarget()
{
    context.Release();
    for (auto& entry : views) {
        View& view = *entry.second;
        if (view.frameCallback != nullptr)
            wl_callback_destroy(view.frameCallback);
        LetGo(view);
    }
}

int WindowsTarget::AddView(wl_surface* surface, Acknowledge acknowledge)
{
    auto view = std::make_unique<View>();
    view->owner = this;
    view->surface = surface;
    view->acknowledge = std::move(acknowledge);
    const std::lock_guard<std::mutex> hold(lock);
    const int number = nextView++;
    views[number] = std::move(view);
    return number;
}

void WindowsTarget::Configure(int number, int width, int height, int scale, std::uint32_t serial)
{
    const std::lock_guard<std::mutex> hold(lock);
    const auto found = views.find(number);
    if (found == views.end())
        return;
    View& view = *found->second;
    view.configured = true;
    view.size = {width < 1 ? 1 : width, height < 1 ? 1 : height};
    view.scale = scale < 1 ? 1 : scale;
    view.serialPending = true;
    view.serial = serial;
}

void WindowsTarget::Resize(int number, int width, int height, int scale)
{
    const std::lock_guard<std::mutex> hold(lock);
    const auto found = views.find(number);
    if (found == views.end())
        return;
    View& view = *found->second;
    view.size = {width < 1 ? 1 : width, height < 1 ? 1 : height};
    view.scale = scale < 1 ? 1 : scale;
}

void WindowsTarget::RemoveView(int number)
{
    const std::lock_guard<std::mutex> hold(lock);
    const auto found = views.find(number);
    if (found != views.end())
        found->second->removed = true;
}

std::vector<int> WindowsTarget::TakeReleased()
{
    const std::lock_guard<std::mutex> hold(lock);
    std::vector<int> taken;
    taken.swap(released);
    for (int number : taken) {
        const auto found = views.find(number);
        if (found == views.end())
            continue;
        // The callback's done can come only on this thread, which is here.
        if (found->second->frameCallback != nullptr)
            wl_callback_destroy(found->second->frameCallback);
        views.erase(found);
    }
    return taken;
}

void WindowsTarget::FrameDone(void* data, wl_callback* callback, std::uint32_t)
{
    View& view = *static_cast<View*>(data);
    {
        const std::lock_guard<std::mutex> hold(view.owner->lock);
        if (view.frameCallback == callback) {
            view.frameCallback = nullptr;
            view.due = true;
        }
    }
    wl_callback_destroy(callback);
}

std::string WindowsTarget::Failure() const
{
    const std::lock_guard<std::mutex> hold(lock);
    return failure;
}

void WindowsTarget::Fail(const std::string& why)
{
    const std::lock_guard<std::mutex> hold(lock);
    if (failure.empty())
        failure = why;
}

// The worker, or the destructor once the worker has stopped.
void WindowsTarget::LetGo(View& view)
{
    if (view.eglSurface != EGL_NO_SURFACE) {
        if (eglGetCurrentSurface(EGL_DRAW) == view.eglSurface)
            context.MakeCurrent(EGL_NO_SURFACE);
        eglDestroySurface(context.Display(), view.eglSurface);
        view.eglSurface = EGL_NO_SURFACE;
    }
    if (view.window != nullptr) {
        wl_egl_window_destroy(view.window);
        view.window = nullptr;
    }
}

void WindowsTarget::MakeCurrent()
{
    // The scene's set-up (textures, lights) needs the context before any
    // output has a surface to draw into.
    if (!context.MakeCurrent(EGL_NO_SURFACE))
        Fail("EGL cannot make its OpenGL context current without a surface (" + NS_EglContext::LastError() + ")");
}

void WindowsTarget::Release()
{
    context.Release();
}

// Makes the view's EGL surface current at the frame's size and scale, making
// it first if need be; false when it cannot be drawn into.
bool WindowsTarget::PrepareSurface(View& view, const Frame& frame)
{
    if (view.broken)
        return false;
    if (view.window == nullptr) {
        view.window = wl_egl_window_create(view.surface, frame.size.width, frame.size.height);
        if (view.window != nullptr)
            view.eglSurface = eglCreatePlatformWindowSurface(context.Display(), context.Config(), view.window, nullptr);
        if (view.eglSurface == EGL_NO_SURFACE || !context.MakeCurrent(view.eglSurface)) {
            view.broken = true;
            Fail("EGL cannot draw into a surface on an output (" + NS_EglContext::LastError() + ")");
            return false;
        }
        // The frame callbacks pace the drawing; a swap that waited for the
        // compositor could wait forever on a surface nobody shows.
        eglSwapInterval(context.Display(), 0);
        view.drawnSize = frame.size;
    } else {
        if (frame.size.width != view.drawnSize.width || frame.size.height != view.drawnSize.height) {
            wl_egl_window_resize(view.window, frame.size.width, frame.size.height, 0, 0);
            view.drawnSize = frame.size;
        }
        // With one output the surface stays current from frame to frame.
        if (eglGetCurrentSurface(EGL_DRAW) != view.eglSurface && !context.MakeCurrent(view.eglSurface))
            return false;
    }
    if (frame.scale != view.drawnScale) {
        wl_surface_set_buffer_scale(view.surface, frame.scale);
        view.drawnScale = frame.scale;
    }
    // Acknowledged now, so that the commit of this frame answers it.
    if (frame.acknowledge && view.acknowledge)
        view.acknowledge(frame.serial);
    return true;
}

void WindowsTarget::Render(const std::function<void()>& drawFrame)
{
    std::vector<Frame> frames;
    {
        const std::lock_guard<std::mutex> hold(lock);
        for (auto& entry : views) {
            View& view = *entry.second;
            if (view.removed) {
                if (!view.letGo) {
                    LetGo(view);
                    view.letGo = true;
                    released.push_back(entry.first);
                }
                continue;
            }
            if (!view.configured || !view.due)
                continue;
            view.due = false;
            Frame frame;
            frame.view = &view;
            frame.number = entry.first;
            frame.size = view.size;
            frame.scale = view.scale;
            frame.acknowledge = view.serialPending;
            frame.serial = view.serial;
            view.serialPending = false;
            frames.push_back(frame);
        }
    }
    // A view is erased only after the worker let go of it, in a later Render:
    // the pointers stay good outside the lock.
    for (const Frame& frame : frames) {
        View& view = *frame.view;
        if (!PrepareSurface(view, frame)) {
            // Tried again next time, unless the view cannot be drawn at all.
            const std::lock_guard<std::mutex> hold(lock);
            view.due = !view.broken;
            continue;
        }
        // Asked for before the swap commits the frame, so that the compositor
        // says when it wants the next one.
        static const wl_callback_listener frameListener = {FrameDone};
        wl_callback* callback = wl_surface_frame(view.surface);
        wl_callback_add_listener(callback, &frameListener, &view);
        {
            const std::lock_guard<std::mutex> hold(lock);
            view.frameCallback = callback;
        }
        glViewport(0, 0, frame.size.width, frame.size.height);
        drawing = &view;
        drawingNumber = frame.number;
        drawFrame();
        drawing = nullptr;
    }
}

bool WindowsTarget::Wanted()
{
    const std::lock_guard<std::mutex> hold(lock);
    for (const auto& entry : views) {
        const View& view = *entry.second;
        if ((view.removed && !view.letGo) || (!view.removed && view.configured && view.due))
            return true;
    }
    return false;
}

int WindowsTarget::CurrentView() const
{
    return drawingNumber;
}

// With a swap interval of 0, Mesa ends each swap with a wl_display.sync of
// its own and waits, at the next swap, for the answer. The compositor answers
// it when it takes the commit, before it sends the done of the frame callback
// asked for with that commit, and events come in order: once a view's frame is
// due, that wait is already over, and the swap does not block.
void WindowsTarget::Present()
{
    if (drawing != nullptr)
        eglSwapBuffers(context.Display(), drawing->eglSurface);
}

} // namespace NS_EglWindowTarget
