// The Windows screen-saver shell: the mode dispatch, the saver window's class
// and message loop, the close rules behind the scene's window procedure, the
// password check of the systems that leave it to the saver, and the configure
// dialog. Everything runs on the main thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/shell_rules.h"

// The command-line arguments (the program's name already skipped) into a
// mode, run; returns the process's exit code.
int DispatchCommand(HINSTANCE instance, const wchar_t* arguments);

// Decimal digits into a window handle's value (wraps, no sign).
std::uint32_t ParseDecimal(const wchar_t* text);

// Full screen when parent is null, else a preview inside parent. Returns the
// quit message's code (0 when no window could be made).
int RunSaverWindow(HWND parent);

// The default processing behind SceneWindowProc: decides when the saver closes.
LRESULT BaseSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// May the saver close now (asks the password verifier where one is loaded)?
bool ConfirmClose(HWND window);

void LoadPasswordModule();
void ReleasePasswordModule();
// Tells the system whether a password-protected saver is running.
void MarkSaverRunning(bool running);

// The change-password mode, through the system's password provider.
void ChangeSaverPassword(HWND window);

// The configure mode: the about dialog; returns the dialog's result.
INT_PTR ShowAboutDialog(HWND owner);

// Shell state the window procedures read.
bool ShellPreviewMode();
bool ShellCloseApproved();
// Records where the cursor was when the saver window was created.
void ShellSetCursorAnchor(POINT position);

// An exception that left a window procedure is kept here and thrown again
// once control is back in the shell's own frames: C++ exceptions must not
// unwind through the system's message dispatch.
void ShellKeepException();
// A failure that did not come as an exception (the scene's worker stopped):
// kept like one, so that the run ends as an escaped exception ends it.
void ShellKeepFailure(const std::string& what);

// The class and the titles by which the system and a second instance find the saver.
extern const wchar_t kSaverClassName[];
extern const wchar_t kSaverTitle[];
extern const wchar_t kPreviewTitle[];

// The window procedures of the saver window (win32_saver_window.cpp).
LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SceneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The rendering contexts the saver window made, and those that it deleted
// (wglDeleteContext succeeded): equal once every engine has stopped. A test
// build reports them.
struct RenderContextCount {
    int made = 0;
    int deleted = 0;
};
RenderContextCount RenderContextsSoFar();
