#include "host/wayland_saver.h"

#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/close_rules.h"
#include "host/engine_run.h"
#include "host/frame_rate_overlay.h"
#include "host/layer_shell_rules.h"
#include "host/posix_signals.h"
#include "host/report.h"
#include "host/wayland_layer_shell_protocol.h"
#include "host/wayland_xdg_output_protocol.h"
#include "render/egl_window_draw_target.h"

namespace NS_WaylandSaver {

namespace {

using NS_CloseRules::Input;
using NS_SaverOptions::kExitFailure;
using NS_SaverOptions::kExitOk;

// The versions of the globals this host knows every event of.
constexpr std::uint32_t kCompositorVersion = 4; // wl_surface.set_buffer_scale
constexpr std::uint32_t kLayerShellVersion = 4;
constexpr std::uint32_t kOutputVersion = 3; // wl_output.scale and release
constexpr std::uint32_t kXdgOutputVersion = 3;
constexpr std::uint32_t kSeatVersion = 5; // the pointer's frame and axis events; release

// How often, at the latest, the loop looks at the worker while nothing happens.
constexpr int kPollMilliseconds = 250;

struct Session;

// One output of the desktop and the saver's surface on it.
struct Output {
    Session* session = nullptr;
    std::uint32_t name = 0; // the global's
    wl_output* output = nullptr;
    std::uint32_t version = 0;
    zxdg_output_v1* xdgOutput = nullptr;
    // Where it lies in the compositor's space, in logical pixels: from
    // xdg-output where there is one (wlroots' wl_output.geometry says 0, 0).
    int x = 0;
    int y = 0;
    bool placedByXdgOutput = false;
    std::int32_t scale = 1;
    std::uint32_t width = 0; // logical, as last configured
    std::uint32_t height = 0;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layerSurface = nullptr;
    int view = -1; // the drawing target's, while it draws into the surface
    bool gone = false;
    bool closed = false;
};

struct Seat {
    Session* session = nullptr;
    std::uint32_t name = 0;
    wl_seat* seat = nullptr;
    std::uint32_t version = 0;
    wl_keyboard* keyboard = nullptr;
    wl_pointer* pointer = nullptr;
    Output* focus = nullptr; // the output whose surface the pointer is on
};

// A `closed` waiting for the compositor to answer the sync sent after it.
struct ClosedCheck {
    Session* session = nullptr;
    std::uint32_t output = 0;
    wl_callback* callback = nullptr;
};

// Everything the host holds on the display, released in order however the
// run ends, and with no request that waits for an answer: a compositor that
// is stopped never gives one.
struct Session {
    explicit Session(NS_SaverOptions::Target on)
        : role(NS_LayerShellRules::RoleFor(on)), rules(NS_SaverOptions::ClosesOnInput(on))
    {
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    NS_LayerShellRules::SurfaceRole role;
    NS_CloseRules::CloseRules rules;
    bool ended = false; // the close rules ended it

    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    zxdg_output_manager_v1* xdgOutputs = nullptr;
    std::map<std::uint32_t, std::unique_ptr<Output>> outputs; // by global name
    // Outputs gone whose surfaces wait for the worker to let go of them. An
    // output whose surface the compositor closed stays among the outputs.
    std::vector<std::unique_ptr<Output>> leaving;
    std::map<std::uint32_t, std::unique_ptr<Seat>> seats;
    std::vector<std::unique_ptr<ClosedCheck>> closedChecks;
    // Made once the globals are known; destroyed (after the engine stopped)
    // before the surfaces it draws into.
    std::unique_ptr<NS_EglWindowTarget::WindowsTarget> target;
};

int Fail(const std::string& message)
{
    NS_Report::Line(message);
    return kExitFailure;
}

// libwayland's own messages are for its developers; what went wrong reaches
// a person as the one line of the host.
void IgnoreLog(const char*, va_list) {}

void DestroySurface(Output& output)
{
    if (output.layerSurface != nullptr)
        zwlr_layer_surface_v1_destroy(output.layerSurface);
    if (output.surface != nullptr)
        wl_surface_destroy(output.surface);
    output.layerSurface = nullptr;
    output.surface = nullptr;
    output.view = -1;
}

void DestroyOutput(Output& output)
{
    DestroySurface(output);
    if (output.xdgOutput != nullptr)
        zxdg_output_v1_destroy(output.xdgOutput);
    if (output.output != nullptr) {
        if (output.version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
            wl_output_release(output.output);
        else
            wl_output_destroy(output.output);
    }
    output.xdgOutput = nullptr;
    output.output = nullptr;
}

void DestroyDevices(Seat& seat)
{
    const bool release = seat.version >= WL_KEYBOARD_RELEASE_SINCE_VERSION;
    if (seat.keyboard != nullptr)
        release ? wl_keyboard_release(seat.keyboard) : wl_keyboard_destroy(seat.keyboard);
    if (seat.pointer != nullptr)
        release ? wl_pointer_release(seat.pointer) : wl_pointer_destroy(seat.pointer);
    seat.keyboard = nullptr;
    seat.pointer = nullptr;
    seat.focus = nullptr;
}

void DestroySeat(Seat& seat)
{
    DestroyDevices(seat);
    if (seat.seat != nullptr)
        seat.version >= WL_SEAT_RELEASE_SINCE_VERSION ? wl_seat_release(seat.seat) : wl_seat_destroy(seat.seat);
    seat.seat = nullptr;
}

Session::~Session()
{
    target.reset();
    for (auto& check : closedChecks)
        wl_callback_destroy(check->callback);
    for (auto& output : leaving)
        DestroyOutput(*output);
    for (auto& entry : outputs)
        DestroyOutput(*entry.second);
    for (auto& entry : seats)
        DestroySeat(*entry.second);
    if (xdgOutputs != nullptr)
        zxdg_output_manager_v1_destroy(xdgOutputs);
    if (layerShell != nullptr)
        zwlr_layer_shell_v1_destroy(layerShell);
    if (compositor != nullptr)
        wl_compositor_destroy(compositor);
    if (registry != nullptr)
        wl_registry_destroy(registry);
    if (display != nullptr)
        wl_display_disconnect(display);
}

void Feed(Session& session, Input input, int buttonOrX = 0, int y = 0)
{
    if (session.rules.Ends(input, buttonOrX, y))
        session.ended = true;
}

// The pointer's position on `seat`'s focus in the one space of all outputs.
void FeedPosition(Seat& seat, Input input, wl_fixed_t surfaceX, wl_fixed_t surfaceY)
{
    if (seat.focus == nullptr)
        return;
    const NS_LayerShellRules::Point at = NS_LayerShellRules::GlobalPosition(
        seat.focus->x, seat.focus->y, wl_fixed_to_double(surfaceX), wl_fixed_to_double(surfaceY));
    Feed(*seat.session, input, at.x, at.y);
}

Output* OutputOf(Session& session, wl_surface* surface)
{
    if (surface == nullptr)
        return nullptr;
    for (auto& entry : session.outputs)
        if (entry.second->surface == surface)
            return entry.second.get();
    return nullptr;
}

// The pointer. The compositor sends an enter, and often a motion that goes
// nowhere, as the surfaces appear under it: the close rules take the first
// position as the anchor.
void PointerEnter(void* data, wl_pointer* pointer, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
                  wl_fixed_t y)
{
    Seat& seat = *static_cast<Seat*>(data);
    seat.focus = OutputOf(*seat.session, surface);
    if (seat.focus == nullptr)
        return;
    // Over the saver the pointer is hidden, as over the X11 hack's full screen.
    wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
    FeedPosition(seat, Input::Enter, x, y);
}

void PointerLeave(void* data, wl_pointer*, std::uint32_t, wl_surface*)
{
    static_cast<Seat*>(data)->focus = nullptr;
}

void PointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    FeedPosition(*static_cast<Seat*>(data), Input::Motion, x, y);
}

void PointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t button, std::uint32_t state)
{
    if (state == WL_POINTER_BUTTON_STATE_PRESSED)
        Feed(*static_cast<Seat*>(data)->session, Input::Button, NS_LayerShellRules::XButton(button));
}

void PointerAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void PointerFrame(void*, wl_pointer*) {}
void PointerAxisSource(void*, wl_pointer*, std::uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void PointerAxisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
void PointerAxisValue120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}

const wl_pointer_listener kPointerListener = {
    PointerEnter, PointerLeave,      PointerMotion,   PointerButton,       PointerAxis,
    PointerFrame, PointerAxisSource, PointerAxisStop, PointerAxisDiscrete, PointerAxisValue120};

// The keyboard: a key pressed ends the saver. The keys already down when its
// surface takes the keyboard (enter) and every release do not.
void KeyboardKeymap(void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t)
{
    close(fd);
}

void KeyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void KeyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}

void KeyboardKey(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state)
{
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
        Feed(*static_cast<Seat*>(data)->session, Input::Key);
}

void KeyboardModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)
{
}
void KeyboardRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener kKeyboardListener = {KeyboardKeymap, KeyboardEnter,     KeyboardLeave,
                                                KeyboardKey,    KeyboardModifiers, KeyboardRepeatInfo};

