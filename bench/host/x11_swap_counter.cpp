// Preloaded into a GL program for a measured run: counts its glXSwapBuffers
// or eglSwapBuffers calls (XScreenSaver's own GL hacks draw through EGL), one per
// frame, and notes when each returned, in a file that the measuring program maps,
// so that the record costs no system call per frame and survives however the
// program ends. The layout is SwapLog (x11_swap_log.h).
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "bench/host/x11_swap_log.h"

namespace {

using SwapBuffers = void (*)(Display*, GLXDrawable);
// EGL's types, spelled out so that no EGL header is needed.
using EglSwapBuffers = unsigned (*)(void*, void*);

SwapBuffers realSwap = nullptr;
EglSwapBuffers realEglSwap = nullptr;
bool initialised = false;
SwapLog* log = nullptr;

void Initialise()
{
    initialised = true;
    realSwap = reinterpret_cast<SwapBuffers>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    realEglSwap = reinterpret_cast<EglSwapBuffers>(dlsym(RTLD_NEXT, "eglSwapBuffers"));
    const char* path = std::getenv("VELMORA_SWAP_COUNTER");
    if (path == nullptr)
        return;
    const int file = open(path, O_RDWR | O_CREAT, 0644);
    if (file < 0)
        return;
    if (ftruncate(file, sizeof(SwapLog)) == 0) {
        void* mapped = mmap(nullptr, sizeof(SwapLog), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        if (mapped != MAP_FAILED) {
            log = static_cast<SwapLog*>(mapped);
            for (std::uint64_t i = 0; i < kSwapLogCapacity; ++i)
                log->stamps[i] = 0;
        }
    }
    close(file);
}

void Note()
{
    if (log == nullptr)
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // One thread swaps; the count is published after its stamp is in place.
    const std::uint64_t index = __atomic_load_n(&log->swaps, __ATOMIC_RELAXED);
    log->stamps[index % kSwapLogCapacity] = std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    __atomic_store_n(&log->swaps, index + 1, __ATOMIC_RELEASE);
}

} // namespace

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    // A GL program swaps from one thread; the first swap sets up before any other.
    if (!initialised)
        Initialise();
    if (realSwap != nullptr)
        realSwap(display, drawable);
    Note();
}

extern "C" unsigned eglSwapBuffers(void* display, void* surface)
{
    if (!initialised)
        Initialise();
    const unsigned result = realEglSwap != nullptr ? realEglSwap(display, surface) : 0;
    Note();
    return result;
}
