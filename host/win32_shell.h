// The Windows screen-saver shell: the mode dispatch, the saver window's class
// and message loop, the close rules behind the scene's window procedure, the
// password check of the systems that leave it to the saver, and the configure
// dialog. Everything runs on the main thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "host/shell_rules.h"
#include "render/win32_draw_target.h"

namespace NS_InitialModel {
class InitialModel;
}

using VerifyProc = BOOL(WINAPI*)(HWND window);

struct ShellState;

// The shell rules' view of the system, acting on the saver window.
class Win32ShellSystem : public NS_ShellRules::ShellSystem {
public:
    explicit Win32ShellSystem(const ShellState& shell) : state(shell) {}

    NS_ShellRules::Point CursorPosition() override;
    std::uint8_t LineStatus() override;
    void PostClose() override;
    void HideCursor() override;
    std::uint32_t Milliseconds() override;
    void DropPendingTimers() override;
    bool SendVerify() override;
    bool CallVerifier() override;

    // The saver window, from its WM_NCCREATE on.
    HWND window = nullptr;

private:
    const ShellState& state;
};

// The process's shell state, made by DispatchCommand and living until it
// returns; main thread only.
struct ShellState {
    ShellState() = default;
    // The system object and the rules hold on to this one.
    ShellState(const ShellState&) = delete;
    ShellState& operator=(const ShellState&) = delete;

    HINSTANCE instance = nullptr;
    // The system leaves the password check to the saver (the Windows 9x family).
    bool ownPasswordHandling = false;
    bool previewMode = false;
    std::uint8_t lastLineStatus = NS_ShellRules::kLineStatusUnknown;
    HMODULE passwordModule = nullptr;
    VerifyProc verifier = nullptr;
    UINT cancelAutoPlayMessage = 0;
    // An exception that left a window procedure is kept here and thrown again
    // once control is back in the shell's own frames: C++ exceptions must not
    // unwind through the system's message dispatch.
    std::exception_ptr pendingException;
    Win32ShellSystem system{*this};
    // The close rules, from the saver window's class registration on.
    std::optional<NS_ShellRules::SaverShell> rules;

    // Keeps the exception being handled, unless one is kept already.
    void KeepException();
    // A failure that did not come as an exception (the scene's worker stopped):
    // kept like one, so that the run ends as an escaped exception ends it.
    void KeepFailure(const std::string& what);
    bool CloseApproved() const { return rules && rules->CloseApproved(); }
};

using AssociateContextProc = HANDLE(WINAPI*)(HWND window, HANDLE inputContext);

// The saver window's state, made by RunSaverWindow and handed to the window
// procedures through the window's creation data.
struct SaverWindowState {
    SaverWindowState(ShellState& owner, NS_InitialModel::InitialModel& model) : shell(owner), scene(model) {}

    ShellState& shell;
    // The scene the engine runs in the window.
    NS_InitialModel::InitialModel& scene;

    // The input method detached from the window, given back on destruction.
    HMODULE imeModule = nullptr;
    AssociateContextProc associateContextProc = nullptr;
    HANDLE savedInputContext = nullptr;

    // The seed of the running scene: a scene that resumes after a refused close
    // starts from it again, so that its background and rain look as before.
    std::uint32_t sceneSeed = 0;
    // Set once the scene has failed: it is not started again, and the run ends
    // with the shell's failure code.
    bool sceneFailed = false;
    // What the engine draws into: the window's contexts, once they exist.
    NS_WglTarget::SaverWindowTarget drawTarget;
};

// The command-line arguments (the program's name already skipped) into a
// mode, run with the given scene; returns the process's exit code.
int DispatchCommand(HINSTANCE instance, const wchar_t* arguments, NS_InitialModel::InitialModel& scene);

// Full screen when parent is null, else a preview inside parent. Returns the
// quit message's code (0 when no window could be made).
int RunSaverWindow(ShellState& shell, HWND parent, NS_InitialModel::InitialModel& scene);

// The default processing behind SceneWindowProc: decides when the saver closes.
LRESULT BaseSaverProc(ShellState& shell, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void LoadPasswordModule(ShellState& shell);
void ReleasePasswordModule(ShellState& shell);
// Tells the system whether a password-protected saver is running.
void MarkSaverRunning(bool ownPasswordHandling, bool running);

// The change-password mode, through the system's password provider.
void ChangeSaverPassword(HWND window);

// The configure mode: the about dialog; returns the dialog's result.
INT_PTR ShowAboutDialog(HINSTANCE instance, HWND owner);

// The class and the titles by which the system and a second instance find the saver.
extern const wchar_t kSaverClassName[];
extern const wchar_t kSaverTitle[];
extern const wchar_t kPreviewTitle[];

// The window procedures of the saver window (win32_saver_window.cpp).
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SceneWindowProc(SaverWindowState& saver, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
