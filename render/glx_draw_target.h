// The X11 drawing target: the display connection, the window (or other drawable)
// and the GLX context made for it, and what the host draws over each frame. The
// host fills it before StartEngine and releases what it names only after
// StopEngine; the worker reads it in between.
#pragma once

#include <GL/glx.h>

struct GlxTarget {
    Display* display = nullptr;
    GLXDrawable drawable = 0;
    GLXContext context = nullptr;
    // Called on the worker thread after each frame is drawn and before it is
    // shown, with the context current: the host draws what belongs to it alone
    // (the frame rate) over the scene. Null draws nothing.
    void (*beforeSwap)() = nullptr;
};

extern GlxTarget glxTarget;
