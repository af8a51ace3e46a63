#include "host/win32_shell.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>

#include "resources/resource_ids.h"

static_assert(NS_ShellRules::Message::Destroy == WM_DESTROY, "message numbers");
static_assert(NS_ShellRules::Message::Close == WM_CLOSE, "message numbers");
static_assert(NS_ShellRules::Message::ShowWindow == WM_SHOWWINDOW, "message numbers");
static_assert(NS_ShellRules::Message::ActivateApp == WM_ACTIVATEAPP, "message numbers");
static_assert(NS_ShellRules::Message::SetCursor == WM_SETCURSOR, "message numbers");
static_assert(NS_ShellRules::Message::Power == WM_POWER, "message numbers");
static_assert(NS_ShellRules::Message::KeyDown == WM_KEYDOWN, "message numbers");
static_assert(NS_ShellRules::Message::SysKeyDown == WM_SYSKEYDOWN, "message numbers");
static_assert(NS_ShellRules::Message::MouseMove == WM_MOUSEMOVE, "message numbers");
static_assert(NS_ShellRules::Message::LButtonDown == WM_LBUTTONDOWN, "message numbers");
static_assert(NS_ShellRules::Message::RButtonDown == WM_RBUTTONDOWN, "message numbers");
static_assert(NS_ShellRules::Message::MButtonDown == WM_MBUTTONDOWN, "message numbers");
static_assert(NS_ShellRules::Message::PowerBroadcast == WM_POWERBROADCAST, "message numbers");
static_assert(NS_ShellRules::Message::Verify == WM_APP, "message numbers");

const wchar_t kSaverClassName[] = L"WindowsScreenSaverClass";
const wchar_t kSaverTitle[] = L"Screen Saver";
const wchar_t kPreviewTitle[] = L"Preview";

namespace {

using ChangePasswordProc = DWORD(WINAPI*)(LPCWSTR provider, HWND window, DWORD reserved1, LPVOID reserved2);

std::uint8_t ReadLineStatus()
{
    SYSTEM_POWER_STATUS status{};
    return GetSystemPowerStatus(&status) ? status.ACLineStatus : NS_ShellRules::kLineStatusUnknown;
}

bool ReadOwnPasswordHandling()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    const BOOL known = GetVersionExW(&version);
    return known && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

HWND OwnerOrForeground(std::uint32_t handle, bool hasHandle)
{
    HWND owner = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    if (!hasHandle || !IsWindow(owner)) {
        owner = GetForegroundWindow();
    }
    return owner;
}

int RunCommand(ShellState& shell, const wchar_t* arguments, NS_InitialModel::InitialModel& scene)
{
    const NS_ShellRules::Command command = NS_ShellRules::ParseCommand(arguments);
    switch (command.mode) {
    case NS_ShellRules::Mode::Saver:
        return RunSaverWindow(shell, nullptr, scene);
    case NS_ShellRules::Mode::Preview: {
        HWND parent = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(command.handle));
        if (command.handle == 0 || !IsWindow(parent)) {
            return -1;
        }
        return RunSaverWindow(shell, parent, scene);
    }
    case NS_ShellRules::Mode::Configure:
        return static_cast<int>(ShowAboutDialog(shell.instance, OwnerOrForeground(command.handle, command.hasHandle)));
    case NS_ShellRules::Mode::ConfigureAlone:
        return static_cast<int>(ShowAboutDialog(shell.instance, nullptr));
    case NS_ShellRules::Mode::ChangePassword:
        if (!shell.ownPasswordHandling) {
            return -1;
        }
        ChangeSaverPassword(OwnerOrForeground(command.handle, true));
        return 0;
    case NS_ShellRules::Mode::Invalid:
        break;
    }
    return -1;
}

// Faults that are not C++ exceptions (an access violation, say) still give the
// system back its "saver running" flag before the process ends with -1. The
// filter has no way to the shell's state; the system's family is asked again.
LONG WINAPI LastResortFilter(EXCEPTION_POINTERS*)
{
    MarkSaverRunning(ReadOwnPasswordHandling(), false);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(-1));
    return EXCEPTION_EXECUTE_HANDLER;
}

