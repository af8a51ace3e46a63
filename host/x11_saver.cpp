#include "host/x11_saver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "host/close_rules.h"
#include "host/engine_run.h"
#include "host/frame_rate_overlay.h"
#include "host/posix_signals.h"
#include "host/report.h"
#include "render/glx_draw_target.h"

namespace NS_X11Saver {

namespace {

using NS_CloseRules::Input;
using NS_SaverOptions::Target;

// X errors arrive asynchronously on either connection, the drawing one from the
// worker thread too. The handler only records them: set-up code brackets its
// requests with a trap and looks; while the scene runs, an error (a foreign
// window destroyed under the worker, say) must not end the process from inside
// Xlib, since the event loop sees the cause and ends in order.
std::atomic<int> lastErrorCode{0};

int RecordError(Display*, XErrorEvent* error)
{
    lastErrorCode.store(error->error_code);
    return 0;
}

int ConnectionLost(Display*)
{
    NS_Report::Line("lost the connection to the X display");
    // Xlib cannot go on after this, and the worker may be inside a frame.
    _exit(kExitFailure);
}

void BeginTrap(Display* display)
{
    XSync(display, False);
    lastErrorCode.store(0);
}

int EndTrap(Display* display)
{
    XSync(display, False);
    return lastErrorCode.exchange(0);
}

int Fail(const std::string& message)
{
    NS_Report::Line(message);
    return kExitFailure;
}

std::string Hex(unsigned long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

// Everything the host holds on the X server, released in the right order
// whatever way the run ends.
struct Session {
    Display* events = nullptr;  // the host's connection: window, input, structure
    Display* drawing = nullptr; // the worker's connection, handed to the drawing target
    Window window = None;
    bool ownWindow = false;
    bool fullScreen = false;
    bool windowGone = false;
    Colormap colormap = None;
    Cursor blankCursor = None;
    XVisualInfo* visual = nullptr; // as the drawing connection knows it
    GLXContext context = nullptr;
    Atom protocols = None;
    Atom deleteWindow = None;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs after StopEngine, when no other thread uses the drawing connection.
    ~Session()
    {
        if (context != nullptr)
            glXDestroyContext(drawing, context);
        if (visual != nullptr)
            XFree(visual);
        if (drawing != nullptr)
            XCloseDisplay(drawing);
        if (events != nullptr) {
            if (ownWindow && !windowGone)
                XDestroyWindow(events, window);
            if (colormap != None)
                XFreeColormap(events, colormap);
            if (blankCursor != None)
                XFreeCursor(events, blankCursor);
            XCloseDisplay(events);
        }
    }
};

bool DrawableWithGl(Display* display, XVisualInfo* info)
{
    int useGl = 0;
    int rgba = 0;
    return glXGetConfig(display, info, GLX_USE_GL, &useGl) == 0 && useGl &&
           glXGetConfig(display, info, GLX_RGBA, &rgba) == 0 && rgba;
}

// The Windows saver asks for 24 colour bits and 8 depth bits as a preference
// and takes the nearest format; GLX treats sizes as minimums, so ask for that,
// then settle for less.
XVisualInfo* ChooseVisual(Display* display, int screen)
{
    int preferred[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, GLX_DEPTH_SIZE, 8, None};
    int withDepth[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 1, None};
    int anyDoubleBuffered[] = {GLX_RGBA, GLX_DOUBLEBUFFER, None};
    for (int* request : {preferred, withDepth, anyDoubleBuffered}) {
        if (XVisualInfo* info = glXChooseVisual(display, screen, request))
            return info;
    }
    return nullptr;
}

XVisualInfo* FindVisual(Display* display, VisualID id, int screen)
{
    XVisualInfo pattern = {};
    pattern.visualid = id;
    pattern.screen = screen;
    int count = 0;
    return XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &pattern, &count);
}

void SetWindowProperties(Session& session, Target target)
{
    Display* display = session.events;
    XTextProperty title;
    char* titleText = const_cast<char*>(kWindowTitle);
    XStringListToTextProperty(&titleText, 1, &title);
    XSizeHints* size = XAllocSizeHints();
    size->flags = PSize;
    size->width = target == Target::FullScreen ? DisplayWidth(display, DefaultScreen(display)) : kWindowWidth;
    size->height = target == Target::FullScreen ? DisplayHeight(display, DefaultScreen(display)) : kWindowHeight;
    XClassHint* classHint = XAllocClassHint();
    classHint->res_name = const_cast<char*>("velmora");
    classHint->res_class = const_cast<char*>("Velmora");
    XWMHints* hints = XAllocWMHints();
    hints->flags = InputHint | StateHint;
    hints->input = True;
    hints->initial_state = NormalState;
    XSetWMProperties(display, session.window, &title, &title, nullptr, 0, size, hints, classHint);
    XFree(title.value);
    XFree(size);
    XFree(classHint);
    XFree(hints);

    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, session.window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(kWindowTitle),
                    static_cast<int>(std::string(kWindowTitle).size()));
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, session.window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    session.protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    session.deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, session.window, &session.deleteWindow, 1);

