// The Windows test driver's tools beside the saver it starts
// (tests/support/win32_started_saver.h): the test build's environment, the
// windows of a class, a dialog's texts, the password setting and screenshots.
// Runs under Wine here and unchanged on Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/win32_started_saver.h"

namespace velmora_driver {

// The saver started, its windows found and its end waited for.
using velmora_test::OwnDirectory;
using velmora_test::OwnFile;
using velmora_test::PumpFor;
using velmora_test::PumpUntil;
using velmora_test::Saver;
using velmora_test::WindowText;

// Moves the pointer as a hand on the mouse would and waits (pumping this
// thread's messages) until GetCursorPos reports it there; false when it never
// did. On Windows that is SetCursorPos. Under Wine it is a move of the X
// pointer itself (xdotool, through the XTEST extension), which reaches every
// window as a real move: Wine's SetCursorPos leaves the X pointer where it is
// while a full-screen window holds Wine's pointer grab, or while Wine's desktop
// is starting, and GetCursorPos reports a position set that way for 100 ms
// only, then the X pointer again.
bool MovePointer(int x, int y, DWORD timeoutMs = 60000);

// How long a test waits for a window's answer to a sent message: a bound for a
// busy machine, and no SMTO_ABORTIFHUNG, whose idea of a hung window is five
// seconds without reading messages.
constexpr UINT kAnswerBoundMs = 60000;

// The environment of velmora-test.scr, the saver's test build, for the savers
// started while one of these lives: a scene that fails on the given tick (0:
// never), and the files where that build notes when the scene failed and how
// many rendering contexts the run made and deleted.
class TestBuildRun {
public:
    explicit TestBuildRun(unsigned failAtCycle = 0);
    TestBuildRun(const TestBuildRun&) = delete;
    TestBuildRun& operator=(const TestBuildRun&) = delete;
    ~TestBuildRun();

    // "made N deleted M", or empty before the saver has ended.
    std::string Contexts() const;
    // When the scene failed, on the steady clock (SteadyMilliseconds); -1 if it did not.
    long long FailedAt() const;

private:
    std::wstring contextLog;
    std::wstring failureLog;
};

// The steady clock in milliseconds, the same in every process of the machine.
long long SteadyMilliseconds();

// Every visible top-level window of the class, in any process.
std::vector<HWND> WindowsOfClass(const wchar_t* className);

// The texts of a dialog's static controls (a message box's text among them).
std::vector<std::wstring> StaticTexts(HWND dialog);

// Sets or deletes HKCU\Control Panel\Desktop\ScreenSaveUsePassword.
void SetUsePassword(bool on);

// True when GetVersionExW reports the family that leaves the password to the saver.
bool OwnPasswordFamily();

// A screenshot of the whole X screen, taken with xwd (Wine starts Unix programs).
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
bool TakeScreenshot(const std::wstring& path, Screenshot& shot, std::string& error);

} // namespace velmora_driver