void RethrowPending(ShellState& shell)
{
    if (shell.pendingException) {
        std::exception_ptr e = shell.pendingException;
        shell.pendingException = nullptr;
        std::rethrow_exception(e);
    }
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

} // namespace

NS_ShellRules::Point Win32ShellSystem::CursorPosition()
{
    POINT p{};
    GetCursorPos(&p);
    return {static_cast<std::int32_t>(p.x), static_cast<std::int32_t>(p.y)};
}

std::uint8_t Win32ShellSystem::LineStatus()
{
    return ReadLineStatus();
}

void Win32ShellSystem::PostClose()
{
    PostMessageW(window, WM_CLOSE, 0, 0);
}

void Win32ShellSystem::HideCursor()
{
    SetCursor(nullptr);
}

std::uint32_t Win32ShellSystem::Milliseconds()
{
    return GetTickCount();
}

void Win32ShellSystem::DropPendingTimers()
{
    MSG pending;
    PeekMessageW(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    PeekMessageW(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
}

bool Win32ShellSystem::SendVerify()
{
    return SendMessageW(window, WM_APP, 0, 0) != 0;
}

bool Win32ShellSystem::CallVerifier()
{
    return state.verifier != nullptr && state.verifier(window) != FALSE;
}

void ShellState::KeepException()
{
    if (!pendingException) {
        pendingException = std::current_exception();
    }
}

void ShellState::KeepFailure(const std::string& what)
{
    if (!pendingException) {
        pendingException = std::make_exception_ptr(std::runtime_error(what));
    }
}

int DispatchCommand(HINSTANCE instance, const wchar_t* arguments, NS_InitialModel::InitialModel& scene)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);

    ShellState shell;
    shell.instance = instance;
    shell.ownPasswordHandling = ReadOwnPasswordHandling();

    SetUnhandledExceptionFilter(LastResortFilter);
    try {
        return RunCommand(shell, arguments, scene);
    } catch (...) {
        // The kernel reports broken assumptions by throwing; here they end the run.
        MarkSaverRunning(shell.ownPasswordHandling, false);
        return -1;
    }
}

namespace {

// Every monitor: the virtual screen, or where a system reports none, the
// screen's clip box.
RECT VirtualScreen()
{
    RECT box{};
    box.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    box.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width == 0 || height == 0) {
        HDC screen = GetDC(nullptr);
        GetClipBox(screen, &box);
        ReleaseDC(nullptr, screen);
        return box;
    }
    box.right = box.left + width;
    box.bottom = box.top + height;
    return box;
}

bool RegisterSaverClass(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(VELMORA_ICON_GROUP));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kSaverClassName;
    return RegisterClassW(&windowClass) != 0;
}

// The close rules for this run, from what the shell found out about it.
void StartCloseRules(ShellState& shell)
{
    NS_ShellRules::ShellOptions options;
    options.ownPasswordHandling = shell.ownPasswordHandling;
    options.previewMode = shell.previewMode;
    options.verifierLoaded = shell.verifier != nullptr;
    options.cancelAutoPlayMessage = shell.cancelAutoPlayMessage;
    shell.rules.emplace(shell.system, options);
    shell.rules->Start(NS_ShellRules::Point{}, shell.lastLineStatus);
}

