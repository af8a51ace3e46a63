#include "host/close_rules.h"

namespace NS_CloseRules {

CloseRules::CloseRules(bool closes, int anchorX, int anchorY)
    : closesOnInput(closes), learnsAnchor(false), anchored(true)
{
    mouse.SetAnchor({anchorX, anchorY});
}

CloseRules::CloseRules(bool closes) : closesOnInput(closes), learnsAnchor(true), anchored(false) {}

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
        if (closesOnInput && !anchored) {
            mouse.SetAnchor({buttonOrX, y});
            anchored = true;
            return false;
        }
        return closesOnInput && mouse.MovedTooFar({buttonOrX, y});
    case Input::Enter:
        if (learnsAnchor && anchored)
            return closesOnInput && mouse.MovedTooFar({buttonOrX, y});
        // A saver among other windows sees the pointer only once it comes in;
        // moves count from there, not from wherever it was when the saver started.
        if (closesOnInput) {
            mouse.SetAnchor({buttonOrX, y});
            anchored = true;
        }
        return false;
    }
    return false;
}

} // namespace NS_CloseRules
