// The X11 drawing target: the display connection, the window (or other drawable)
// and the GLX context made for it. The host fills all three before StartEngine
// and releases them only after StopEngine; the worker reads them in between.
#pragma once

#include <GL/glx.h>

extern Display* glxDisplay;
extern GLXDrawable glxDrawable;
extern GLXContext glxContext;

// Called on the worker thread after each frame is drawn and before it is shown,
// with the context current: the host draws what belongs to it alone (the frame
// rate) over the scene. Null draws nothing.
extern void (*glxBeforeSwap)();
