// The Windows drawing target: the saver window's device context and the OpenGL
// rendering context made for it. The host fills both before StartEngine and
// releases them only after StopEngine; the worker reads them in between.
#pragma once

#include <windows.h>

extern HDC saverDeviceContext;
extern HGLRC saverRenderContext;
