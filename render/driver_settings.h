// What this program asks of the OpenGL driver, before its first call to it.
#pragma once

#include <cstdlib>

namespace NS_DriverSettings {

// Mesa's disk cache of compiled shaders keeps helper threads that its teardown
// (eglTerminate, glXDestroyContext, the library's exit handler) joins. With
// Debian 12's Mesa and C library one of them was caught never waking from its
// wait, under load, so the program hung on its way out, SIGTERM or not. The
// scene's few shaders compile in milliseconds: without the cache nothing is
// lost. A setting of the user's own stands.
inline void Apply()
{
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
}

} // namespace NS_DriverSettings
