// The saver window's two procedures: HostWindowProc adapts the window to its
// role (no input method, hidden cursor, help forwarded to a preview's parent,
// system commands refused), SceneWindowProc owns the OpenGL context and the
// engine that draws into it.
#include <windows.h>

#include <cstdint>
#include <ctime>

#include "host/win32_shell.h"
#include "kernel/universe.h"
#include "render/win32_draw_target.h"
#include "scene/random.h"
#include "scene/scene_model.h"

namespace {

// The worker that runs the scene cannot stop the process: the window looks at
// it this often and, once it has failed, closes as input would close it.
constexpr UINT_PTR kEngineWatch = 0x5645;
constexpr UINT kEngineWatchMs = 250;

void FillPixelFormatRequest(PIXELFORMATDESCRIPTOR& request)
{
    request = PIXELFORMATDESCRIPTOR{};
    request.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    // A preference, not a minimum: whatever ChoosePixelFormat finds is used.
    request.cAlphaBits = 16;
    // 24, not 8: asked for 8, Mesa (and so Wine) gives a 16-bit depth buffer,
    // too coarse to keep the rain streaks and drops on the pane in front of the
    // background just behind it, and the frame then shows no rain at all.
    request.cDepthBits = 24;
    request.iLayerType = PFD_MAIN_PLANE;
}

// Device context, rendering context and engine; false when no OpenGL
// context could be made.
bool StartScene(SaverWindowState& saver, HWND window, bool firstTime)
{
    saverDeviceContext = GetDC(window);
    if (firstTime) {
        PIXELFORMATDESCRIPTOR request;
        FillPixelFormatRequest(request);
        const int format = ChoosePixelFormat(saverDeviceContext, &request);
        SetPixelFormat(saverDeviceContext, format, &request);
    }
    saverRenderContext = wglCreateContext(saverDeviceContext);
    if (saverRenderContext == nullptr) {
        return false;
    }
    if (firstTime) {
        saver.sceneSeed = static_cast<std::uint32_t>(std::time(nullptr));
    }
    // Seeded before the universe exists: the rain's constructor already draws.
    SeedRandom(saver.sceneSeed);
    NS_DrawTarget::Install(&saver.drawTarget);
    StartEngineWith(saver.scene);
    return true;
}

// Notes a failure of the scene's worker with the shell, once; true when the
// scene has failed, now or before.
bool NoteSceneFailure(SaverWindowState& saver)
{
    if (!saver.sceneFailed && currentUniverse != nullptr && currentUniverse->WorkerFailed()) {
        saver.sceneFailed = true;
        saver.shell.KeepFailure("the scene stopped: " + currentUniverse->WorkerFailure());
    }
    return saver.sceneFailed;
}

// Each handle is released once, however many close and destroy messages come.
void StopScene(SaverWindowState& saver, HWND window)
{
    NoteSceneFailure(saver);
    StopEngine();
    if (saverRenderContext != nullptr) {
        wglDeleteContext(saverRenderContext);
        saverRenderContext = nullptr;
    }
    if (saverDeviceContext != nullptr) {
        ReleaseDC(window, saverDeviceContext);
        saverDeviceContext = nullptr;
    }
}

void DetachInputMethod(SaverWindowState& saver, HWND window)
{
    saver.imeModule = GetModuleHandleW(L"IMM32.DLL");
    if (saver.imeModule != nullptr) {
        saver.associateContextProc = reinterpret_cast<AssociateContextProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(saver.imeModule, "ImmAssociateContext")));
        if (saver.associateContextProc != nullptr) {
            saver.savedInputContext = saver.associateContextProc(window, nullptr);
        }
    }
}