void SeatCapabilities(void* data, wl_seat* handle, std::uint32_t capabilities)
{
    Seat& seat = *static_cast<Seat*>(data);
    const bool release = seat.version >= WL_KEYBOARD_RELEASE_SINCE_VERSION;
    const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (keyboard && seat.keyboard == nullptr) {
        seat.keyboard = wl_seat_get_keyboard(handle);
        wl_keyboard_add_listener(seat.keyboard, &kKeyboardListener, &seat);
    } else if (!keyboard && seat.keyboard != nullptr) {
        release ? wl_keyboard_release(seat.keyboard) : wl_keyboard_destroy(seat.keyboard);
        seat.keyboard = nullptr;
    }
    if (pointer && seat.pointer == nullptr) {
        seat.pointer = wl_seat_get_pointer(handle);
        wl_pointer_add_listener(seat.pointer, &kPointerListener, &seat);
    } else if (!pointer && seat.pointer != nullptr) {
        release ? wl_pointer_release(seat.pointer) : wl_pointer_destroy(seat.pointer);
        seat.pointer = nullptr;
        seat.focus = nullptr;
    }
}

void SeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

// The output's place, size and scale. Only the scale reaches the surface; the
// place turns pointer positions into the one space of all outputs.
void OutputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t)
{
    Output& output = *static_cast<Output*>(data);
    if (!output.placedByXdgOutput) {
        output.x = x;
        output.y = y;
    }
}

