// velmora-add-to-xscreensaver as a function: the command line and the home
// folder in, what to print and the exit status out.
#pragma once

#include <string>
#include <vector>

namespace NS_AddToXScreenSaver {

enum ExitStatus {
    kDone = 0,          // added, switched on, removed, or nothing to do
    kNotUnderstood = 1, // the file is not understood and left as it is
    kBadCommandLine = 2,
    kFileError = 3, // it could not be read or written; left as it was
};

extern const char* const kUsage;

struct Result {
    int status = kDone;
    std::string output;
    std::string errors;
};

// `home` is the folder that holds .xscreensaver.
Result Run(const std::vector<std::string>& arguments, const std::string& home);

} // namespace NS_AddToXScreenSaver
