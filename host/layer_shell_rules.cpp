#include "host/layer_shell_rules.h"

#include <cmath>

namespace NS_LayerShellRules {

namespace {

// linux/input-event-codes.h, which is Linux's alone.
constexpr std::uint32_t kButtonLeft = 0x110;
constexpr std::uint32_t kButtonRight = 0x111;
constexpr std::uint32_t kButtonMiddle = 0x112;

// No display is larger; the clamp keeps nonsense from a compositor harmless.
constexpr std::uint32_t kLargestLogical = 1u << 16;
constexpr std::int32_t kLargestScale = 16;

int Clamped(std::uint32_t logical, std::int32_t scale)
{
    const std::uint32_t size = logical < 1 ? 1 : logical > kLargestLogical ? kLargestLogical : logical;
    return static_cast<int>(size) * scale;
}

} // namespace

SurfaceRole RoleFor(NS_SaverOptions::Target target)
{
    SurfaceRole role;
    const bool wallpaper = target == NS_SaverOptions::Target::Wallpaper;
    role.layer = wallpaper ? Layer::Background : Layer::Overlay;
    role.exclusiveKeyboard = !wallpaper;
    role.takesPointer = !wallpaper;
    return role;
}

int XButton(std::uint32_t code)
{
    switch (code) {
    case kButtonLeft:
        return 1;
    case kButtonMiddle:
        return 2;
    case kButtonRight:
        return 3;
    default:
        return 0;
    }
}

BufferSize BufferFor(std::uint32_t logicalWidth, std::uint32_t logicalHeight, std::int32_t scale)
{
    const std::int32_t factor = scale < 1 ? 1 : scale > kLargestScale ? kLargestScale : scale;
    return {Clamped(logicalWidth, factor), Clamped(logicalHeight, factor)};
}

Point GlobalPosition(int outputX, int outputY, double surfaceX, double surfaceY)
{
    return {outputX + static_cast<int>(std::lround(surfaceX)), outputY + static_cast<int>(std::lround(surfaceY))};
}

} // namespace NS_LayerShellRules
