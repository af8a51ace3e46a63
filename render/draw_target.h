// Where the Loader draws: one interface, one implementation per drawing target
// (win32_draw_target.cpp, glx_draw_target.cpp, osmesa_draw_target.cpp), of which
// each program links exactly one. The Loader's drawing code is the same for all.
#pragma once

namespace NS_DrawTarget {

// Makes the target's rendering context current on the calling thread (the
// worker, from Loader::Init on). The result is not examined.
void MakeCurrent();

// Lets go of the rendering context on the calling thread, if it holds one, so
// that the host can delete the context once the worker has stopped: a context
// still current on another thread cannot be deleted.
void Release();

// Shows the frame just drawn.
void Present();

} // namespace NS_DrawTarget
