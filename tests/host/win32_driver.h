// The Windows test driver's tools: starts velmora.scr as the system does
// (CreateProcessW with a screen-saver command line), finds its windows, sends
// them input and messages, and watches how the process ends. Runs under Wine
// here and unchanged on Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora_driver {

// The directory the driver lives in (velmora.scr and PASSWORD.CPL sit beside it).
std::wstring OwnDirectory();

class Saver {
public:
    // Starts "<dir>\<image> <arguments>" with the current environment; the
    // image is velmora.scr, or velmora-test.scr, the saver's test build.
    explicit Saver(const std::wstring& arguments, const wchar_t* image = L"velmora.scr");
    Saver(const Saver&) = delete;
    Saver& operator=(const Saver&) = delete;
    // Ends a process that a test left running.
    ~Saver();

    bool Started() const { return process.hProcess != nullptr; }
    // Why CreateProcessW failed (GetLastError), or 0.
    DWORD StartError() const { return startError; }
    DWORD ProcessId() const { return process.dwProcessId; }
    HANDLE Process() const { return process.hProcess; }

    // Waits (pumping this thread's messages) for the process to end; true when
    // it did within the time, with its exit code in code.
    bool WaitForExit(DWORD timeoutMs, int& code);
    bool Running() const;

    // A visible top-level or child window of this process with the class and
    // title, or null. The time-outs are bounds for a busy machine: the waits
    // end as soon as the window is there.
    HWND FindWindowOf(const wchar_t* className, const wchar_t* title, HWND parent = nullptr, DWORD timeoutMs = 60000);
    // The full-screen saver window, waited for; null when it never came.
    HWND WaitForSaverWindow(DWORD timeoutMs = 60000);

    // Threads whose start address lies inside velmora.scr's own image: the
    // main thread and, while the scene runs, the engine's worker.
    int OwnThreads() const;

private:
    std::wstring imageName;
    PROCESS_INFORMATION process{};
    DWORD startError = 0;
};

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

// Pumps this thread's messages for the given time.
void PumpFor(DWORD ms);

// Pumps this thread's messages until `done` holds or the bound passes; whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD boundMs = 60000);

// Every visible top-level window of the class, in any process.
std::vector<HWND> WindowsOfClass(const wchar_t* className);

std::wstring WindowText(HWND window);

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