void OutputMode(void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {}
void OutputDone(void*, wl_output*) {}

void OutputScale(void* data, wl_output*, std::int32_t factor)
{
    Output& output = *static_cast<Output*>(data);
    if (factor == output.scale)
        return;
    output.scale = factor;
    // The next frame has the new buffer scale and size; no configure comes
    // with it, since the logical size stays.
    if (output.view >= 0 && output.width > 0 && output.session->target) {
        const NS_LayerShellRules::BufferSize size = NS_LayerShellRules::BufferFor(output.width, output.height, factor);
        output.session->target->Resize(output.view, size.width, size.height, factor);
    }
}

void OutputName(void*, wl_output*, const char*) {}
void OutputDescription(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone,
                                            OutputScale,    OutputName, OutputDescription};

void XdgOutputPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y)
{
    Output& output = *static_cast<Output*>(data);
    output.x = x;
    output.y = y;
    output.placedByXdgOutput = true;
}

void XdgOutputSize(void*, zxdg_output_v1*, std::int32_t, std::int32_t) {}
void XdgOutputDone(void*, zxdg_output_v1*) {}
void XdgOutputName(void*, zxdg_output_v1*, const char*) {}
void XdgOutputDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kXdgOutputListener = {XdgOutputPosition, XdgOutputSize, XdgOutputDone, XdgOutputName,
                                                    XdgOutputDescription};

void WatchPosition(Session& session, Output& output)
{
    if (session.xdgOutputs == nullptr || output.xdgOutput != nullptr)
        return;
    output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(session.xdgOutputs, output.output);
    zxdg_output_v1_add_listener(output.xdgOutput, &kXdgOutputListener, &output);
}

// The compositor sizes the surface (anchored to every edge, it is the
// output's size) and the target answers with a frame of that size.
void LayerConfigure(void* data, zwlr_layer_surface_v1* layerSurface, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height)
{
    Output& output = *static_cast<Output*>(data);
    if (output.view < 0 || output.closed) {
        zwlr_layer_surface_v1_ack_configure(layerSurface, serial);
        return;
    }
    output.width = width;
    output.height = height;
    const NS_LayerShellRules::BufferSize size = NS_LayerShellRules::BufferFor(width, height, output.scale);
    output.session->target->Configure(output.view, size.width, size.height, output.scale, serial);
}

