#include "render/glx_draw_target.h"

#include "render/draw_target.h"

Display* glxDisplay = nullptr;
GLXDrawable glxDrawable = 0;
GLXContext glxContext = nullptr;

namespace NS_DrawTarget {

void MakeCurrent() { glXMakeCurrent(glxDisplay, glxDrawable, glxContext); }

void Present() { glXSwapBuffers(glxDisplay, glxDrawable); }

} // namespace NS_DrawTarget
