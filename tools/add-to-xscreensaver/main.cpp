// velmora-add-to-xscreensaver: puts The Velmora into the user's XScreenSaver
// list of screen savers, or takes it out again (--remove).
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/add-to-xscreensaver/add_command.h"

int main(int argc, char** argv)
{
    // Past a file size limit, a failed write (and the file left as it was)
    // rather than death half-way with a temporary file left behind.
    ::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    // XScreenSaver finds the file through HOME, and so does this.
    std::string home;
    if (const char* variable = std::getenv("HOME")) {
        home = variable;
    } else if (const passwd* user = ::getpwuid(::getuid())) {
        home = user->pw_dir;
    }
    const NS_AddToXScreenSaver::Result result = NS_AddToXScreenSaver::Run(arguments, home);
    std::fputs(result.errors.c_str(), stderr);
    if (std::fputs(result.output.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        // The file is already written; only the report was lost.
        std::fprintf(stderr, "velmora-add-to-xscreensaver: could not write to standard output\n");
        return result.status == 0 ? NS_AddToXScreenSaver::kFileError : result.status;
    }
    return result.status;
}
