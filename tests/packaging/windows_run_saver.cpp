// Starts an installed velmora.scr with /s as Windows starts a screen saver,
// waits for its window, presses a key as a user would and reports how the
// saver ended. Exit code: the saver's own, or 100 and up for what went wrong.
//   windows_run_saver.exe C:\windows\system32\velmora.scr
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/support/wait_until.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: windows_run_saver PATH\\velmora.scr\n");
        return 100;
    }
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" /s";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start the saver (error %lu)\n", GetLastError());
        return 101;
    }
    CloseHandle(process.hThread);

    // Up to 60 s on a busy machine; the wait on the process paces the looks.
    HWND window = nullptr;
    velmora_test::WaitUntil(std::chrono::seconds(60), std::chrono::milliseconds(0), [&] {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
            return true;
        }
        HWND found = FindWindowW(L"WindowsScreenSaverClass", L"Screen Saver");
        DWORD owner = 0;
        if (found != nullptr && GetWindowThreadProcessId(found, &owner) != 0 && owner == process.dwProcessId) {
            window = found;
        }
        return window != nullptr;
    });
    if (window == nullptr) {
        std::fprintf(stderr, "the saver showed no full-screen window\n");
        TerminateProcess(process.hProcess, 1);
        return 102;
    }
    // Let it draw a few frames before the key, as a running saver would.
    Sleep(1000);
    PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(window, WM_KEYUP, VK_SPACE, 0xC0390001);
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the saver did not end within 30 s of the key\n");
        TerminateProcess(process.hProcess, 1);
        return 103;
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("the saver ended with %ld\n", static_cast<long>(code));
    return static_cast<int>(code);
}
