// The user's file on disk, read whole and replaced whole: a backup of the old
// contents first, the new contents written beside it, flushed to the disk and
// renamed over it with its permissions, so that a failure at any point leaves
// the file as it was. Every failure comes back as one plain sentence.
#pragma once

#include <sys/types.h>

#include <string>

namespace NS_UserFile {

struct Target {
    std::string path; // as the user names it
    std::string real; // the file itself: path, or where its symbolic links lead
    bool exists = false;
    std::string contents; // when it exists
    mode_t mode = 0;      // its permission bits, when it exists
};

// An empty string when `target` could be filled in.
std::string Read(const std::string& path, Target& target);

// The backup path of a target: beside the real file.
std::string BackupPath(const Target& target);

// Writes `contents` as the file, keeping the old contents (if any) as the
// backup. An empty string on success.
std::string Replace(const Target& target, const std::string& contents);

// Why this process should not edit a file in `home`: run by root (through
// sudo, say) on a home folder that belongs to someone else, it would leave
// them a file of root's. Empty when it may.
std::string ForeignHome(const std::string& home);

// Moves the file to its backup, so that it no longer exists.
std::string MoveToBackup(const Target& target);

} // namespace NS_UserFile

namespace NS_UserFile {

// Whether a program of this name (its argv[0], without folders) runs as this
// user, as /proc shows it; false where /proc cannot be read.
bool IsRunning(const std::string& program);

} // namespace NS_UserFile