void ClosedCheckDone(void* data, wl_callback*, std::uint32_t);

const wl_callback_listener kClosedCheckListener = {ClosedCheckDone};

// The compositor closes a layer surface when its output goes away, and when it
// wants the surface gone for reasons of its own. Which it was shows once it
// answers a sync sent now: the output's global_remove, if it comes with the
// close, has reached the host by then.
void LayerClosed(void* data, zwlr_layer_surface_v1*)
{
    Output& output = *static_cast<Output*>(data);
    if (output.gone || output.closed)
        return;
    output.closed = true;
    Session& session = *output.session;
    session.target->RemoveView(output.view);
    auto check = std::make_unique<ClosedCheck>();
    check->session = &session;
    check->output = output.name;
    check->callback = wl_display_sync(session.display);
    wl_callback_add_listener(check->callback, &kClosedCheckListener, check.get());
    session.closedChecks.push_back(std::move(check));
}

void ClosedCheckDone(void* data, wl_callback* callback, std::uint32_t)
{
    ClosedCheck& check = *static_cast<ClosedCheck*>(data);
    Session& session = *check.session;
    // Still listed: the output is there, so the desktop closed the saver. A
    // wallpaper's rules let that pass; its output stays bare.
    if (session.outputs.count(check.output) != 0)
        Feed(session, Input::CloseRequest);
    wl_callback_destroy(callback);
    for (auto at = session.closedChecks.begin(); at != session.closedChecks.end(); ++at)
        if (at->get() == &check) {
            session.closedChecks.erase(at);
            break;
        }
}

const zwlr_layer_surface_v1_listener kLayerSurfaceListener = {LayerConfigure, LayerClosed};

// The saver's surface on the output, on its layer, covering it; the first
// commit, without a buffer, asks the compositor for the configure.
void MakeSurface(Session& session, Output& output)
{
    using NS_LayerShellRules::Layer;
    output.surface = wl_compositor_create_surface(session.compositor);
    const std::uint32_t layer =
        session.role.layer == Layer::Overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND;
    output.layerSurface =
        zwlr_layer_shell_v1_get_layer_surface(session.layerShell, output.surface, output.output, layer, "velmora");
    zwlr_layer_surface_v1_add_listener(output.layerSurface, &kLayerSurfaceListener, &output);
    zwlr_layer_surface_v1_set_size(output.layerSurface, 0, 0);
    zwlr_layer_surface_v1_set_anchor(output.layerSurface,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    // Over panels and docks too, and moving nothing else aside.
    zwlr_layer_surface_v1_set_exclusive_zone(output.layerSurface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        output.layerSurface, session.role.exclusiveKeyboard ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                                            : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    if (!session.role.takesPointer) {
        wl_region* nothing = wl_compositor_create_region(session.compositor);
        wl_surface_set_input_region(output.surface, nothing);
        wl_region_destroy(nothing);
    }
    wl_surface_commit(output.surface);
    zwlr_layer_surface_v1* layerSurface = output.layerSurface;
    output.view = session.target->AddView(output.surface, [layerSurface](std::uint32_t serial) {
        zwlr_layer_surface_v1_ack_configure(layerSurface, serial);
    });
}

// The output's surface is let go of: the worker stops drawing into it, and
// the output waits among the leaving until the worker has let go.
void Retire(Session& session, std::uint32_t name)
{
    const auto found = session.outputs.find(name);
    if (found == session.outputs.end())
        return;
    Output& output = *found->second;
    output.gone = true;
    for (auto& seat : session.seats)
        if (seat.second->focus == &output)
            seat.second->focus = nullptr;
    if (output.view >= 0 && !output.closed)
        session.target->RemoveView(output.view);
    if (output.view >= 0) {
        session.leaving.push_back(std::move(found->second));
    } else {
        DestroyOutput(output);
    }
    session.outputs.erase(found);
}

// Surfaces the worker no longer draws into: closed ones (their outputs stay
// listed) and those of outputs gone.
void LetGoReleased(Session& session)
{
    for (int view : session.target->TakeReleased()) {
        for (auto at = session.leaving.begin(); at != session.leaving.end(); ++at)
            if ((*at)->view == view) {
                DestroyOutput(**at);
                session.leaving.erase(at);
                break;
            }
        for (auto& entry : session.outputs)
            if (entry.second->view == view)
                DestroySurface(*entry.second);
    }
}

void RegistryGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version)
{
    Session& session = *static_cast<Session*>(data);
    const auto bind = [&](const wl_interface* kind, std::uint32_t known) {
        return wl_registry_bind(registry, name, kind, version < known ? version : known);
    };
    const std::string which = interface;
    if (which == wl_compositor_interface.name && session.compositor == nullptr) {
        session.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, kCompositorVersion));
    } else if (which == zwlr_layer_shell_v1_interface.name && session.layerShell == nullptr) {
        session.layerShell =
            static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, kLayerShellVersion));
    } else if (which == zxdg_output_manager_v1_interface.name && session.xdgOutputs == nullptr) {
        session.xdgOutputs =
            static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, kXdgOutputVersion));
        for (auto& entry : session.outputs)
            WatchPosition(session, *entry.second);
    } else if (which == wl_output_interface.name) {
        auto output = std::make_unique<Output>();
        output->session = &session;
        output->name = name;
        output->version = version < kOutputVersion ? version : kOutputVersion;
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, kOutputVersion));
        wl_output_add_listener(output->output, &kOutputListener, output.get());
        WatchPosition(session, *output);
        // Before the target exists, the set-up makes the surfaces of the
        // outputs found so far; one plugged in later gets its surface here.
        if (session.target)
            MakeSurface(session, *output);
        session.outputs[name] = std::move(output);
    } else if (which == wl_seat_interface.name) {
        auto seat = std::make_unique<Seat>();
        seat->session = &session;
        seat->name = name;
        seat->version = version < kSeatVersion ? version : kSeatVersion;
        seat->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, kSeatVersion));
        wl_seat_add_listener(seat->seat, &kSeatListener, seat.get());
        session.seats[name] = std::move(seat);
    }
}