// The thread's messages until WM_QUIT; its wParam is the exit code.
int PumpMessages()
{
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int RunSaverWindow(ShellState& shell, HWND parent, NS_InitialModel::InitialModel& scene)
{
    int x = 0, y = 0, width = 0, height = 0;
    DWORD style = 0, extendedStyle = 0;
    const wchar_t* title = nullptr;
    if (parent != nullptr) {
        RECT client{};
        GetClientRect(parent, &client);
        width = client.right;
        height = client.bottom;
        style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        title = kPreviewTitle;
        shell.previewMode = true;
    } else {
        const RECT screen = VirtualScreen();
        x = screen.left;
        y = screen.top;
        width = screen.right - screen.left;
        height = screen.bottom - screen.top;
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        extendedStyle = WS_EX_TOPMOST;
        title = kSaverTitle;

        HWND running = FindWindowW(kSaverClassName, kSaverTitle);
        if (running != nullptr && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        shell.lastLineStatus = ReadLineStatus();
        LoadPasswordModule(shell);
    }
    shell.cancelAutoPlayMessage = shell.ownPasswordHandling ? RegisterWindowMessageW(L"QueryCancelAutoPlay") : 0;

    StartCloseRules(shell);

    SaverWindowState saver(shell, scene);
    int exitCode = 0;
    HWND window = nullptr;
    if (RegisterSaverClass(shell.instance)) {
        window = CreateWindowExW(extendedStyle, kSaverClassName, title, style, x, y, width, height, parent, nullptr,
                                 shell.instance, &saver);
    }
    if (window != nullptr) {
        if (!shell.previewMode) {
            SetForegroundWindow(window);
        }
        exitCode = PumpMessages();
        // A run that ended by a failure leaves the window up: whatever reaches
        // it from now on finds no state that has gone with this frame.
        if (IsWindow(window)) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        }
    }
    ReleasePasswordModule(shell);
    RethrowPending(shell);
    return exitCode;
}

LRESULT BaseSaverProc(ShellState& shell, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (shell.rules) {
        const NS_ShellRules::SaverShell::Outcome outcome =
            shell.rules->BaseMessage(message, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam));
        if (outcome.handled) {
            return static_cast<LRESULT>(outcome.result);
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void LoadPasswordModule(ShellState& shell)
{
    if (!shell.ownPasswordHandling) {
        return;
    }
    if (shell.passwordModule != nullptr) {
        ReleasePasswordModule(shell);
    }
    HKEY desktop = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &desktop) != ERROR_SUCCESS) {
        return;
    }
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    if (RegQueryValueExW(desktop, L"ScreenSaveUsePassword", nullptr, nullptr, reinterpret_cast<BYTE*>(&usePassword),
                         &size) == ERROR_SUCCESS &&
        usePassword != 0) {
        shell.passwordModule = LoadLibraryW(L"PASSWORD.CPL");
        if (shell.passwordModule != nullptr) {
            shell.verifier = reinterpret_cast<VerifyProc>(
                reinterpret_cast<void (*)()>(GetProcAddress(shell.passwordModule, "VerifyScreenSavePwd")));
            if (shell.verifier != nullptr) {
                MarkSaverRunning(shell.ownPasswordHandling, true);
            } else {
                ReleasePasswordModule(shell);
            }
        }
    }
    RegCloseKey(desktop);
}

void ReleasePasswordModule(ShellState& shell)
{
    if (!shell.ownPasswordHandling || shell.passwordModule == nullptr) {
        return;
    }
    FreeLibrary(shell.passwordModule);
    shell.passwordModule = nullptr;
    if (shell.verifier != nullptr) {
        shell.verifier = nullptr;
        MarkSaverRunning(shell.ownPasswordHandling, false);
    }
}

void MarkSaverRunning(bool ownPasswordHandling, bool running)
{
    if (!ownPasswordHandling) {
        return;
    }
    UINT previous = 0;
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, running ? TRUE : FALSE, &previous, 0);
}

void ChangeSaverPassword(HWND window)
{
    HMODULE provider = LoadLibraryW(L"MPR.DLL");
    if (provider == nullptr) {
        return;
    }
    auto change = reinterpret_cast<ChangePasswordProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(provider, "PwdChangePasswordW")));
    if (change != nullptr) {
        change(L"SCRSAVE", window, 0, nullptr);
    }
    FreeLibrary(provider);
}

INT_PTR ShowAboutDialog(HINSTANCE instance, HWND owner)
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(VELMORA_ABOUT_DIALOG), owner, AboutDialogProc, 0);
}