LRESULT HostMessage(SaverWindowState& saver, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ShellState& shell = saver.shell;
    const bool preview = shell.previewMode;
    switch (message) {
    case WM_CREATE: {
        DetachInputMethod(saver, window);
        POINT cursor{};
        GetCursorPos(&cursor);
        if (shell.rules) {
            shell.rules->Start({static_cast<std::int32_t>(cursor.x), static_cast<std::int32_t>(cursor.y)},
                               shell.lastLineStatus);
        }
        if (!preview) {
            SetCursor(nullptr);
        }
        return SceneWindowProc(saver, window, message, wParam, lParam);
    }
    case WM_DESTROY:
        if (saver.imeModule != nullptr && saver.associateContextProc != nullptr && saver.savedInputContext != nullptr) {
            saver.associateContextProc(window, saver.savedInputContext);
        }
        PostQuitMessage(0);
        return SceneWindowProc(saver, window, message, wParam, lParam);
    case WM_SETTEXT:
        return 0; // the title stays: it is how the system finds a running saver
    case WM_PAINT:
        if (shell.CloseApproved()) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        if (!preview) {
            SetCursor(nullptr);
        }
        return SceneWindowProc(saver, window, message, wParam, lParam);
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (preview) {
            HWND parent = GetParent(window);
            if (parent != nullptr && IsWindow(parent)) {
                PostMessageW(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
            }
            return 1;
        }
        return SceneWindowProc(saver, window, message, wParam, lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (shell.CloseApproved()) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        return SceneWindowProc(saver, window, message, wParam, lParam);
    case WM_TIMER:
        if (shell.CloseApproved()) {
            return 0;
        }
        Sleep(0); // yields: on one processor the worker drawing the scene is not held up by timer messages
        return SceneWindowProc(saver, window, message, wParam, lParam);
    case WM_SYSCOMMAND:
        if (!preview) {
            // The exact value, not masked: only these commands are refused.
            switch (wParam) {
            case SC_NEXTWINDOW:
            case SC_PREVWINDOW:
            case SC_SCREENSAVE:
                return 0;
            case SC_MONITORPOWER:
                PostMessageW(window, WM_CLOSE, 0, 0);
                break;
            default:
                break;
            }
        }
        return SceneWindowProc(saver, window, message, wParam, lParam);
    default:
        return SceneWindowProc(saver, window, message, wParam, lParam);
    }
}

} // namespace

LRESULT SceneWindowProc(SaverWindowState& saver, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ShellState& shell = saver.shell;
    switch (message) {
    case WM_CREATE:
        if (!StartScene(saver, window, true)) {
            MessageBoxA(window, "Screen saver can't set an appropriate OpenGL mode", "Open GL error", MB_OK);
            PostQuitMessage(-1);
        } else {
            SetTimer(window, kEngineWatch, kEngineWatchMs, nullptr);
        }
        return BaseSaverProc(shell, window, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == kEngineWatch) {
            if (!saver.sceneFailed && NoteSceneFailure(saver)) {
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return 0;
        }
        return BaseSaverProc(shell, window, message, wParam, lParam);
    case WM_CLOSE: {
        // Not running when this close arrives during a password check.
        const bool wasRunning = saverRenderContext != nullptr;
        StopScene(saver, window);
        const LRESULT result = BaseSaverProc(shell, window, message, wParam, lParam);
        // A refused close (the password was not given) leaves the window up:
        // the scene then goes on instead of standing still on its last frame.
        // A failed scene stays down: the window then keeps its last frame.
        if (wasRunning && !saver.sceneFailed && IsWindow(window) && !shell.CloseApproved()) {
            StartScene(saver, window, false);
        }
        return result;
    }
    case WM_DESTROY:
        StopScene(saver, window);
        return BaseSaverProc(shell, window, message, wParam, lParam);
    default:
        return BaseSaverProc(shell, window, message, wParam, lParam);
    }
}

namespace {

// The window's state comes with its creation data; the messages before
// WM_NCCREATE (WM_GETMINMAXINFO, for a pop-up) find none and get the default
// processing, which is what the close rules give them.
SaverWindowState* StateOf(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* saver = static_cast<SaverWindowState*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(saver));
        saver->shell.system.window = window;
        return saver;
    }
    return reinterpret_cast<SaverWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    SaverWindowState* saver = StateOf(window, message, lParam);
    if (saver == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return HostMessage(*saver, window, message, wParam, lParam);
    } catch (...) {
        // Kept for the shell's last-resort handler, which ends the run with -1.
        saver->shell.KeepException();
        PostQuitMessage(-1);
        return message == WM_CREATE ? -1 : 0;
    }
}
