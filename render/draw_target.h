// Where the Loader draws. Each drawing target (a window through WGL, GLX or EGL,
// or an offscreen framebuffer) is one DrawTarget: it owns or borrows its OpenGL
// context and knows its size. A host or tool installs one before it starts the
// engine and uninstalls it after the engine has stopped; the worker reaches it
// through the calls below in between. The Loader's drawing is the same for all.
#pragma once

#include <functional>

namespace NS_DrawTarget {

class DrawTarget {
public:
    DrawTarget() = default;
    DrawTarget(const DrawTarget&) = delete;
    DrawTarget& operator=(const DrawTarget&) = delete;
    // Uninstalls the target if it is installed.
    virtual ~DrawTarget();

    // Makes the target's context current on the calling thread (the worker,
    // from Loader::Init on).
    virtual void MakeCurrent() = 0;
    // Lets go of the context on the calling thread, if it holds it, so that
    // the owner can destroy it once the worker has stopped: a context still
    // current on another thread cannot be destroyed.
    virtual void Release() = 0;
    // One Render event: calls `drawFrame` once for each view that wants a frame
    // now, with that view current and its viewport set. A target with one view
    // draws every time; one with a view per output draws only into those whose
    // frame is due, and none at all while nobody looks.
    virtual void Render(const std::function<void()>& drawFrame) { drawFrame(); }
    // Shows the frame just drawn into the current view.
    virtual void Present() = 0;
    // On the worker, before each cycle: false while no view wants a frame
    // and the target has nothing else to do on the worker, so that the scene
    // rests. A window or an offscreen buffer always wants one.
    virtual bool Wanted() { return true; }
    // Which view the frame being drawn is for, to tell their frame rates
    // apart: 0 on a target with one view.
    virtual int CurrentView() const { return 0; }

    // What the host draws over each frame before it is shown, on the worker
    // with the context current (the frame rate); null draws nothing. Set it
    // before installing the target.
    void SetOverlay(void (*draw)()) { overlay = draw; }
    void DrawOverlay() const
    {
        if (overlay != nullptr)
            overlay();
    }

private:
    void (*overlay)() = nullptr;
};

// The target the worker draws into; null uninstalls. One at a time.
void Install(DrawTarget* target);
DrawTarget* Installed();

// The Loader's and the scene model's calls, passed to the installed target;
// each does nothing while none is installed.
void MakeCurrent();
void Release();
void Render(const std::function<void()>& drawFrame);
// Draws the overlay, then shows the frame.
void Present();
// True while none is installed.
bool Wanted();

} // namespace NS_DrawTarget
