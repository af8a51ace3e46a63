// A measured run of the Windows saver, from the Windows side: starts it as the
// system does, then samples its working set, threads and handles every so often
// (GetProcessMemoryInfo, a thread snapshot, GetProcessHandleCount: the figures
// Windows itself keeps for the process), times its buffer swaps (when it is
// velmora-measure.scr, whose SwapBuffers notes each one), and at the end posts
// WM_CLOSE and times how long the process takes to end. Figures go to stdout.
//
//   win32_measure.exe [--seconds N] [--sample-every S] IMAGE ARGUMENTS...
//
// IMAGE lies beside this program.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/host/measured_figures.h"
#include "bench/host/win32_swap_log.h"
#include "tests/support/win32_started_saver.h"

namespace {

long Threads(DWORD processId)
{
    long count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

// Wine keeps no per-process handle count (GetProcessHandleCount answers 0, which
// no live process has on Windows), but it does keep the system's handle table,
// as Windows does: the process's entries there are its handles.
long HandlesInSystemTable(DWORD processId)
{
    struct Entry {
        ULONG ownerProcessId;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return -1;
    }
    constexpr int kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) {
            return -1;
        }
        break;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        if (table->entries[i].ownerProcessId == processId) {
            ++count;
        }
    }
    return count;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency)
{
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double CpuSeconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    auto value = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(value(kernel) + value(user)) / 1e7;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    double seconds = 30;
    double sampleEvery = 60;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::wcscmp(argv[first], L"--seconds") == 0 && first + 1 < argc) {
            seconds = _wtof(argv[++first]);
        } else if (std::wcscmp(argv[first], L"--sample-every") == 0 && first + 1 < argc) {
            sampleEvery = _wtof(argv[++first]);
        } else {
            break;
        }
    }
    if (first >= argc || seconds <= 0 || sampleEvery <= 0) {
        std::printf("usage: win32_measure.exe [--seconds N] [--sample-every S] IMAGE ARGUMENTS...\n");
        return 2;
    }

    const std::wstring mappingName = L"Local\\VelmoraSwapLog-" + std::to_wstring(GetCurrentProcessId());
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SwapLog), mappingName.c_str());
    const auto* swapLog =
        mapping != nullptr ? static_cast<const SwapLog*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    SetEnvironmentVariableW(kSwapLogVariable, mappingName.c_str());

    std::wstring arguments;
    for (int i = first + 1; i < argc; ++i) {
        arguments += (i > first + 1 ? L" " : L"") + std::wstring(argv[i]);
    }
    velmora_test::Saver saver(arguments, argv[first]);
    if (!saver.Started()) {
        std::printf("cannot start %ls: error %lu\n", argv[first], saver.StartError());
        return 1;
    }
    LARGE_INTEGER frequency, started;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    const HWND window = saver.FindWindowOf(L"WindowsScreenSaverClass", nullptr, nullptr, 60000);
    if (window == nullptr) {
        std::printf(saver.Running() ? "the saver showed no window within 60 s\n"
                                    : "the saver ended before it showed its window\n");
        return 1;
    }

    // Start-up (the background, the textures) is not part of the steady state.
    Sleep(3000);
    auto sample = [&] {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        velmora_bench::Sample s;
        s.minute = Seconds(started, now, frequency) / 60.0;
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        s.residentKiB = GetProcessMemoryInfo(saver.Process(), &memory, sizeof memory)
                            ? static_cast<long>(memory.WorkingSetSize / 1024)
                            : -1;
        s.threads = Threads(saver.ProcessId());
        DWORD handles = 0;
        s.handles = GetProcessHandleCount(saver.Process(), &handles) && handles > 0
                        ? static_cast<long>(handles)
                        : HandlesInSystemTable(saver.ProcessId());
        return s;
    };
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    // For measured-run, which adds what Linux sees of the process over the same stretch.
    std::printf("stretch begins\n");
    std::fflush(stdout);
    const double cpuFrom = CpuSeconds(saver.Process());
    const std::uint64_t swapsFrom = swapLog != nullptr ? swapLog->swaps : 0;
    std::vector<velmora_bench::Sample> series{sample()};
    bool ended = false;
    for (double next = sampleEvery;; next += sampleEvery) {
        const double at = next < seconds ? next : seconds;
        for (;;) {
            QueryPerformanceCounter(&to);
            const double left = at - Seconds(from, to, frequency);
            if (left <= 0) {
                break;
            }
            if (WaitForSingleObject(saver.Process(), static_cast<DWORD>(left * 1000) + 1) == WAIT_OBJECT_0) {
                ended = true;
                break;
            }
        }
        if (ended) {
            std::printf("the saver ended during the run\n");
            break;
        }
        series.push_back(sample());
        if (next >= seconds) {
            break;
        }
    }
    QueryPerformanceCounter(&to);
    const double elapsed = Seconds(from, to, frequency);
    const double cpu = CpuSeconds(saver.Process()) - cpuFrom;
    const std::uint64_t swapsTo = swapLog != nullptr ? swapLog->swaps : 0;
    MemoryBarrier();
    std::printf("stretch ends\n");
    std::fflush(stdout);
    Sleep(500);

    std::printf("program     %ls\n", argv[first]);
    std::printf("interval    %.1f s\n", elapsed);
    if (cpu > 0) {
        // Under Wine the OpenGL driver's own threads are Unix threads, not among these.
        std::printf("cpu         %.1f %% of one core in its Windows threads\n", 100.0 * cpu / elapsed);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(saver.Process(), &memory, sizeof memory)) {
        std::printf("memory      %lu KiB working set, %lu KiB at most\n",
                    static_cast<unsigned long>(memory.WorkingSetSize / 1024),
                    static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
    }
    velmora_bench::PrintSeries(series, "handles");
    if (swapLog != nullptr && swapsTo > swapsFrom) {
        std::vector<double> stampsMs;
        const std::uint64_t kept = swapsTo - swapsFrom < kSwapLogCapacity ? swapsTo - swapsFrom : kSwapLogCapacity;
        for (std::uint64_t swap = swapsTo - kept; swap < swapsTo; ++swap) {
            stampsMs.push_back(1000.0 * double(swapLog->stamps[swap % kSwapLogCapacity]) / double(frequency.QuadPart));
        }
        velmora_bench::PrintPacing(stampsMs);
    } else {
        std::printf("pacing: no swaps noted (only velmora-measure.scr notes them)\n");
    }
    if (ended) {
        return 1;
    }

    LARGE_INTEGER closing, closed;
    QueryPerformanceCounter(&closing);
    PostMessageW(window, WM_CLOSE, 0, 0);
    int code = 0;
    const bool closedInTime = saver.WaitForExit(10000, code);
    QueryPerformanceCounter(&closed);
    if (closedInTime) {
        std::printf("WM_CLOSE to process exit: %.1f ms (exit code %d)\n", 1000.0 * Seconds(closing, closed, frequency),
                    code);
    } else {
        std::printf("WM_CLOSE to process exit: did not end within 10 s\n");
    }
    return closedInTime ? 0 : 1;
}