void RegistryGlobalRemove(void* data, wl_registry*, std::uint32_t name)
{
    Session& session = *static_cast<Session*>(data);
    Retire(session, name);
    const auto seat = session.seats.find(name);
    if (seat != session.seats.end()) {
        DestroySeat(*seat->second);
        session.seats.erase(seat);
    }
}

const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

std::string DisplayName()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name != nullptr && *name != '\0' ? name : "wayland-0";
}

int Connect(Session& session)
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if ((name == nullptr || *name == '\0') && (socket == nullptr || *socket == '\0'))
        return Fail("no Wayland display: WAYLAND_DISPLAY is not set (--wayland and --wallpaper draw on a Wayland "
                    "desktop)");
    session.display = wl_display_connect(nullptr);
    if (session.display != nullptr)
        return kExitOk;
    const int error = errno;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (socket == nullptr && DisplayName()[0] != '/' && (runtime == nullptr || *runtime == '\0'))
        return Fail("cannot connect to the Wayland display '" + DisplayName() + "': XDG_RUNTIME_DIR is not set");
    return Fail("cannot connect to the Wayland display '" + DisplayName() + "' (" + std::strerror(error) + ")");
}

// Why the connection ended, in one line.
std::string ConnectionFailure(wl_display* display)
{
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    if (wl_display_get_error(display) == EPROTO) {
        const std::uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        return "the Wayland compositor ended the connection: protocol error " + std::to_string(code) + " on " +
               (interface != nullptr ? interface->name : "an unknown object");
    }
    return std::string("lost the connection to the Wayland compositor (") +
           std::strerror(wl_display_get_error(display)) + ")";
}

enum class Step { Done, Signalled, Lost };