    if (target == Target::FullScreen) {
        const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, session.window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&fullScreen), 1);
        // The Windows saver hides the cursor over its full-screen window; an
        // empty 1 x 1 cursor does that here.
        const char empty[1] = {0};
        Pixmap bitmap = XCreateBitmapFromData(display, session.window, empty, 1, 1);
        XColor black = {};
        session.blankCursor = XCreatePixmapCursor(display, bitmap, bitmap, &black, &black, 0, 0);
        XFreePixmap(display, bitmap);
        XDefineCursor(display, session.window, session.blankCursor);
    }
}

// The visual that --visual asks for, checked for OpenGL; the reason in `why`
// when there is none.
XVisualInfo* RequestedVisual(Display* display, int screen, const NS_SaverOptions::Options& options, std::string& why)
{
    using NS_SaverOptions::VisualChoice;
    if (options.visual == VisualChoice::Gl) {
        why = "the X display offers no double-buffered RGBA visual for OpenGL";
        return ChooseVisual(display, screen);
    }
    const VisualID id = options.visual == VisualChoice::Default ? XVisualIDFromVisual(DefaultVisual(display, screen))
                                                                : static_cast<VisualID>(options.visualId);
    const std::string name =
        options.visual == VisualChoice::Default ? "the default visual (" + Hex(id) + ")" : "visual " + Hex(id);
    XVisualInfo* info = FindVisual(display, id, screen);
    if (info == nullptr) {
        why = name + " is not on the display's screen";
        return nullptr;
    }
    int doubleBuffered = 0;
    if (!DrawableWithGl(display, info) || glXGetConfig(display, info, GLX_DOUBLEBUFFER, &doubleBuffered) != 0 ||
        !doubleBuffered) {
        XFree(info);
        why = name + " cannot be drawn with double-buffered OpenGL (try --visual GL)";
        return nullptr;
    }
    return info;
}

