#include "render/win32_draw_target.h"

#include "render/draw_target.h"

HDC saverDeviceContext = nullptr;
HGLRC saverRenderContext = nullptr;

namespace NS_DrawTarget {

void MakeCurrent()
{
    wglMakeCurrent(saverDeviceContext, saverRenderContext);
}

void Release()
{
    if (wglGetCurrentContext() != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
    }
}

void Present()
{
    SwapBuffers(saverDeviceContext);
}

} // namespace NS_DrawTarget
