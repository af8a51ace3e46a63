#include "tools/add-to-xscreensaver/add_command.h"

#include <optional>
#include <string>
#include <vector>

#include "resources/version.h"
#include "tools/add-to-xscreensaver/posix_user_file.h"
#include "tools/add-to-xscreensaver/xscreensaver_list.h"

namespace NS_AddToXScreenSaver {

const char* const kUsage = "usage: velmora-add-to-xscreensaver [--remove]\n"
                           "\n"
                           "Adds The Velmora to your XScreenSaver list of screen savers, the programs:\n"
                           "setting in ~/.xscreensaver, as the entry \"GL: velmora --root\"; with no such\n"
                           "file it writes one that holds only the list. Every other byte of the file stays\n"
                           "as it was, the old file is kept as ~/.xscreensaver.velmora-backup, and a file it\n"
                           "does not understand is left untouched. Run it as yourself, not as root.\n"
                           "\n"
                           "  --remove    take The Velmora out of the list again\n"
                           "  --help      show this and exit\n"
                           "  --version   show the version and exit\n"
                           "\n"
                           "Exit status: 0 done (or nothing to do), 1 the file is not understood and\n"
                           "left as it is, 2 a bad command line, 3 the file could not be read or written\n"
                           "and is left as it was.\n";

namespace {

using NS_XScreenSaverList::Outcome;

const char* const kProgram = "velmora-add-to-xscreensaver";

const char* const kHowToPick = "To choose it, open xscreensaver-settings and pick \"The Velmora\" in the list;\n"
                               "set Mode to \"Only One Screen Saver\" to see only it.\n";

// As XScreenSaver 6 does it: the daemon reads the file again whenever it
// blanks the screen; the settings window reads it once, when it opens, and
// writes its whole list back on every change made in it.
std::string WhoSeesIt()
{
    const std::string daemon = "A running xscreensaver reads the new list by itself the next time it blanks\n"
                               "the screen. ";
    if (NS_UserFile::IsRunning("xscreensaver-settings")) {
        return daemon + "Your xscreensaver-settings window, open now, does not: close it and\n"
                        "open it again before you change anything in it, or it writes its old list back.\n";
    }
    return daemon + "An xscreensaver-settings window reads it when it opens; one open\n"
                    "already must be closed and opened again before you change anything in it,\n"
                    "or it writes its old list back.\n";
}

Result Failed(int status, const std::string& line)
{
    Result r;
    r.status = status;
    r.errors = std::string(kProgram) + ": " + line + "\n";
    return r;
}

// --help and --version answer at once, as does an argument not known; a
// result only then.
std::optional<Result> ReadArguments(const std::vector<std::string>& arguments, bool& remove)
{
    for (const std::string& a : arguments) {
        if (a == "--help" || a == "-h") {
            return Result{kDone, kUsage, {}};
        }
        if (a == "--version") {
            return Result{kDone, std::string(kProgram) + " " + VELMORA_VERSION + "\n", {}};
        }
        if (a == "--remove") {
            remove = true;
        } else {
            Result r = Failed(kBadCommandLine, "unknown argument \"" + a + "\"");
            r.errors += "\n" + std::string(kUsage);
            return r;
        }
    }
    return std::nullopt;
}

// A result only when there is no home folder, or it is another user's.
std::optional<Result> RefuseHome(const std::string& home)
{
    if (home.empty()) {
        return Failed(kFileError, "there is no home folder (HOME is not set), so no ~/.xscreensaver");
    }
    const std::string foreign = NS_UserFile::ForeignHome(home);
    if (!foreign.empty()) {
        return Failed(kFileError, "nothing done: " + foreign + "; run it as that user, without sudo");
    }
    return std::nullopt;
}

Result WriteNewFile(const std::string& path, bool remove, const NS_UserFile::Target& target)
{
    if (remove) {
        return Result{kDone, "There is no " + path + ", so The Velmora is not in your list; nothing changed.\n", {}};
    }
    const std::string failure = NS_UserFile::Replace(target, NS_XScreenSaverList::NewFile());
    if (!failure.empty()) {
        return Failed(kFileError, failure + "; nothing changed");
    }
    return Result{kDone,
                  "Wrote " + path +
                      " with a list of screen savers that holds The Velmora;\n"
                      "XScreenSaver adds the hacks of its own list to it.\n" +
                      kHowToPick + WhoSeesIt(),
                  {}};
}

// For an edit that gives the file new contents: Added, Enabled or Removed.
Result WriteEdit(const NS_UserFile::Target& target, const NS_XScreenSaverList::Edit& edit, const std::string& shown,
                 const std::string& backup)
{
    const std::string failure = NS_UserFile::Replace(target, edit.text);
    if (!failure.empty()) {
        return Failed(kFileError, failure + "; " + shown + " is unchanged");
    }
    std::string said;
    if (edit.outcome == Outcome::Added) {
        said = "Added The Velmora to your list of screen savers in " + shown + ".\n";
    } else if (edit.outcome == Outcome::Enabled) {
        said = "The Velmora was in your list of screen savers in " + shown + " but switched off; switched it on.\n";
    } else {
        said = "Took The Velmora out of your list of screen savers in " + shown + ".\n";
    }
    said += "The file as it was is kept as " + backup + ".\n";
    if (edit.outcome != Outcome::Removed) {
        said += kHowToPick;
    }
    return Result{kDone, said + WhoSeesIt(), {}};
}

Result EditFile(const NS_UserFile::Target& target, bool remove, const std::string& shown)
{
    const NS_XScreenSaverList::Edit edit =
        remove ? NS_XScreenSaverList::RemoveEntry(target.contents) : NS_XScreenSaverList::AddEntry(target.contents);
    const std::string backup = NS_UserFile::BackupPath(target);
    switch (edit.outcome) {
    case Outcome::Refused:
        return Failed(kNotUnderstood, shown + " is left as it is: " + edit.reason);
    case Outcome::AlreadyPresent:
        return Result{kDone,
                      "The Velmora is already in your list of screen savers in " + shown + ", as \"" + edit.found +
                          "\"; nothing changed.\n" + kHowToPick,
                      {}};
    case Outcome::NotPresent:
        return Result{
            kDone, "The Velmora is not in your list of screen savers in " + shown + "; nothing changed.\n", {}};
    case Outcome::RemovedAll: {
        const std::string failure = NS_UserFile::MoveToBackup(target);
        if (!failure.empty()) {
            return Failed(kFileError, failure + "; nothing changed");
        }
        return Result{kDone,
                      "Took The Velmora out: " + shown + " held only what " + kProgram + " wrote, so it is moved to " +
                          backup + "\nand XScreenSaver uses its own list again.\n" + WhoSeesIt(),
                      {}};
    }
    case Outcome::Added:
    case Outcome::Enabled:
    case Outcome::Removed:
        break;
    }
    return WriteEdit(target, edit, shown, backup);
}

} // namespace

Result Run(const std::vector<std::string>& arguments, const std::string& home)
{
    bool remove = false;
    if (std::optional<Result> answered = ReadArguments(arguments, remove)) {
        return *answered;
    }
    if (std::optional<Result> refused = RefuseHome(home)) {
        return *refused;
    }
    const std::string path = (home.back() == '/' ? home : home + "/") + ".xscreensaver";
    NS_UserFile::Target target;
    const std::string failure = NS_UserFile::Read(path, target);
    if (!failure.empty()) {
        return Failed(kFileError, failure + "; nothing changed");
    }
    if (!target.exists) {
        return WriteNewFile(path, remove, target);
    }
    const std::string shown = target.real == path ? path : path + " (" + target.real + ")";
    return EditFile(target, remove, shown);
}

} // namespace NS_AddToXScreenSaver
