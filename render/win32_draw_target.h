// The Windows drawing target: the saver window's device context and the OpenGL
// rendering context made for it, in the two globals that the host fills before
// it starts the engine and releases only after the engine has stopped; the
// worker reads them in between, through the target.
#pragma once

#include <windows.h>

#include "render/draw_target.h"

extern HDC saverDeviceContext;
extern HGLRC saverRenderContext;

namespace NS_WglTarget {

class SaverWindowTarget : public NS_DrawTarget::DrawTarget {
public:
    void MakeCurrent() override;
    void Release() override;
    void Present() override;
};

} // namespace NS_WglTarget
