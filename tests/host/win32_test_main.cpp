// The entry of velmora-test.scr, the saver's test build: the shipped entry's
// work on the scene that failing_scene.cpp gives, then, when
// VELMORA_TEST_CONTEXT_LOG names a file, a line there with the rendering
// contexts the run made and deleted ("made 2 deleted 2"). The link wraps the
// import slots of wglCreateContext and wglDeleteContext to count them; the
// saver's own code calls them as the shipped program does.
#include <windows.h>

#include <cstdio>

#include "host/saver_scene.h"
#include "host/shell_rules.h"
#include "host/win32_shell.h"

namespace {

// Main thread only, as the saver window makes and deletes every context there.
int made = 0;
int deleted = 0;

} // namespace

extern "C" {
extern decltype(&wglCreateContext) __real___imp_wglCreateContext;
extern decltype(&wglDeleteContext) __real___imp_wglDeleteContext;

HGLRC WINAPI CountedCreateContext(HDC deviceContext)
{
    HGLRC context = __real___imp_wglCreateContext(deviceContext);
    if (context != nullptr) {
        ++made;
    }
    return context;
}

// Counted only when the deletion succeeds: a context still current on the
// worker would not be.
BOOL WINAPI CountedDeleteContext(HGLRC context)
{
    const BOOL done = __real___imp_wglDeleteContext(context);
    if (done) {
        ++deleted;
    }
    return done;
}

decltype(&wglCreateContext) __wrap___imp_wglCreateContext = CountedCreateContext;
decltype(&wglDeleteContext) __wrap___imp_wglDeleteContext = CountedDeleteContext;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const wchar_t* arguments = NS_ShellRules::SkipProgramName(GetCommandLineW());
    const int code = DispatchCommand(GetModuleHandleW(nullptr), arguments, SaverScene());
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VELMORA_TEST_CONTEXT_LOG", path, MAX_PATH) > 0) {
        if (FILE* log = _wfopen(path, L"w")) {
            std::fprintf(log, "made %d deleted %d\n", made, deleted);
            std::fclose(log);
        }
    }
    ExitProcess(static_cast<UINT>(code));
}
