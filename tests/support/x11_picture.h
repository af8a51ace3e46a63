// What a window shows, read back from the X server as a test would look at it.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <string>

#include "tests/support/picture.h"

namespace velmora_test {

// The window's contents now; an empty picture when the window is gone or not
// viewable (XGetImage would fail with BadMatch there).
Picture Capture(Display* display, Window window);

// Waits until the window shows the scene and then a different picture of it:
// true when it animates. `why` says what was seen when it did not.
bool WaitForAnimation(Display* display, Window window, std::chrono::milliseconds timeout, std::string* why = nullptr);

} // namespace velmora_test
