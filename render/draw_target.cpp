#include "render/draw_target.h"

#include <atomic>

namespace NS_DrawTarget {

namespace {
// Written by the host's thread only while no worker runs; the atomic keeps a
// tool that installs a target between two universes free of data races.
std::atomic<DrawTarget*> installed{nullptr};
} // namespace

DrawTarget::~DrawTarget()
{
    DrawTarget* self = this;
    installed.compare_exchange_strong(self, nullptr);
}

void Install(DrawTarget* target)
{
    installed.store(target);
}

DrawTarget* Installed()
{
    return installed.load();
}

void MakeCurrent()
{
    if (DrawTarget* target = Installed())
        target->MakeCurrent();
}

void Release()
{
    if (DrawTarget* target = Installed())
        target->Release();
}

void Render(const std::function<void()>& drawFrame)
{
    if (DrawTarget* target = Installed())
        target->Render(drawFrame);
}

void Present()
{
    if (DrawTarget* target = Installed()) {
        target->DrawOverlay();
        target->Present();
    }
}

bool Wanted()
{
    DrawTarget* target = Installed();
    return target == nullptr || target->Wanted();
}

} // namespace NS_DrawTarget
