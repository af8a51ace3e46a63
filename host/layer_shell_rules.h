// The Wayland saver's decisions, apart from libwayland so that native tests
// reach them: where its surfaces sit on each output and what input they take,
// the size of their buffers, and how the pointer's positions on the outputs'
// surfaces become the one space that the close rules measure moves in.
#pragma once

#include <cstdint>

#include "host/saver_options.h"

namespace NS_LayerShellRules {

enum class Layer {
    Background, // under every window: the wallpaper
    Overlay,    // over every window, panels and full-screen ones included: the saver
};

struct SurfaceRole {
    Layer layer = Layer::Overlay;
    // The keyboard comes to the saver's surfaces and to nothing else while
    // they are up.
    bool exclusiveKeyboard = false;
    // False: the surfaces have an empty input region, so that the pointer and
    // touches reach the desktop as if they were not there.
    bool takesPointer = false;
};

// For Target::Wayland and Target::Wallpaper.
SurfaceRole RoleFor(NS_SaverOptions::Target target);

// The close rules' X button number of a button as Wayland reports it (Linux's
// input codes): 1 left, 2 middle, 3 right; 0 for any other, which closes nothing.
int XButton(std::uint32_t code);

// A buffer's size in pixels: the size the compositor configured, in its
// logical units, times the output's scale, so that on a scale-2 output the
// scene is drawn at the output's full pixel size. At least one pixel, and no
// product that overflows.
struct BufferSize {
    int width = 1;
    int height = 1;
};
BufferSize BufferFor(std::uint32_t logicalWidth, std::uint32_t logicalHeight, std::int32_t scale);

// Where a pointer on an output's surface stands in the compositor's global
// space, given the output's logical position there, so that moving from one
// output's surface onto the next is a move of a pixel, not a jump.
struct Point {
    int x = 0;
    int y = 0;
};
Point GlobalPosition(int outputX, int outputY, double surfaceX, double surfaceY);

} // namespace NS_LayerShellRules
