// When the X11 saver ends: the decisions of its event loop, apart from Xlib so
// that they can be tested without a display. In its own window it closes on
// input like the Windows saver; drawing on someone else's window it leaves the
// end to that window's owner.
#pragma once

#include "host/shell_rules.h"
#include "host/x11_options.h"

namespace NS_X11CloseRules {

enum class Input {
    Key,
    Button,       // with the X button number
    Motion,       // with the pointer's position on the screen
    Enter,        // the pointer came into the window, at that position
    CloseRequest, // the window manager asks the window to close
    TargetGone,   // the window that is drawn into was destroyed
    StopSignal,   // SIGTERM or SIGINT
};

class CloseRules {
public:
    // The anchor is where the pointer stood when the window appeared.
    CloseRules(NS_X11Options::Target target, int anchorX, int anchorY);

    // True when this input ends the program. A Button carries its X button
    // number in `buttonOrX`; a Motion or an Enter, the pointer's position on the
    // screen in `buttonOrX` and `y`; the other inputs carry nothing.
    bool Ends(Input input, int buttonOrX = 0, int y = 0);

private:
    bool closesOnInput;
    NS_ShellRules::MouseRule mouse;
};

} // namespace NS_X11CloseRules
