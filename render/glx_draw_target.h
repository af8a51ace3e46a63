// The X11 drawing target: the display connection, the window (or other drawable)
// and the GLX context made for it. The host fills all three before StartEngine
// and releases them only after StopEngine; the worker reads them in between.
#pragma once

#include <GL/glx.h>

extern Display* glxDisplay;
extern GLXDrawable glxDrawable;
extern GLXContext glxContext;
