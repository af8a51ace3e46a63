// The X11 drawing target: a window (or other drawable) on the worker's own
// display connection and the GLX context made for it. The host makes both and
// hands the context over; the target destroys it, after the engine has
// stopped and before the host closes the connection. It follows the
// drawable's size, which the user or the window's owner may change.
#pragma once

#include <GL/glx.h>

#include "render/draw_target.h"

namespace NS_GlxTarget {

class WindowTarget : public NS_DrawTarget::DrawTarget {
public:
    WindowTarget(Display* connection, GLXDrawable window, GLXContext glContext)
        : display(connection), drawable(window), context(glContext)
    {
    }
    ~WindowTarget() override;

    void MakeCurrent() override;
    void Release() override;
    void Present() override;

private:
    void FollowDrawableSize();

    Display* display;
    GLXDrawable drawable;
    GLXContext context;
    // The viewport GL gave the context when it was first made current: the
    // window's size then.
    unsigned viewportWidth = 0;
    unsigned viewportHeight = 0;
};

} // namespace NS_GlxTarget
