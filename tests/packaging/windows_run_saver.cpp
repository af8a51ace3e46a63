// Starts an installed velmora.scr with /s as Windows starts a screen saver,
// waits for its window, presses a key as a user would and reports how the
// saver ended. Exit code: the saver's own, or 100 and up for what went wrong.
//   windows_run_saver.exe C:\windows\system32\velmora.scr
#include <windows.h>

#include <cstdio>

#include "tests/support/win32_started_saver.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: windows_run_saver PATH\\velmora.scr\n");
        return 100;
    }
    velmora_test::Saver saver(L"/s", argv[1]);
    if (!saver.Started()) {
        std::fprintf(stderr, "cannot start the saver (error %lu)\n", saver.StartError());
        return 101;
    }
    // Up to 60 s on a busy machine.
    const HWND window = saver.WaitForSaverWindow(60000);
    if (window == nullptr) {
        std::fprintf(stderr, "the saver showed no full-screen window\n");
        return 102;
    }
    // Let it draw a few frames before the key, as a running saver would.
    Sleep(1000);
    PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0x00390001);
    PostMessageW(window, WM_KEYUP, VK_SPACE, 0xC0390001);
    int code = 1;
    if (!saver.WaitForExit(30000, code)) {
        std::fprintf(stderr, "the saver did not end within 30 s of the key\n");
        return 103;
    }
    std::printf("the saver ended with %d\n", code);
    return code;
}
