// The list of screen savers in XScreenSaver's user file (~/.xscreensaver):
// finding the `programs` setting, and adding or removing The Velmora's entry
// while every other byte of the file stays as it was. Plain functions on the
// file's text; reading and writing the file is posix_user_file's business.
#pragma once

#include <string>

namespace NS_XScreenSaverList {

// The line that holds the entry, laid out as xscreensaver-settings lays out
// its own (the visual, tabs to column 32, the command, tabs to column 72).
extern const char* const kEntryLine;

enum class Outcome {
    Added,          // text holds the file with the entry at the end of the list
    Enabled,        // the entry was there but switched off ("-"); now switched on
    AlreadyPresent, // nothing to do; found holds the entry as it stands
    Removed,        // text holds the file without any velmora entry
    RemovedAll,     // the file held nothing but what NewFile() writes: delete it
    NotPresent,     // nothing to remove
    Refused,        // the file is not understood; reason says why, text is empty
};

struct Edit {
    Outcome outcome = Outcome::Refused;
    std::string text;   // the new contents, for Added, Enabled and Removed
    std::string found;  // AlreadyPresent: the entry as written in the file
    std::string reason; // Refused: one plain sentence, without the file's name
};

// The whole file this program writes where the user has none: a comment and
// a list holding only the entry. XScreenSaver adds the hacks of its system
// list that a user's list does not name, so none of them is lost.
std::string NewFile();

Edit AddEntry(const std::string& file);
Edit RemoveEntry(const std::string& file);

} // namespace NS_XScreenSaverList