// A window of the saver's own, with a GLX visual of its choosing.
int MakeOwnWindow(Session& session, const NS_SaverOptions::Options& options)
{
    const Target target = options.target;
    const int screen = DefaultScreen(session.drawing);
    std::string why;
    session.visual = RequestedVisual(session.drawing, screen, options, why);
    if (session.visual == nullptr)
        return Fail(why);

    // The same visual as the events connection knows it, to make the window.
    XVisualInfo* local = FindVisual(session.events, session.visual->visualid, screen);
    if (local == nullptr)
        return Fail("visual " + Hex(session.visual->visualid) + " is not on the display's screen");
    const Window root = RootWindow(session.events, screen);
    session.colormap = XCreateColormap(session.events, root, local->visual, AllocNone);

    XSetWindowAttributes attributes = {};
    attributes.colormap = session.colormap;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask | EnterWindowMask | StructureNotifyMask;
    const bool full = target == Target::FullScreen;
    const unsigned width = full ? static_cast<unsigned>(DisplayWidth(session.events, screen)) : kWindowWidth;
    const unsigned height = full ? static_cast<unsigned>(DisplayHeight(session.events, screen)) : kWindowHeight;
    BeginTrap(session.events);
    session.window = XCreateWindow(session.events, root, 0, 0, width, height, 0, local->depth, InputOutput,
                                   local->visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XFree(local);
    const int error = EndTrap(session.events);
    if (session.window == None || error != 0)
        return Fail("cannot create a window with visual " + Hex(session.visual->visualid));
    session.ownWindow = true;
    session.fullScreen = full;
    SetWindowProperties(session, target);
    XMapRaised(session.events, session.window);
    // Normally the window manager's task; XScreenSaver asks hacks to do it on
    // displays where colormaps are scarce.
    if (options.installColormap)
        XInstallColormap(session.events, session.colormap);
    return kExitOk;
}

// The root window, or a window made by another program: drawn into with its
// own visual, watched only for its destruction.
int AdoptWindow(Session& session, Window window, bool root)
{
    const std::string name = root ? std::string("the root window") : "window " + Hex(window);
    XWindowAttributes attributes = {};
    BeginTrap(session.events);
    // Selecting first means that a destruction after the check is reported.
    if (!root)
        XSelectInput(session.events, window, StructureNotifyMask);
    const Status found = XGetWindowAttributes(session.events, window, &attributes);
    if (EndTrap(session.events) != 0 || found == 0)
        return Fail("bad window id " + Hex(window) + ": there is no such window on this display");
    if (attributes.c_class == InputOnly)
        return Fail(name + " is input-only and cannot be drawn into");
    session.window = window;

    const int screen = XScreenNumberOfScreen(attributes.screen);
    session.visual = FindVisual(session.drawing, XVisualIDFromVisual(attributes.visual), screen);
    if (session.visual == nullptr || !DrawableWithGl(session.drawing, session.visual))
        return Fail("the visual of " + name + " (" + Hex(XVisualIDFromVisual(attributes.visual)) +
                    ") cannot be drawn with OpenGL");
    return kExitOk;
}

int MakeContext(Session& session)
{
    BeginTrap(session.drawing);
    session.context = glXCreateContext(session.drawing, session.visual, nullptr, True);
    int error = EndTrap(session.drawing);
    if (session.context == nullptr || error != 0)
        return Fail("cannot create an OpenGL context for visual " + Hex(session.visual->visualid));
    // Bound once here and let go, so that a window the context cannot draw into
    // is reported now rather than left black; the worker binds it for good.
    BeginTrap(session.drawing);
    const Bool bound = glXMakeCurrent(session.drawing, session.window, session.context);
    glXMakeCurrent(session.drawing, None, nullptr);
    error = EndTrap(session.drawing);
    if (!bound || error != 0)
        return Fail("OpenGL cannot draw into window " + Hex(session.window));
    return kExitOk;
}

// Feeds one event to the rules; true when the saver should end.
bool HandleEvent(Session& session, NS_CloseRules::CloseRules& rules, XEvent& event)
{
    switch (event.type) {
    case KeyPress:
        return rules.Ends(Input::Key);
    case ButtonPress:
        return rules.Ends(Input::Button, static_cast<int>(event.xbutton.button));
    case MotionNotify:
        return rules.Ends(Input::Motion, event.xmotion.x_root, event.xmotion.y_root);
    case EnterNotify:
        return rules.Ends(Input::Enter, event.xcrossing.x_root, event.xcrossing.y_root);
    case ClientMessage:
        return event.xclient.message_type == session.protocols && event.xclient.format == 32 &&
               static_cast<Atom>(event.xclient.data.l[0]) == session.deleteWindow && rules.Ends(Input::CloseRequest);
    case DestroyNotify:
        if (event.xdestroywindow.window != session.window)
            return false;
        session.windowGone = true;
        return rules.Ends(Input::TargetGone);
    case MapNotify:
        // Without a window manager nobody gives the full-screen window the
        // keyboard; it can take it only once it is viewable.
        if (session.fullScreen) {
            BeginTrap(session.events);
            XSetInputFocus(session.events, session.window, RevertToParent, CurrentTime);
            EndTrap(session.events);
        }
        return false;
    default:
        return false;
    }
}

enum class LoopEnd { Closed, WorkerFailed };

// Mesa's software rasteriser takes the size of the next frame of a window that
// is gone from a failed XGetGeometry, values it never set, and can spend
// minutes clearing that; a stop waits for the frame in flight. Once the window
// is gone nothing of it is left to release: the process ends at once.
[[noreturn]] void EndNowTheWindowIsGone()
{
    std::fflush(nullptr);
    _exit(kExitOk);
}

// Watches for the window's destruction while the main thread waits for the
// worker to stop. A saver daemon sends SIGTERM and then destroys the window it
// lent right away (XScreenSaver's graphics process exits), so the window can
// go while the stop waits for the last frame, which then never ends.
class WindowGoneWatch {
public:
    WindowGoneWatch(Display* connection, Window watched) : events(connection), window(watched)
    {
        if (pipe(quit) != 0)
            return; // unwatched: the stop is as it was before the watch
        watcher = std::thread([this] { Watch(); });
    }
    WindowGoneWatch(const WindowGoneWatch&) = delete;
    WindowGoneWatch& operator=(const WindowGoneWatch&) = delete;
    ~WindowGoneWatch()
    {
        if (!watcher.joinable())
            return;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(quit[1], &byte, 1);
        watcher.join();
        close(quit[0]);
        close(quit[1]);
    }

private:
    void Watch()
    {
        const int connection = ConnectionNumber(events);
        for (;;) {
            while (XPending(events) > 0) {
                XEvent event;
                XNextEvent(events, &event);
                if (event.type == DestroyNotify && event.xdestroywindow.window == window)
                    EndNowTheWindowIsGone();
            }
            pollfd waits[2] = {{connection, POLLIN, 0}, {quit[0], POLLIN, 0}};
            if ((poll(waits, 2, -1) < 0 && errno != EINTR) || waits[1].revents != 0)
                return;
        }
    }

    Display* events;
    Window window;
    int quit[2] = {-1, -1};
    std::thread watcher;
};

LoopEnd RunEventLoop(Session& session, NS_CloseRules::CloseRules& rules, const NS_PosixSignals::StopSignals& signals,
                     const NS_EngineRun::EngineRun& engine)
{
    const int connection = ConnectionNumber(session.events);
    for (;;) {
        while (XPending(session.events) > 0) {
            XEvent event;
            XNextEvent(session.events, &event);
            if (HandleEvent(session, rules, event))
                return LoopEnd::Closed;
        }
        if (signals.Received() != 0 && rules.Ends(Input::StopSignal))
            return LoopEnd::Closed;
        if (engine.Failed())
            return LoopEnd::WorkerFailed;
        pollfd waits[2] = {{connection, POLLIN, 0}, {signals.Descriptor(), POLLIN, 0}};
        // The time-out only bounds how late a failed worker is noticed.
        if (poll(waits, signals.Ready() ? 2 : 1, 250) < 0 && errno != EINTR)
            return LoopEnd::Closed;
    }
}

// The event connection, and the one the worker draws through, on a display
// that can do OpenGL.
int OpenConnections(Session& session, const std::string& optionDisplay)
{
    const char* displayName = optionDisplay.empty() ? std::getenv("DISPLAY") : optionDisplay.c_str();
    const char* openName = optionDisplay.empty() ? nullptr : optionDisplay.c_str();
    session.events = XOpenDisplay(openName);
    if (session.events == nullptr)
        return Fail(std::string("cannot open the X display ") + (displayName != nullptr && *displayName != '\0'
                                                                     ? std::string("'") + displayName + "'"
                                                                     : std::string("(DISPLAY is not set)")));
    // The worker draws through a connection of its own, so that the two threads
    // never share one Xlib connection and nothing needs a lock.
    session.drawing = XOpenDisplay(openName);
    int errorBase = 0;
    int eventBase = 0;
    if (session.drawing == nullptr)
        return Fail("cannot open a second connection to the X display");
    if (!glXQueryExtension(session.drawing, &errorBase, &eventBase))
        return Fail("the X display has no GLX extension: OpenGL cannot draw on it");
    return kExitOk;
}

// The window the options name: one of the saver's own, the root, or another program's.
int MakeTargetWindow(Session& session, const NS_SaverOptions::Options& options)
{
    switch (options.target) {
    case Target::Window:
    case Target::FullScreen:
        return MakeOwnWindow(session, options);
    case Target::Root:
        return AdoptWindow(session, DefaultRootWindow(session.events), true);
    case Target::Foreign:
        return AdoptWindow(session, options.windowId, false);
    case Target::Wayland:
    case Target::Wallpaper:
        break; // the entry runs these on Wayland, never here
    }
    return kExitOk;
}

int QueryPointer(Display* display, int& x, int& y)
{
    Window rootReturn, childReturn;
    int windowX, windowY;
    unsigned mask;
    x = y = 0;
    return XQueryPointer(display, DefaultRootWindow(display), &rootReturn, &childReturn, &x, &y, &windowX, &windowY,
                         &mask);
}

} // namespace

