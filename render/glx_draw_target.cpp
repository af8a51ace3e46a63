#include "render/glx_draw_target.h"

#include <GL/gl.h>

namespace NS_GlxTarget {

WindowTarget::~WindowTarget()
{
    if (context != nullptr)
        glXDestroyContext(display, context);
}

void WindowTarget::FollowDrawableSize()
{
    Window root;
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border = 0;
    unsigned depth = 0;
    if (XGetGeometry(display, drawable, &root, &x, &y, &width, &height, &border, &depth) == 0) {
        return; // the window is going away; the host ends the engine
    }
    if (width != viewportWidth || height != viewportHeight) {
        viewportWidth = width;
        viewportHeight = height;
        // The projection keeps its aspect, so the scene stretches with the window.
        glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    }
}

void WindowTarget::MakeCurrent()
{
    glXMakeCurrent(display, drawable, context);
    viewportWidth = 0;
    viewportHeight = 0;
    FollowDrawableSize();
}

void WindowTarget::Release()
{
    if (glXGetCurrentContext() != nullptr) {
        glXMakeCurrent(glXGetCurrentDisplay(), None, nullptr);
    }
}

// The size is checked after the swap, so a resize shows from the next frame on.
void WindowTarget::Present()
{
    glXSwapBuffers(display, drawable);
    FollowDrawableSize();
}

} // namespace NS_GlxTarget
