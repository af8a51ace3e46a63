// velmora-wayland-test-client: what a person's devices and windows are to a
// Wayland compositor, for the tests that drive a saver through one.
//
//   velmora-wayland-test-client pointer      a mouse (zwlr_virtual_pointer_v1) that
//                                            takes commands on descriptor 3
//   velmora-wayland-test-client window RRGGBB a window of one colour (xdg-shell)
//
// The mouse exists from its start, as a real one does before a saver starts. Its
// commands, one a line: "move DX DY" (relative, in pixels), "click" (the left
// button pressed and released), "sync" (nothing); each is answered "ok" on the
// same descriptor once the compositor has taken it. The window prints "shown" once the
// compositor has drawn it, and stays until it is killed.
#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/wayland_xdg_shell_protocol.h"
#include "tests/wayland_virtual_pointer_protocol.h"

namespace {

struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* shell = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
};

void Announced(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        globals->compositor =
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        globals->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        globals->shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        globals->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void Removed(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener{Announced, Removed};

std::uint32_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

int Pointer(wl_display* display, const Globals& globals)
{
    if (globals.pointers == nullptr) {
        std::fprintf(stderr, "velmora-wayland-test-client: the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointers, nullptr);
    wl_display_roundtrip(display);
    FILE* commands = fdopen(3, "r");
    FILE* answers = fdopen(dup(3), "w");
    if (commands == nullptr || answers == nullptr) {
        std::fprintf(stderr, "velmora-wayland-test-client: no command descriptor 3\n");
        return 1;
    }
    std::setvbuf(answers, nullptr, _IOLBF, 0);
    char line[128];
    while (std::fgets(line, sizeof line, commands) != nullptr) {
        int dx = 0, dy = 0;
        if (std::sscanf(line, "move %d %d", &dx, &dy) == 2) {
            zwlr_virtual_pointer_v1_motion(pointer, NowMs(), wl_fixed_from_int(dx), wl_fixed_from_int(dy));
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (std::strncmp(line, "sync", 4) == 0) {
        } else if (std::strncmp(line, "click", 5) == 0) {
            zwlr_virtual_pointer_v1_button(pointer, NowMs(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, NowMs(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else {
            std::fprintf(answers, "unknown command\n");
            continue;
        }
        // The compositor has handed the events on once it answers this.
        if (wl_display_roundtrip(display) < 0)
            return 1;
        std::fprintf(answers, "ok\n");
    }
    return 0;
}

struct Window {
    const Globals* globals = nullptr;
    wl_surface* surface = nullptr;
    xdg_surface* shellSurface = nullptr;
    std::uint32_t colour = 0;
    int width = 400;
    int height = 300;
    bool shown = false;
};

wl_buffer* FilledBuffer(const Window& window)
{
    const int stride = window.width * 4;
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(window.height);
    const int file = memfd_create("velmora-test-window", MFD_CLOEXEC);
    if (file < 0 || ftruncate(file, static_cast<off_t>(size)) != 0)
        return nullptr;
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    if (mapped == MAP_FAILED) {
        close(file);
        return nullptr;
    }
    auto* pixels = static_cast<std::uint32_t*>(mapped);
    for (std::size_t i = 0; i < size / 4; ++i)
        pixels[i] = 0xFF000000u | window.colour;
    munmap(mapped, size);
    wl_shm_pool* pool = wl_shm_create_pool(window.globals->shm, file, static_cast<std::int32_t>(size));
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, window.width, window.height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(file);
    return buffer;
}

void FrameDone(void* data, wl_callback* callback, std::uint32_t)
{
    auto* window = static_cast<Window*>(data);
    wl_callback_destroy(callback);
    if (!window->shown) {
        window->shown = true;
        std::printf("shown\n");
        std::fflush(stdout);
    }
}

const wl_callback_listener kFrameListener{FrameDone};

void Configured(void* data, xdg_surface* shellSurface, std::uint32_t serial)
{
    auto* window = static_cast<Window*>(data);
    xdg_surface_ack_configure(shellSurface, serial);
    wl_buffer* buffer = FilledBuffer(*window);
    if (buffer == nullptr) {
        std::fprintf(stderr, "velmora-wayland-test-client: cannot make a buffer\n");
        std::exit(1);
    }
    wl_surface_attach(window->surface, buffer, 0, 0);
    wl_surface_damage(window->surface, 0, 0, window->width, window->height);
    wl_callback_add_listener(wl_surface_frame(window->surface), &kFrameListener, window);
    wl_surface_commit(window->surface);
}

const xdg_surface_listener kShellSurfaceListener{Configured};

void ToplevelConfigured(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*)
{
    auto* window = static_cast<Window*>(data);
    if (width > 0 && height > 0) {
        window->width = width;
        window->height = height;
    }
}

void ToplevelClosed(void*, xdg_toplevel*)
{
    std::exit(0);
}

void ToplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}

void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener kToplevelListener{ToplevelConfigured, ToplevelClosed, ToplevelBounds, ToplevelCapabilities};

void Pinged(void*, xdg_wm_base* shell, std::uint32_t serial)
{
    xdg_wm_base_pong(shell, serial);
}

const xdg_wm_base_listener kShellListener{Pinged};

int ShowWindow(wl_display* display, const Globals& globals, std::uint32_t colour)
{
    if (globals.compositor == nullptr || globals.shm == nullptr || globals.shell == nullptr) {
        std::fprintf(stderr, "velmora-wayland-test-client: the compositor offers no xdg-shell windows\n");
        return 1;
    }
    Window window;
    window.globals = &globals;
    window.colour = colour;
    xdg_wm_base_add_listener(globals.shell, &kShellListener, nullptr);
    window.surface = wl_compositor_create_surface(globals.compositor);
    window.shellSurface = xdg_wm_base_get_xdg_surface(globals.shell, window.surface);
    xdg_surface_add_listener(window.shellSurface, &kShellSurfaceListener, &window);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(window.shellSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevelListener, &window);
    // The tests' compositor configuration finds the window by this.
    xdg_toplevel_set_app_id(toplevel, "velmora-test-window");
    xdg_toplevel_set_title(toplevel, "velmora-test-window");
    wl_surface_commit(window.surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string role = argc >= 2 ? argv[1] : "";
    if (!(argc == 2 && role == "pointer") && !(argc == 3 && role == "window")) {
        std::fprintf(stderr, "usage: velmora-wayland-test-client pointer | window RRGGBB\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "velmora-wayland-test-client: cannot connect to the Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    const int code = role == "pointer"
                         ? Pointer(display, globals)
                         : ShowWindow(display, globals, static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 16)));
    wl_display_disconnect(display);
    return code;
}
