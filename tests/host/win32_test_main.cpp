// The entry of velmora-test.scr, the saver's test build: the shipped entry's
// work, then, when VELMORA_TEST_CONTEXT_LOG names a file, a line there with the
// rendering contexts the run made and deleted ("made 2 deleted 2").
#include <windows.h>

#include <cstdio>

#include "host/shell_rules.h"
#include "host/win32_shell.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const wchar_t* arguments = NS_ShellRules::SkipProgramName(GetCommandLineW());
    const int code = DispatchCommand(GetModuleHandleW(nullptr), arguments);
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VELMORA_TEST_CONTEXT_LOG", path, MAX_PATH) > 0) {
        if (FILE* log = _wfopen(path, L"w")) {
            const RenderContextCount count = RenderContextsSoFar();
            std::fprintf(log, "made %d deleted %d\n", count.made, count.deleted);
            std::fclose(log);
        }
    }
    ExitProcess(static_cast<UINT>(code));
}