// One turn of the event loop: what is queued is handled, requests are sent
// as far as the socket takes them, and new events are read once the display
// has some or `milliseconds` passed. Never blocks longer, whatever the
// compositor does, and a stop signal ends the wait.
Step Turn(Session& session, const NS_PosixSignals::StopSignals& signals, int milliseconds)
{
    wl_display* display = session.display;
    // Events the worker's EGL read for this queue are handled first.
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return Step::Lost;
    bool writing = false;
    if (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display);
            return Step::Lost;
        }
        writing = true;
    }
    if (session.ended || signals.Received() != 0) {
        wl_display_cancel_read(display);
        return signals.Received() != 0 ? Step::Signalled : Step::Done;
    }
    pollfd waits[2] = {{wl_display_get_fd(display), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0},
                       {signals.Descriptor(), POLLIN, 0}};
    const int ready = poll(waits, signals.Ready() ? 2 : 1, milliseconds);
    if (ready > 0 && (waits[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
        if (wl_display_read_events(display) < 0)
            return Step::Lost;
    } else {
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0)
        return Step::Lost;
    return signals.Received() != 0 ? Step::Signalled : Step::Done;
}

// Waits for the compositor to answer everything sent so far, as
// wl_display_roundtrip does, but ends early on a stop signal.
Step Roundtrip(Session& session, const NS_PosixSignals::StopSignals& signals)
{
    bool answered = false;
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* sync = wl_display_sync(session.display);
    wl_callback_add_listener(sync, &listener, &answered);
    Step step = Step::Done;
    while (!answered && (step = Turn(session, signals, -1)) == Step::Done) {
    }
    wl_callback_destroy(sync);
    return step;
}

enum class LoopEnd { Closed, WorkerFailed, TargetFailed, ConnectionLost };

LoopEnd RunEventLoop(Session& session, const NS_PosixSignals::StopSignals& signals,
                     const NS_EngineRun::EngineRun& engine)
{
    for (;;) {
        const Step step = Turn(session, signals, kPollMilliseconds);
        if (step == Step::Lost)
            return LoopEnd::ConnectionLost;
        if (session.ended || (step == Step::Signalled && session.rules.Ends(Input::StopSignal)))
            return LoopEnd::Closed;
        if (engine.Failed())
            return LoopEnd::WorkerFailed;
        if (!session.target->Failure().empty())
            return LoopEnd::TargetFailed;
        LetGoReleased(session);
    }
}

// The globals, and what the outputs say of themselves, before any surface is
// made: a scale known then makes the first frame sharp.
int FindGlobals(Session& session, const NS_PosixSignals::StopSignals& signals)
{
    session.registry = wl_display_get_registry(session.display);
    wl_registry_add_listener(session.registry, &kRegistryListener, &session);
    for (int round = 0; round < 2; ++round) {
        const Step step = Roundtrip(session, signals);
        if (step == Step::Lost)
            return Fail(ConnectionFailure(session.display));
        if (step == Step::Signalled)
            return kExitOk;
    }
    if (session.compositor == nullptr)
        return Fail("the Wayland compositor offers no wl_compositor to make surfaces with");
    if (session.layerShell == nullptr)
        return Fail("this desktop does not let programs draw over or under its windows (its compositor offers no "
                    "layer shell; GNOME's is one such); plain velmora still shows the scene in a window");
    return kExitOk;
}

} // namespace

int RunSaver(const NS_SaverOptions::Options& options, NS_InitialModel::InitialModel& scene)
{
    // Set up before anything else, so that a SIGTERM during the set-up still
    // ends the program through the loop rather than killing it half-way.
    NS_PosixSignals::StopSignals signals;
    wl_log_set_handler_client(IgnoreLog);

    Session session(options.target);
    int result = Connect(session);
    if (result != kExitOk || (result = FindGlobals(session, signals)) != kExitOk || signals.Received() != 0)
        return result;
    try {
        session.target = std::make_unique<NS_EglWindowTarget::WindowsTarget>(session.display);
    } catch (NS_EglContext::Exception* failure) {
        const std::string why = failure != nullptr ? failure->what : "EGL cannot draw on this Wayland display";
        delete failure;
        return Fail(why);
    }
    for (auto& entry : session.outputs)
        MakeSurface(session, *entry.second);
    if (options.showFrameRate)
        session.target->SetOverlay(NS_FrameRate::DrawFrameRateOverlay);

    LoopEnd end = LoopEnd::Closed;
    std::string failure;
    {
        NS_EngineRun::EngineRun engine(*session.target, scene);
        end = RunEventLoop(session, signals, engine);
        if (end == LoopEnd::WorkerFailed)
            failure = engine.FailureReport();
        // The engine stops here: the worker lets go of the context before the
        // surfaces go.
    }
    switch (end) {
    case LoopEnd::Closed:
        return kExitOk;
    case LoopEnd::WorkerFailed:
        return Fail(failure);
    case LoopEnd::TargetFailed:
        return Fail(session.target->Failure());
    case LoopEnd::ConnectionLost:
        return Fail(ConnectionFailure(session.display));
    }
    return kExitOk;
}

} // namespace NS_WaylandSaver
