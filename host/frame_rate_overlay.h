// Draws the --fps text over the finished frame, on the worker thread, with the
// frame's own OpenGL context current.
#pragma once

namespace NS_FrameRate {

// Measures this frame and draws the text of the last whole second in the
// lower-left corner, leaving the OpenGL state as it found it. Each view of the
// installed target (each output on Wayland) is measured on its own.
void DrawFrameRateOverlay();

} // namespace NS_FrameRate
