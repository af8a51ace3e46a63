// Preloaded into a GL program for a measured run: counts its glXSwapBuffers
// or eglSwapBuffers calls (XScreenSaver's own GL hacks draw through EGL), one per frame, in a file that the measuring
// program maps, so that the count costs no system call per frame and survives however the program ends.
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

using SwapBuffers = void (*)(Display*, GLXDrawable);
// EGL's types, spelled out so that no EGL header is needed.
using EglSwapBuffers = unsigned (*)(void*, void*);

SwapBuffers realSwap = nullptr;
EglSwapBuffers realEglSwap = nullptr;
bool initialised = false;
std::uint64_t* frames = nullptr;

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
    if (ftruncate(file, sizeof(std::uint64_t)) == 0) {
        void* mapped = mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        if (mapped != MAP_FAILED)
            frames = static_cast<std::uint64_t*>(mapped);
    }
    close(file);
}

} // namespace

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    // A GL program swaps from one thread; the first swap sets up before any other.
    if (!initialised)
        Initialise();
    if (realSwap != nullptr)
        realSwap(display, drawable);
    if (frames != nullptr)
        __atomic_add_fetch(frames, 1, __ATOMIC_RELAXED);
}

extern "C" unsigned eglSwapBuffers(void* display, void* surface)
{
    if (!initialised)
        Initialise();
    const unsigned result = realEglSwap != nullptr ? realEglSwap(display, surface) : 0;
    if (frames != nullptr)
        __atomic_add_fetch(frames, 1, __ATOMIC_RELAXED);
    return result;
}
