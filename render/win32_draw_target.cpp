#include "render/win32_draw_target.h"

HDC saverDeviceContext = nullptr;
HGLRC saverRenderContext = nullptr;

namespace NS_WglTarget {

void SaverWindowTarget::MakeCurrent()
{
    wglMakeCurrent(saverDeviceContext, saverRenderContext);
}

void SaverWindowTarget::Release()
{
    if (wglGetCurrentContext() != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
    }
}

void SaverWindowTarget::Present()
{
    SwapBuffers(saverDeviceContext);
}

} // namespace NS_WglTarget
