// The Wayland drawing target: one EGL window surface for each view (a surface
// on one output), all drawn by the one EGL context with the same scene. The
// host's thread owns the Wayland surfaces and tells the target what happens to
// them; the worker draws each view whose frame the compositor asked for, at
// that view's own pixel size, and nothing while none is asked for. eglSwapBuffers
// never waits for the compositor: the swap interval is 0 and a view is drawn
// only after its frame callback came, so the worker never blocks on it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "render/draw_target.h"
#include "render/egl_context.h"

struct wl_callback;
struct wl_display;
struct wl_egl_window;
struct wl_surface;

namespace NS_EglWindowTarget {

// Acknowledges the configure with this serial; the worker calls it just
// before it draws the first frame at the size that configure gave.
using Acknowledge = std::function<void(std::uint32_t serial)>;

class WindowsTarget : public NS_DrawTarget::DrawTarget {
public:
    // Makes the EGL context for the display; throws NS_EglContext::Exception*
    // when there is none with desktop OpenGL.
    explicit WindowsTarget(wl_display* display);
    // After the engine stopped: destroys the EGL windows still held, then the
    // context. The Wayland surfaces are the host's and must outlive it.
    ~WindowsTarget() override;

    const NS_EglContext::Context& Context() const { return context; }

    // The host's thread. A new view: nothing is drawn into it before its
    // first configure. Returns the view's number.
    int AddView(wl_surface* surface, Acknowledge acknowledge);
    // A configure, answered by the next frame drawn into the view (which may
    // wait until the compositor asks for one): that frame has this size in
    // pixels and this buffer scale (the output's, so that the view is sharp).
    void Configure(int view, int width, int height, int scale, std::uint32_t serial);
    // A new size or scale with no configure to answer (the output's scale
    // changed); the next frame has them.
    void Resize(int view, int width, int height, int scale);
    // Stops drawing into the view: the worker lets go of its EGL window before
    // its next frame, and TakeReleased then names it.
    void RemoveView(int view);
    // The views removed whose EGL windows are gone: their Wayland surfaces
    // may be destroyed now.
    std::vector<int> TakeReleased();
    // Why the worker could not draw (no context without a surface, no EGL
    // surface for a view), or empty; the host ends the saver then.
    std::string Failure() const;

    // The worker.
    void MakeCurrent() override;
    void Release() override;
    // Draws the views whose frame callback came (each at its own size), lets
    // go of removed views, and draws nothing when no frame is due.
    void Render(const std::function<void()>& drawFrame) override;
    void Present() override;
    // While no view's frame is due and none waits to be let go of, the scene
    // rests: a compositor that asks for no frame (an output switched off, a
    // compositor stopped) costs the program next to nothing.
    bool Wanted() override;
    int CurrentView() const override;

private:
    struct View;
    struct Frame;
    struct Size {
        int width = 0;
        int height = 0;
    };

    static void FrameDone(void* data, wl_callback* callback, std::uint32_t time);
    void Fail(const std::string& why);
    void LetGo(View& view);
    bool PrepareSurface(View& view, const Frame& frame);

    NS_EglContext::Context context;
    mutable std::mutex lock; // guards what the two threads share: the views' state, the lists, the failure
    std::map<int, std::unique_ptr<View>> views;
    std::vector<int> released;
    std::string failure;
    int nextView = 0;
    View* drawing = nullptr; // the worker's: the view whose frame is being drawn
    int drawingNumber = 0;
};

} // namespace NS_EglWindowTarget