int RunSaver(const NS_SaverOptions::Options& options, NS_InitialModel::InitialModel& scene)
{
    // Set up before anything else, so that a SIGTERM during the set-up still
    // ends the program through the loop rather than killing it half-way.
    NS_PosixSignals::StopSignals signals;
    XInitThreads();
    XSetErrorHandler(RecordError);
    XSetIOErrorHandler(ConnectionLost);

    Session session;
    int result = OpenConnections(session, options.displayName);
    if (result != kExitOk || (result = MakeTargetWindow(session, options)) != kExitOk)
        return result;
    XSync(session.events, False);
    if ((result = MakeContext(session)) != kExitOk)
        return result;

    int anchorX = 0;
    int anchorY = 0;
    QueryPointer(session.events, anchorX, anchorY);
    NS_CloseRules::CloseRules rules(NS_SaverOptions::ClosesOnInput(options.target), anchorX, anchorY);

    // The target takes the context over; it goes before the session closes the
    // connection, and the engine run, which stops the worker, before it.
    NS_GlxTarget::WindowTarget target(session.drawing, session.window, std::exchange(session.context, nullptr));
    if (options.showFrameRate)
        target.SetOverlay(NS_FrameRate::DrawFrameRateOverlay);
    std::optional<NS_EngineRun::EngineRun> engine(std::in_place, target, scene);

    const LoopEnd end = RunEventLoop(session, rules, signals, *engine);
    if (end == LoopEnd::Closed && session.windowGone)
        EndNowTheWindowIsGone();
    const std::string failure = end == LoopEnd::WorkerFailed ? engine->FailureReport() : std::string();
    {
        const WindowGoneWatch watch(session.events, session.window);
        engine.reset();
    }
    return failure.empty() ? kExitOk : Fail(failure);
}

} // namespace NS_X11Saver
