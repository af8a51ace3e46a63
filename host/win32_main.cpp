// The program entry of velmora.scr: the system starts a screen saver with its
// mode in the command line ("/s", "/p 1234", "/c:1234", "/a 1234" or nothing).
#include <windows.h>

#include "host/saver_scene.h"
#include "host/shell_rules.h"
#include "host/win32_shell.h"

// The arguments are read from GetCommandLineW, not from the entry's own
// parameter, so that every compiler's start-up code gives the same text.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const wchar_t* arguments = NS_ShellRules::SkipProgramName(GetCommandLineW());
    ExitProcess(static_cast<UINT>(DispatchCommand(GetModuleHandleW(nullptr), arguments, SaverScene())));
}
