// A measured run of a GL program on the current X display: its CPU use, frame
// rate and memory over a stretch of time, its resident memory, threads and open
// descriptors every so often (a soak), the pacing of its buffer swaps, and, with
// --key-ends-it, how long it takes from a key press to its exit. Figures go to
// stdout; no pass or fail.
//
//   x11_measure [--seconds N] [--sample-every S] [--key-ends-it] -- PROGRAM ARGUMENTS...
//
// The swaps come from x11_swap_counter.so, preloaded into the program.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/host/measured_figures.h"
#include "bench/host/x11_swap_log.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double cpuSeconds = 0;
    std::uint64_t frames = 0;
    Clock::time_point at;
};

std::uint64_t Swaps(const SwapLog* log)
{
    return __atomic_load_n(&log->swaps, __ATOMIC_ACQUIRE);
}

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The command name in parentheses may hold spaces; the fields follow it.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            utime = std::stoul(field);
        if (index == 15) {
            stime = std::stoul(field);
            break;
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long StatusKilobytes(pid_t pid, const char* key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key) + 1);
    return -1;
}

long OpenDescriptors(pid_t pid)
{
    DIR* directory = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (directory == nullptr)
        return -1;
    long count = 0;
    while (const dirent* entry = readdir(directory))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(directory);
    return count;
}

velmora_bench::Sample Resources(pid_t pid, Clock::time_point started)
{
    velmora_bench::Sample sample;
    sample.minute = std::chrono::duration<double>(Clock::now() - started).count() / 60.0;
    sample.residentKiB = StatusKilobytes(pid, "VmRSS:");
    sample.threads = StatusKilobytes(pid, "Threads:");
    sample.handles = OpenDescriptors(pid);
    return sample;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 30;
    double sampleEvery = 60;
    bool keyEndsIt = false;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string argument = argv[first];
        if (argument == "--seconds" && first + 1 < argc)
            seconds = std::atof(argv[++first]);
        else if (argument == "--sample-every" && first + 1 < argc)
            sampleEvery = std::atof(argv[++first]);
        else if (argument == "--key-ends-it")
            keyEndsIt = true;
        else if (argument == "--") {
            ++first;
            break;
        } else {
            std::fprintf(stderr, "usage: x11_measure [--seconds N] [--sample-every S] [--key-ends-it] -- PROGRAM "
                                 "ARGUMENTS...\n");
            return 2;
        }
    }
    if (first >= argc || seconds <= 0 || sampleEvery <= 0) {
        std::fprintf(stderr, "x11_measure: no program to run, or no time to run it for\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_measure: cannot open the X display\n");
        return 1;
    }
    // The pointer rests inside the window-to-be, so that only the key ends it.
    XTestFakeMotionEvent(display, DefaultScreen(display), 300, 300, CurrentTime);
    XSync(display, False);

    const std::string counterPath = "/tmp/x11_measure-" + std::to_string(getpid()) + ".frames";
    const int counterFile = open(counterPath.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (counterFile < 0 || ftruncate(counterFile, sizeof(SwapLog)) != 0)
        return 1;
    void* mapped = mmap(nullptr, sizeof(SwapLog), PROT_READ | PROT_WRITE, MAP_SHARED, counterFile, 0);
    close(counterFile);
    if (mapped == MAP_FAILED)
        return 1;
    const auto* swapLog = static_cast<const SwapLog*>(mapped);

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    environment.push_back(std::string("LD_PRELOAD=") + VELMORA_SWAP_COUNTER_LIBRARY);
    environment.push_back("VELMORA_SWAP_COUNTER=" + counterPath);
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[first], nullptr, nullptr, argv + first, envp.data()) != 0) {
        std::fprintf(stderr, "x11_measure: cannot start %s\n", argv[first]);
        return 1;
    }
    const Clock::time_point started = Clock::now();
    // Start-up (the background, the textures) is not part of the steady state.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const Sample start{CpuSeconds(pid), Swaps(swapLog), Clock::now()};
    std::vector<velmora_bench::Sample> series{Resources(pid, started)};
    const Clock::time_point until =
        start.at + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (Clock::time_point next = start.at;;) {
        next += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(sampleEvery));
        std::this_thread::sleep_until(std::min(next, until));
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::printf("the program ended during the run (status %d)\n", status);
            return 1;
        }
        series.push_back(Resources(pid, started));
        if (next >= until)
            break;
    }
    const Sample end{CpuSeconds(pid), Swaps(swapLog), Clock::now()};
    const double elapsed = std::chrono::duration<double>(end.at - start.at).count();
    std::vector<double> stampsMs;
    const std::uint64_t kept = std::min<std::uint64_t>(end.frames - start.frames, kSwapLogCapacity);
    for (std::uint64_t swap = end.frames - kept; swap < end.frames; ++swap)
        stampsMs.push_back(static_cast<double>(swapLog->stamps[swap % kSwapLogCapacity]) / 1e6);

    std::printf("program     %s\n", argv[first]);
    std::printf("interval    %.1f s\n", elapsed);
    std::printf("frames      %llu (%.1f per second)\n", static_cast<unsigned long long>(end.frames - start.frames),
                static_cast<double>(end.frames - start.frames) / elapsed);
    std::printf("cpu         %.1f %% of one core\n", 100.0 * (end.cpuSeconds - start.cpuSeconds) / elapsed);
    std::printf("memory      %ld KiB resident, %ld KiB at most\n", StatusKilobytes(pid, "VmRSS:"),
                StatusKilobytes(pid, "VmHWM:"));
    velmora_bench::PrintSeries(series, "fds");
    velmora_bench::PrintPacing(stampsMs);

    int status = 0;
    if (keyEndsIt) {
        const KeyCode code = XKeysymToKeycode(display, XK_space);
        const Clock::time_point pressed = Clock::now();
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XSync(display, False);
        while (waitpid(pid, &status, WNOHANG) != pid) {
            if (Clock::now() - pressed > std::chrono::seconds(10)) {
                std::printf("key to exit not ended after 10 s\n");
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        std::printf("key to exit %.1f ms (exit code %d)\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - pressed).count(),
                    WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    } else {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }
    munmap(mapped, sizeof(SwapLog));
    unlink(counterPath.c_str());
    XCloseDisplay(display);
    return 0;
}
