// velmora.scr started as the system starts a screen saver (CreateProcessW with
// a screen-saver command line), its windows found and its end waited for,
// with the caller's messages pumped meanwhile. The Windows test driver, the
// installer test and the measured run all start the saver this way. Runs
// under Wine here and unchanged on Windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmora_test {

// The directory the running program lives in.
std::wstring OwnDirectory();
// A file of this suite's own, in its Wine prefix's temporary folder: suites run
// in parallel from one build folder, each in a prefix of its own, and the tests
// of one suite take their prefix in turn.
std::wstring OwnFile(const std::wstring& name);

class Saver {
public:
    // Starts "<image> <arguments>" with the current environment: the image is
    // a file beside this program (velmora.scr, or velmora-test.scr, the
    // saver's test build) or a full path.
    explicit Saver(const std::wstring& arguments, const std::wstring& image = L"velmora.scr");
    Saver(const Saver&) = delete;
    Saver& operator=(const Saver&) = delete;
    // Ends a process left running (exit code 99).
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
    // (unless null) title, or null once the process has ended. The time-outs
    // are bounds for a busy machine: the waits end as soon as the window is
    // there.
    HWND FindWindowOf(const wchar_t* className, const wchar_t* title, HWND parent = nullptr, DWORD timeoutMs = 60000);
    // The full-screen saver window, waited for; null when it never came.
    HWND WaitForSaverWindow(DWORD timeoutMs = 60000);

    // Threads whose start address lies inside the saver's own image: the
    // main thread and, while the scene runs, the engine's worker.
    int OwnThreads() const;

private:
    std::wstring imageName;
    PROCESS_INFORMATION process{};
    DWORD startError = 0;
};

// Pumps this thread's messages for the given time.
void PumpFor(DWORD ms);

// Pumps this thread's messages until `done` holds or the bound passes; whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD boundMs = 60000);

std::wstring WindowText(HWND window);

} // namespace velmora_test
