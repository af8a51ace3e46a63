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

using AssociateContextProc = HANDLE(WINAPI*)(HWND window, HANDLE inputContext);

HMODULE imeModule = nullptr;
AssociateContextProc associateContextProc = nullptr;
HANDLE savedInputContext = nullptr;

// The seed of the running scene: a scene that resumes after a refused close
// starts from it again, so that its background and rain look as before.
std::uint32_t sceneSeed = 0;

// The worker that runs the scene cannot stop the process: the window looks at
// it this often and, once it has failed, closes as input would close it.
constexpr UINT_PTR kEngineWatch = 0x5645;
constexpr UINT kEngineWatchMs = 250;
// Set once the scene has failed: it is not started again, and the run ends with
// the shell's failure code.
bool sceneFailed = false;

RenderContextCount contexts;

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
bool StartScene(HWND window, bool firstTime)
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
    ++contexts.made;
    if (firstTime) {
        sceneSeed = static_cast<std::uint32_t>(std::time(nullptr));
    }
    // Seeded before the universe exists: the rain's constructor already draws.
    SeedRandom(sceneSeed);
    StartEngine();
    return true;
}

// Notes a failure of the scene's worker with the shell, once; true when the
// scene has failed, now or before.
bool NoteSceneFailure()
{
    if (!sceneFailed && currentUniverse != nullptr && currentUniverse->WorkerFailed()) {
        sceneFailed = true;
        ShellKeepFailure("the scene stopped: " + currentUniverse->WorkerFailure());
    }
    return sceneFailed;
}

// Each handle is released once, however many close and destroy messages come.
void StopScene(HWND window)
{
    NoteSceneFailure();
    StopEngine();
    if (saverRenderContext != nullptr) {
        if (wglDeleteContext(saverRenderContext)) {
            ++contexts.deleted;
        }
        saverRenderContext = nullptr;
    }
    if (saverDeviceContext != nullptr) {
        ReleaseDC(window, saverDeviceContext);
        saverDeviceContext = nullptr;
    }
}

void DetachInputMethod(HWND window)
{
    imeModule = GetModuleHandleW(L"IMM32.DLL");
    if (imeModule != nullptr) {
        associateContextProc = reinterpret_cast<AssociateContextProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(imeModule, "ImmAssociateContext")));
        if (associateContextProc != nullptr) {
            savedInputContext = associateContextProc(window, nullptr);
        }
    }
}

LRESULT HostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool preview = ShellPreviewMode();
    switch (message) {
    case WM_CREATE: {
        DetachInputMethod(window);
        POINT cursor{};
        GetCursorPos(&cursor);
        ShellSetCursorAnchor(cursor);
        if (!preview) {
            SetCursor(nullptr);
        }
        return SceneWindowProc(window, message, wParam, lParam);
    }
    case WM_DESTROY:
        if (imeModule != nullptr && associateContextProc != nullptr && savedInputContext != nullptr) {
            associateContextProc(window, savedInputContext);
        }
        PostQuitMessage(0);
        return SceneWindowProc(window, message, wParam, lParam);
    case WM_SETTEXT:
        return 0; // the title stays: it is how the system finds a running saver
    case WM_PAINT:
        if (ShellCloseApproved()) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        if (!preview) {
            SetCursor(nullptr);
        }
        return SceneWindowProc(window, message, wParam, lParam);
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (preview) {
            HWND parent = GetParent(window);
            if (parent != nullptr && IsWindow(parent)) {
                PostMessageW(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
            }
            return 1;
        }
        return SceneWindowProc(window, message, wParam, lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (ShellCloseApproved()) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        return SceneWindowProc(window, message, wParam, lParam);
    case WM_TIMER:
        if (ShellCloseApproved()) {
            return 0;
        }
        Sleep(0); // yields: on one processor the worker drawing the scene is not held up by timer messages
        return SceneWindowProc(window, message, wParam, lParam);
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
        return SceneWindowProc(window, message, wParam, lParam);
    default:
        return SceneWindowProc(window, message, wParam, lParam);
    }
}

} // namespace

LRESULT SceneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        if (!StartScene(window, true)) {
            MessageBoxA(window, "Screen saver can't set an appropriate OpenGL mode", "Open GL error", MB_OK);
            PostQuitMessage(-1);
        } else {
            SetTimer(window, kEngineWatch, kEngineWatchMs, nullptr);
        }
        return BaseSaverProc(window, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == kEngineWatch) {
            if (!sceneFailed && NoteSceneFailure()) {
                PostMessageW(window, WM_CLOSE, 0, 0);
            }
            return 0;
        }
        return BaseSaverProc(window, message, wParam, lParam);
    case WM_CLOSE: {
        // Not running when this close arrives during a password check.
        const bool wasRunning = saverRenderContext != nullptr;
        StopScene(window);
        const LRESULT result = BaseSaverProc(window, message, wParam, lParam);
        // A refused close (the password was not given) leaves the window up:
        // the scene then goes on instead of standing still on its last frame.
        // A failed scene stays down: the window then keeps its last frame.
        if (wasRunning && !sceneFailed && IsWindow(window) && !ShellCloseApproved()) {
            StartScene(window, false);
        }
        return result;
    }
    case WM_DESTROY:
        StopScene(window);
        return BaseSaverProc(window, message, wParam, lParam);
    default:
        return BaseSaverProc(window, message, wParam, lParam);
    }
}

RenderContextCount RenderContextsSoFar()
{
    return contexts;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return HostMessage(window, message, wParam, lParam);
    } catch (...) {
        // Kept for the shell's last-resort handler, which ends the run with -1.
        ShellKeepException();
        PostQuitMessage(-1);
        return message == WM_CREATE ? -1 : 0;
    }
}
