// The screen-saver shell's decisions, kept apart from the operating system so
// that native tests reach them: how the command line selects a mode, and when
// input, activation, power events and the password check let the saver close.
// The Windows window procedures translate messages into these calls and act on
// the answers; the X11 host uses the mouse rule.
#pragma once

#include <cstdint>

namespace NS_ShellRules {

// ---------------------------------------------------------------- command line

enum class Mode {
    Saver,          // full screen
    Preview,        // inside the window given by handle
    Configure,      // the about dialog, owned by handle or else the foreground window
    ConfigureAlone, // no arguments at all: the about dialog without an owner
    ChangePassword, // owner in handle
    Invalid,        // anything else: the program ends with -1
};

struct Command {
    Mode mode = Mode::Invalid;
    std::uint32_t handle = 0;
    // Only the configure mode can come without a number ("/c" alone); the
    // others always read one, possibly 0.
    bool hasHandle = false;
};

// Reads decimal digits up to the first other character. No sign and no
// overflow check: the value wraps modulo 2^32, as a window handle would.
std::uint32_t ParseDecimal(const wchar_t* text);

// Skips the program's own name (quoted or not) and the white space after it
// in a full process command line; returns where the arguments start.
const wchar_t* SkipProgramName(const wchar_t* commandLine);

// Reads the arguments the system gives a screen saver ("/s", "/p 1234",
// "/c:1234", "/a 1234", nothing) into a mode. Never reads past the terminator.
Command ParseCommand(const wchar_t* arguments);

// ---------------------------------------------------------------- mouse

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// The mouse may wander this far (horizontal plus vertical pixels) from where
// it was when the saver started before the saver closes.
constexpr std::uint32_t kMoveThreshold = 4;

// Distance |dx| + |dy| computed without overflow, saturated to 2^32 - 1.
std::uint32_t ManhattanDistance(Point a, Point b);

// Remembers the anchor position; small moves add up against it.
class MouseRule {
public:
    explicit MouseRule(std::uint32_t threshold = kMoveThreshold) : limit(threshold) {}
    void SetAnchor(Point position) { anchorPoint = position; }
    Point Anchor() const { return anchorPoint; }
    // True when position is farther than the threshold; the anchor then moves
    // there, so that the next decision starts from the new place.
    bool MovedTooFar(Point position);

private:
    Point anchorPoint;
    std::uint32_t limit;
};

// ---------------------------------------------------------------- power

constexpr std::uint8_t kLineStatusUnknown = 255;

enum class PowerVerdict {
    Close,
    Stay,
    // A power-status change: close only when the AC line status differs from
    // the last one seen.
    CompareLineStatus,
};

// WM_POWERBROADCAST by its event code and data.
PowerVerdict ClassifyPowerBroadcast(std::uintptr_t event, std::intptr_t data);
// WM_POWER (the older notice): only a critical resume closes.
bool PowerNoticeCloses(std::uintptr_t event);

// ---------------------------------------------------------------- the shell

// Window messages by the numbers Windows gives them; the Windows host checks
// them against its headers at compile time.
namespace Message {
constexpr std::uint32_t Destroy = 0x0002;
constexpr std::uint32_t Close = 0x0010;
constexpr std::uint32_t ShowWindow = 0x0018;
constexpr std::uint32_t ActivateApp = 0x001C;
constexpr std::uint32_t SetCursor = 0x0020;
constexpr std::uint32_t Power = 0x0048;
constexpr std::uint32_t KeyDown = 0x0100;
constexpr std::uint32_t SysKeyDown = 0x0104;
constexpr std::uint32_t MouseMove = 0x0200;
constexpr std::uint32_t LButtonDown = 0x0201;
constexpr std::uint32_t RButtonDown = 0x0204;
constexpr std::uint32_t MButtonDown = 0x0207;
constexpr std::uint32_t PowerBroadcast = 0x0218;
constexpr std::uint32_t Verify = 0x8000; // WM_APP: asks the password verifier
} // namespace Message

// What the shell needs from the system while it decides.
class ShellSystem {
public:
    virtual ~ShellSystem() = default;
    virtual Point CursorPosition() = 0;
    // 0 off-line, 1 on-line, kLineStatusUnknown when it cannot be read.
    virtual std::uint8_t LineStatus() = 0;
    // Posts a close request to the saver window.
    virtual void PostClose() = 0;
    virtual void HideCursor() = 0;
    // Milliseconds, wrapping (GetTickCount).
    virtual std::uint32_t Milliseconds() = 0;
    // Drops the saver window's pending timer messages: one left waiting would
    // reach the window from inside the password dialog's own message loop, in
    // the middle of the check. On Windows that is two PeekMessageW calls, since
    // each removes at most one message and each of a window's timers can have
    // one waiting.
    virtual void DropPendingTimers() = 0;
    // Sends the verification message to the saver window and returns the answer:
    // the system's password dialog shows while this runs.
    virtual bool SendVerify() = 0;
    // Calls the password library's verifier; only called when one is loaded.
    virtual bool CallVerifier() = 0;
};

struct ShellOptions {
    bool ownPasswordHandling = false; // the system leaves the password to the saver
    bool previewMode = false;
    bool verifierLoaded = false;
    std::uint32_t cancelAutoPlayMessage = 0; // 0 when not registered
};

// The default processing behind the scene's window procedure: decides whether
// a message closes the saver, and what it answers.
class SaverShell {
public:
    SaverShell(ShellSystem& system, const ShellOptions& options);

    // Result of BaseMessage: when handled is false the message goes on to the
    // system's default window procedure.
    struct Outcome {
        bool handled;
        std::intptr_t result;
    };
    Outcome BaseMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    // May the saver close now? Asks the password verifier when one is loaded,
    // but never twice at once nor within 200 ms after a refusal.
    bool ConfirmClose();

    // Where the saver started; also the line status seen at start.
    void Start(Point cursor, std::uint8_t lineStatus);
    void SetVerifierLoaded(bool loaded) { opts.verifierLoaded = loaded; }

    bool CloseApproved() const { return closeApproved; }
    bool PasswordCheckActive() const { return passwordCheckActive; }
    bool PreviewMode() const { return opts.previewMode; }
    Point Anchor() const { return mouse.Anchor(); }
    std::uint8_t LastLineStatus() const { return lastLineStatus; }

    static constexpr std::uint32_t kRefusalWindowMs = 200;
    static constexpr std::uint32_t kNeverChecked = 0xFFFFFFFFu;

private:
    void Close() { system.PostClose(); }
    Outcome PassOn(std::uint32_t message);

    ShellSystem& system;
    ShellOptions opts;
    MouseRule mouse;
    bool closeApproved = false;
    bool passwordCheckActive = false;
    std::uint8_t lastLineStatus = kLineStatusUnknown;
    std::uint32_t lastCheckTime = kNeverChecked;
};

} // namespace NS_ShellRules
