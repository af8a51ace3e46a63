#include "tools/add-to-xscreensaver/posix_user_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace NS_UserFile {

namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

std::string Directory(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A new file beside `path` with `data`, on the disk, then renamed to `path`:
// at every moment `path` is either the old file or the new one, whole.
std::string WriteBeside(const std::string& path, const std::string& data, mode_t mode)
{
    const std::string directory = Directory(path);
    const std::string name = BaseName(path);
    std::string temporary = directory + "/" + (name[0] == '.' ? "" : ".") + name + ".new-XXXXXX";
    const int fd = ::mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) {
        return "cannot create a new file in " + directory + " for " + name + ": " + Reason(errno);
    }
    std::string failure;
    if (::fchmod(fd, mode) != 0) {
        failure = "cannot set the permissions of a new " + path + ": " + Reason(errno);
    } else if (!WriteAll(fd, data)) {
        failure = "cannot write " + path + ": " + Reason(errno);
    } else if (::fsync(fd) != 0) {
        failure = "cannot write " + path + " to the disk: " + Reason(errno);
    }
    if (::close(fd) != 0 && failure.empty()) {
        failure = "cannot write " + path + ": " + Reason(errno);
    }
    if (failure.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = "cannot put the new " + path + " in place: " + Reason(errno);
    }
    if (!failure.empty()) {
        ::unlink(temporary.c_str());
        return failure;
    }
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::string Read(const std::string& path, Target& target)
{
    target = Target{};
    target.path = path;
    target.real = path;
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) {
        if (errno == ENOENT) {
            return {};
        }
        return "cannot look at " + path + ": " + Reason(errno);
    }
    if (S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) {
            const int error = errno;
            char to[PATH_MAX] = {};
            const ssize_t n = ::readlink(path.c_str(), to, sizeof to - 1);
            const std::string where = n > 0 ? std::string(to, static_cast<std::size_t>(n)) : std::string("?");
            if (error == ENOENT) {
                return path + " is a symbolic link to " + where + ", which does not exist";
            }
            return path + " is a symbolic link to " + where + " that cannot be followed: " + Reason(error);
        }
        target.real = resolved;
    }
    const int fd = ::open(target.real.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return "cannot read " + target.real + ": " + Reason(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return target.real + " is not a regular file";
    }
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return "cannot read " + target.real + ": " + Reason(error);
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    target.exists = true;
    target.contents = contents;
    target.mode = st.st_mode & 07777;
    return {};
}

std::string BackupPath(const Target& target)
{
    return target.real + ".velmora-backup";
}

std::string Replace(const Target& target, const std::string& contents)
{
    if (target.exists) {
        // Its permissions say the user wants it left alone; a rename would
        // get past them, since it needs only the folder to be writable.
        if (::access(target.real.c_str(), W_OK) != 0) {
            return "cannot change " + target.real + ", which is read-only for you: " + Reason(errno);
        }
        const std::string failure = WriteBeside(BackupPath(target), target.contents, target.mode);
        if (!failure.empty()) {
            return failure;
        }
        return WriteBeside(target.real, contents, target.mode);
    }
    return WriteBeside(target.real, contents, NewFileMode());
}

std::string ForeignHome(const std::string& home)
{
    struct stat st {};
    if (::geteuid() == 0 && ::stat(home.c_str(), &st) == 0 && st.st_uid != 0) {
        return "it runs as root on " + home + ", a home folder that belongs to another user";
    }
    return {};
}

std::string MoveToBackup(const Target& target)
{
    if (::access(target.real.c_str(), W_OK) != 0) {
        return "cannot change " + target.real + ", which is read-only for you: " + Reason(errno);
    }
    if (::rename(target.real.c_str(), BackupPath(target).c_str()) != 0) {
        return "cannot rename " + target.real + " to " + BackupPath(target) + ": " + Reason(errno);
    }
    return {};
}

} // namespace NS_UserFile

namespace NS_UserFile {

bool IsRunning(const std::string& program)
{
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        const std::string pid = entry->d_name;
        struct stat st {};
        if (pid.find_first_not_of("0123456789") != std::string::npos || ::stat(("/proc/" + pid).c_str(), &st) != 0 ||
            st.st_uid != ::getuid()) {
            continue;
        }
        std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
        std::string first;
        std::getline(in, first, '\0');
        if (BaseName(first) == program) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

} // namespace NS_UserFile
