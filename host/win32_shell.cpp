#include "host/win32_shell.h"

#include <commctrl.h>

#include <exception>
#include <memory>
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

using VerifyProc = BOOL(WINAPI*)(HWND window);
using ChangePasswordProc = DWORD(WINAPI*)(LPCWSTR provider, HWND window, DWORD reserved1, LPVOID reserved2);

// Process-wide shell state (main thread only).
HINSTANCE saverInstance = nullptr;
bool ownPasswordHandling = false;
bool previewMode = false;
std::uint8_t lastLineStatus = NS_ShellRules::kLineStatusUnknown;
HMODULE passwordModule = nullptr;
VerifyProc verifier = nullptr;
UINT cancelAutoPlayMessage = 0;
std::exception_ptr pendingException;

std::uint8_t ReadLineStatus()
{
    SYSTEM_POWER_STATUS status{};
    return GetSystemPowerStatus(&status) ? status.ACLineStatus : NS_ShellRules::kLineStatusUnknown;
}

// The shell rules' view of the system, acting on the saver window at hand.
class Win32ShellSystem : public NS_ShellRules::ShellSystem {
public:
    HWND window = nullptr;

    NS_ShellRules::Point CursorPosition() override
    {
        POINT p{};
        GetCursorPos(&p);
        return {static_cast<std::int32_t>(p.x), static_cast<std::int32_t>(p.y)};
    }
    std::uint8_t LineStatus() override { return ReadLineStatus(); }
    void PostClose() override { PostMessageW(window, WM_CLOSE, 0, 0); }
    void HideCursor() override { SetCursor(nullptr); }
    std::uint32_t Milliseconds() override { return GetTickCount(); }
    void DropPendingTimers() override
    {
        MSG pending;
        PeekMessageW(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
        PeekMessageW(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    }
    bool SendVerify() override { return SendMessageW(window, WM_APP, 0, 0) != 0; }
    bool CallVerifier() override { return verifier != nullptr && verifier(window) != FALSE; }
};

Win32ShellSystem shellSystem;
std::unique_ptr<NS_ShellRules::SaverShell> shell;

NS_ShellRules::SaverShell& Shell(HWND window)
{
    shellSystem.window = window;
    return *shell;
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

int RunCommand(const wchar_t* arguments)
{
    const NS_ShellRules::Command command = NS_ShellRules::ParseCommand(arguments);
    switch (command.mode) {
    case NS_ShellRules::Mode::Saver:
        return RunSaverWindow(nullptr);
    case NS_ShellRules::Mode::Preview: {
        HWND parent = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(command.handle));
        if (command.handle == 0 || !IsWindow(parent)) {
            return -1;
        }
        return RunSaverWindow(parent);
    }
    case NS_ShellRules::Mode::Configure:
        return static_cast<int>(ShowAboutDialog(OwnerOrForeground(command.handle, command.hasHandle)));
    case NS_ShellRules::Mode::ConfigureAlone:
        return static_cast<int>(ShowAboutDialog(nullptr));
    case NS_ShellRules::Mode::ChangePassword:
        if (!ownPasswordHandling) {
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
// system back its "saver running" flag before the process ends with -1.
LONG WINAPI LastResortFilter(EXCEPTION_POINTERS*)
{
    MarkSaverRunning(false);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(-1));
    return EXCEPTION_EXECUTE_HANDLER;
}

void RethrowPending()
{
    if (pendingException) {
        std::exception_ptr e = pendingException;
        pendingException = nullptr;
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

std::uint32_t ParseDecimal(const wchar_t* text) { return NS_ShellRules::ParseDecimal(text); }

int DispatchCommand(HINSTANCE instance, const wchar_t* arguments)
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);

    saverInstance = instance;
    ownPasswordHandling = ReadOwnPasswordHandling();

    SetUnhandledExceptionFilter(LastResortFilter);
    try {
        return RunCommand(arguments);
    } catch (...) {
        // The kernel reports broken assumptions by throwing; here they end the run.
        MarkSaverRunning(false);
        return -1;
    }
}

int RunSaverWindow(HWND parent)
{
    WNDCLASSW windowClass{};
    windowClass.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = saverInstance;
    windowClass.hIcon = LoadIconW(saverInstance, MAKEINTRESOURCEW(VELMORA_ICON_GROUP));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kSaverClassName;

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
        previewMode = true;
    } else {
        x = GetSystemMetrics(SM_XVIRTUALSCREEN);
        y = GetSystemMetrics(SM_YVIRTUALSCREEN);
        width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        if (width == 0 || height == 0) {
            HDC screen = GetDC(nullptr);
            RECT box{};
            GetClipBox(screen, &box);
            ReleaseDC(nullptr, screen);
            x = box.left;
            y = box.top;
            width = box.right - box.left;
            height = box.bottom - box.top;
        }
        style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        extendedStyle = WS_EX_TOPMOST;
        title = kSaverTitle;

        HWND running = FindWindowW(kSaverClassName, kSaverTitle);
        if (running != nullptr && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        lastLineStatus = ReadLineStatus();
        LoadPasswordModule();
    }
    cancelAutoPlayMessage = ownPasswordHandling ? RegisterWindowMessageW(L"QueryCancelAutoPlay") : 0;

    NS_ShellRules::ShellOptions options;
    options.ownPasswordHandling = ownPasswordHandling;
    options.previewMode = previewMode;
    options.verifierLoaded = verifier != nullptr;
    options.cancelAutoPlayMessage = cancelAutoPlayMessage;
    shell = std::make_unique<NS_ShellRules::SaverShell>(shellSystem, options);
    shell->Start(NS_ShellRules::Point{}, lastLineStatus);

    int exitCode = 0;
    HWND window = nullptr;
    if (RegisterClassW(&windowClass) != 0) {
        window = CreateWindowExW(extendedStyle, kSaverClassName, title, style, x, y, width, height, parent, nullptr,
                                 saverInstance, nullptr);
    }
    if (window != nullptr) {
        if (!previewMode) {
            SetForegroundWindow(window);
        }
        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
    }
    ReleasePasswordModule();
    RethrowPending();
    return exitCode;
}

LRESULT BaseSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (shell) {
        const NS_ShellRules::SaverShell::Outcome outcome =
            Shell(window).BaseMessage(message, static_cast<std::uintptr_t>(wParam), static_cast<std::intptr_t>(lParam));
        if (outcome.handled) {
            return static_cast<LRESULT>(outcome.result);
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool ConfirmClose(HWND window) { return shell ? Shell(window).ConfirmClose() : true; }

void LoadPasswordModule()
{
    if (!ownPasswordHandling) {
        return;
    }
    if (passwordModule != nullptr) {
        ReleasePasswordModule();
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
        passwordModule = LoadLibraryW(L"PASSWORD.CPL");
        if (passwordModule != nullptr) {
            verifier = reinterpret_cast<VerifyProc>(
                reinterpret_cast<void (*)()>(GetProcAddress(passwordModule, "VerifyScreenSavePwd")));
            if (verifier != nullptr) {
                MarkSaverRunning(true);
            } else {
                ReleasePasswordModule();
            }
        }
    }
    RegCloseKey(desktop);
}

void ReleasePasswordModule()
{
    if (!ownPasswordHandling || passwordModule == nullptr) {
        return;
    }
    FreeLibrary(passwordModule);
    passwordModule = nullptr;
    if (verifier != nullptr) {
        verifier = nullptr;
        MarkSaverRunning(false);
    }
}

void MarkSaverRunning(bool running)
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

INT_PTR ShowAboutDialog(HWND owner)
{
    return DialogBoxParamW(saverInstance, MAKEINTRESOURCEW(VELMORA_ABOUT_DIALOG), owner, AboutDialogProc, 0);
}

bool ShellPreviewMode() { return previewMode; }

bool ShellCloseApproved() { return shell && shell->CloseApproved(); }

void ShellSetCursorAnchor(POINT position)
{
    if (shell) {
        shell->Start({static_cast<std::int32_t>(position.x), static_cast<std::int32_t>(position.y)}, lastLineStatus);
    }
}

void ShellKeepException()
{
    if (!pendingException) {
        pendingException = std::current_exception();
    }
}

void ShellKeepFailure(const std::string& what)
{
    if (!pendingException) {
        pendingException = std::make_exception_ptr(std::runtime_error(what));
    }
}
