#include "host/shell_rules.h"

namespace NS_ShellRules {

std::uint32_t ParseDecimal(const wchar_t* text)
{
    std::uint32_t value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10u + static_cast<std::uint32_t>(*text - L'0');
    }
    return value;
}

const wchar_t* SkipProgramName(const wchar_t* commandLine)
{
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') {
            ++p;
        }
        if (*p == L'"') {
            ++p;
        }
    } else {
        while (static_cast<std::uint32_t>(*p) > L' ') {
            ++p;
        }
    }
    // Code units are compared unsigned so that no character above the space
    // (on a platform with a signed wchar_t) counts as white space.
    while (*p != L'\0' && static_cast<std::uint32_t>(*p) <= L' ') {
        ++p;
    }
    return p;
}

namespace {

const wchar_t* SkipSpaces(const wchar_t* p)
{
    while (*p == L' ') {
        ++p;
    }
    return p;
}

} // namespace

Command ParseCommand(const wchar_t* arguments)
{
    const wchar_t* p = arguments;
    while (*p == L' ' || *p == L'-' || *p == L'/') {
        ++p;
    }
    Command command;
    switch (*p) {
    case L'\0':
        command.mode = Mode::ConfigureAlone;
        break;
    case L'S':
    case L's':
        command.mode = Mode::Saver;
        break;
    case L'P':
    case L'p':
    case L'L':
    case L'l':
        command.mode = Mode::Preview;
        command.handle = ParseDecimal(SkipSpaces(p + 1));
        command.hasHandle = true;
        break;
    case L'A':
    case L'a':
        command.mode = Mode::ChangePassword;
        command.handle = ParseDecimal(SkipSpaces(p + 1));
        command.hasHandle = true;
        break;
    case L'C':
    case L'c':
        command.mode = Mode::Configure;
        // "/c 1234" does not name a window: only the colon form carries one.
        if (p[1] == L':') {
            command.handle = ParseDecimal(p + 2);
            command.hasHandle = true;
        }
        break;
    default:
        command.mode = Mode::Invalid;
        break;
    }
    return command;
}

std::uint32_t ManhattanDistance(Point a, Point b)
{
    const std::int64_t dx = static_cast<std::int64_t>(a.x) - b.x;
    const std::int64_t dy = static_cast<std::int64_t>(a.y) - b.y;
    const std::uint64_t sum =
        static_cast<std::uint64_t>(dx < 0 ? -dx : dx) + static_cast<std::uint64_t>(dy < 0 ? -dy : dy);
    return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sum);
}

bool MouseRule::MovedTooFar(Point position)
{
    if (ManhattanDistance(position, anchorPoint) <= limit) {
        return false;
    }
    anchorPoint = position;
    return true;
}

PowerVerdict ClassifyPowerBroadcast(std::uintptr_t event, std::intptr_t data)
{
    constexpr std::uintptr_t kResumeCritical = 6, kResumeSuspend = 7, kResumeStandby = 8;
    constexpr std::uintptr_t kPowerStatusChange = 10, kResumeAutomatic = 18;
    constexpr std::intptr_t kResumeFromFailure = 1;
    if (event < kResumeCritical) {
        return PowerVerdict::Close; // the suspend and standby queries and notices
    }
    if (event == kResumeCritical || event == kResumeSuspend || event == kResumeStandby || event == kResumeAutomatic) {
        return (data & kResumeFromFailure) != 0 ? PowerVerdict::Stay : PowerVerdict::Close;
    }
    if (event == kPowerStatusChange) {
        return PowerVerdict::CompareLineStatus;
    }
    return PowerVerdict::Close;
}

bool PowerNoticeCloses(std::uintptr_t event)
{
    constexpr std::uintptr_t kCriticalResume = 3;
    return event == kCriticalResume;
}

SaverShell::SaverShell(ShellSystem& shellSystem, const ShellOptions& options) : system(shellSystem), opts(options) {}

void SaverShell::Start(Point cursor, std::uint8_t lineStatus)
{
    mouse.SetAnchor(cursor);
    lastLineStatus = lineStatus;
}

SaverShell::Outcome SaverShell::PassOn(std::uint32_t message)
{
    if (opts.cancelAutoPlayMessage != 0 && message == opts.cancelAutoPlayMessage) {
        Close();
        // 1 tells the system to cancel AutoPlay: only a protected saver wants that.
        return {true, opts.verifierLoaded ? 1 : 0};
    }
    return {false, 0};
}

SaverShell::Outcome SaverShell::BaseMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    // A preview never closes itself, and after an approved close nothing counts.
    if (opts.previewMode || closeApproved) {
        return PassOn(message);
    }

    if (message == Message::Close) {
        if (opts.ownPasswordHandling && !ConfirmClose()) {
            mouse.SetAnchor(system.CursorPosition());
            return {true, 0};
        }
        return PassOn(message);
    }
    if (message == Message::Verify) {
        if (opts.ownPasswordHandling) {
            return {true, opts.verifierLoaded ? (system.CallVerifier() ? 1 : 0) : 1};
        }
        return PassOn(message);
    }
    if (passwordCheckActive) {
        return PassOn(message);
    }

    switch (message) {
    case Message::KeyDown:
    case Message::SysKeyDown:
    case Message::LButtonDown:
    case Message::RButtonDown:
    case Message::MButtonDown:
        Close();
        break;
    case Message::MouseMove:
        if (mouse.MovedTooFar(system.CursorPosition())) {
            Close();
        }
        break;
    case Message::ActivateApp:
        if (wParam == 0) {
            Close();
        }
        break;
    case Message::Power:
        if (PowerNoticeCloses(wParam)) {
            Close();
        }
        break;
    case Message::PowerBroadcast:
        switch (ClassifyPowerBroadcast(wParam, lParam)) {
        case PowerVerdict::Close:
            Close();
            break;
        case PowerVerdict::Stay:
            break;
        case PowerVerdict::CompareLineStatus: {
            const std::uint8_t previous = lastLineStatus;
            lastLineStatus = system.LineStatus();
            if (lastLineStatus != previous) {
                Close();
            }
            break;
        }
        }
        break;
    case Message::ShowWindow:
        if (wParam != 0) {
            system.HideCursor();
        }
        break;
    case Message::SetCursor:
        system.HideCursor();
        return {true, 1};
    default:
        break;
    }
    return PassOn(message);
}

bool SaverShell::ConfirmClose()
{
    if (passwordCheckActive) {
        return false;
    }
    if (!opts.verifierLoaded) {
        closeApproved = true;
        return true;
    }
    if (lastCheckTime != kNeverChecked && system.Milliseconds() - lastCheckTime < kRefusalWindowMs) {
        return false;
    }
    passwordCheckActive = true;
    system.DropPendingTimers();
    closeApproved = system.SendVerify();
    passwordCheckActive = false;
    if (!closeApproved) {
        system.HideCursor();
    }
    lastCheckTime = system.Milliseconds();
    return closeApproved;
}

} // namespace NS_ShellRules
