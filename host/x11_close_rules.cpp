#include "host/x11_close_rules.h"

namespace NS_X11CloseRules {

using NS_X11Options::Target;

CloseRules::CloseRules(Target target, int anchorX, int anchorY)
    : closesOnInput(target == Target::Window || target == Target::FullScreen)
{
    mouse.SetAnchor({anchorX, anchorY});
}

bool CloseRules::Ends(Input input, int buttonOrX, int y)
{
    switch (input) {
    case Input::StopSignal:
    case Input::TargetGone:
        return true;
    case Input::CloseRequest:
        return closesOnInput;
    case Input::Key:
        return closesOnInput;
    case Input::Button:
        // Left, middle and right, as the Windows saver counts them; the wheel
        // (buttons 4 to 7) and the side buttons do not close it.
        return closesOnInput && buttonOrX >= 1 && buttonOrX <= 3;
    case Input::Motion:
        return closesOnInput && mouse.MovedTooFar({buttonOrX, y});
    case Input::Enter:
        // A window among others sees the pointer only once it comes in; moves
        // count from there, not from wherever it was when the saver started.
        if (closesOnInput)
            mouse.SetAnchor({buttonOrX, y});
        return false;
    }
    return false;
}

} // namespace NS_X11CloseRules
