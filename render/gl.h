// OpenGL 1.1's header, with what it needs before it on Windows.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif
#include <GL/gl.h>
