// Linked into velmora-measure.scr with -Wl,--wrap=__imp_SwapBuffers: the saver's
// call to SwapBuffers goes through the import pointer __imp_SwapBuffers, which
// the linker then takes from here. Each swap is passed on and its return noted
// in the mapping that win32_measure.exe made; without one nothing is noted.
#include <windows.h>

#include "bench/host/win32_swap_log.h"

extern "C" {
extern BOOL(WINAPI* __real___imp_SwapBuffers)(HDC);
BOOL WINAPI MeasuredSwapBuffers(HDC deviceContext);
BOOL(WINAPI* __wrap___imp_SwapBuffers)(HDC) = MeasuredSwapBuffers;
}

namespace {

SwapLog* OpenLog()
{
    wchar_t name[128] = {};
    if (GetEnvironmentVariableW(kSwapLogVariable, name, 128) == 0) {
        return nullptr;
    }
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name);
    if (mapping == nullptr) {
        return nullptr;
    }
    // The view stays for the life of the process.
    auto* log = static_cast<SwapLog*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SwapLog)));
    if (log != nullptr) {
        for (std::uint64_t i = 0; i < kSwapLogCapacity; ++i) {
            log->stamps[i] = 0;
        }
    }
    return log;
}

} // namespace

BOOL WINAPI MeasuredSwapBuffers(HDC deviceContext)
{
    // Only the scene's worker swaps: the first swap opens the log before any other.
    static SwapLog* const log = OpenLog();
    const BOOL swapped = __real___imp_SwapBuffers(deviceContext);
    if (log != nullptr) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const std::uint64_t index = log->swaps;
        log->stamps[index % kSwapLogCapacity] = now.QuadPart;
        MemoryBarrier();
        log->swaps = index + 1;
    }
    return swapped;
}
