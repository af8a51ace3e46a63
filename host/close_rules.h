// When a Linux saver ends: the decisions of its event loop, apart from Xlib and
// Wayland so that they can be tested without a display. On surfaces of its own
// it closes on input like the Windows saver; drawing on someone else's window,
// or under every window as a wallpaper, it leaves the end to others.
#pragma once

#include "host/shell_rules.h"

namespace NS_CloseRules {

enum class Input {
    Key,
    Button,       // with the X button number (1 left, 2 middle, 3 right, 4 to 7 the wheel)
    Motion,       // with the pointer's position
    Enter,        // the pointer came onto the saver's surface, at that position
    CloseRequest, // the window manager or the compositor asks the saver to close
    TargetGone,   // what is drawn into was destroyed
    StopSignal,   // SIGTERM or SIGINT
};

class CloseRules {
public:
    // `closesOnInput`: keys, clicks and moves end the saver. The anchor is
    // where the pointer stood when the saver appeared.
    CloseRules(bool closesOnInput, int anchorX, int anchorY);
    // Where no client is told where the pointer stands until it comes onto one
    // of its surfaces (Wayland): the first position seen becomes the anchor.
    // The saver's surfaces then cover every output, so a later Enter is the
    // pointer crossing from one of them to the next: a move like any other.
    explicit CloseRules(bool closesOnInput);

    // True when this input ends the program. A Button carries its X button
    // number in `buttonOrX`; a Motion or an Enter, the pointer's position in
    // `buttonOrX` and `y` (all in one space); the other inputs carry nothing.
    bool Ends(Input input, int buttonOrX = 0, int y = 0);

private:
    bool closesOnInput;
    bool learnsAnchor;
    bool anchored;
    NS_ShellRules::MouseRule mouse;
};

} // namespace NS_CloseRules
