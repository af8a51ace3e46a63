#include "render/glx_draw_target.h"

#include <GL/gl.h>

#include "render/draw_target.h"

GlxTarget glxTarget;

namespace NS_DrawTarget {

namespace {
// The viewport GL gave the context when it was first made current: the window's
// size then. An X window can be resized by the user afterwards.
unsigned viewportWidth = 0;
unsigned viewportHeight = 0;

void FollowDrawableSize()
{
    Window root;
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border = 0;
    unsigned depth = 0;
    if (XGetGeometry(glxTarget.display, glxTarget.drawable, &root, &x, &y, &width, &height, &border, &depth) == 0) {
        return; // the window is going away; the host ends the engine
    }
    if (width != viewportWidth || height != viewportHeight) {
        viewportWidth = width;
        viewportHeight = height;
        // The projection keeps its aspect, so the scene stretches with the window.
        glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    }
}
} // namespace

void MakeCurrent()
{
    glXMakeCurrent(glxTarget.display, glxTarget.drawable, glxTarget.context);
    viewportWidth = 0;
    viewportHeight = 0;
    FollowDrawableSize();
}

void Release()
{
    if (glXGetCurrentContext() != nullptr) {
        glXMakeCurrent(glXGetCurrentDisplay(), None, nullptr);
    }
}

// The size is checked after the swap, so a resize shows from the next frame on.
void Present()
{
    if (glxTarget.beforeSwap != nullptr)
        glxTarget.beforeSwap();
    glXSwapBuffers(glxTarget.display, glxTarget.drawable);
    FollowDrawableSize();
}

} // namespace NS_DrawTarget
