// Measures how long velmora.scr takes from WM_CLOSE to the end of its process:
// finds the running full-screen saver, posts the close and waits.
#include <windows.h>

#include <cstdio>

int main()
{
    HWND window = FindWindowW(L"WindowsScreenSaverClass", L"Screen Saver");
    if (window == nullptr) {
        std::printf("no saver window\n");
        return 1;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD waited = WaitForSingleObject(process, 10000);
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    std::printf("WM_CLOSE to process exit: %.1f ms (exit code %ld)%s\n",
                double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart), static_cast<long>(code),
                waited == WAIT_OBJECT_0 ? "" : " - did not end within 10 s");
    return waited == WAIT_OBJECT_0 ? 0 : 1;
}
