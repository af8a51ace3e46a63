#include "tests/support/posix_temporary_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora_test {

namespace {

// Gives the owner every folder from `name` (in the folder `parent`) down, so
// that their entries can be removed; anything but a real folder is left as it is.
void OpenFoldersToOwner(int parent, const char* name)
{
    struct stat status {};
    if (fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode))
        return;
    fchmodat(parent, name, 0700, AT_SYMLINK_NOFOLLOW);
    const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return;
    DIR* entries = fdopendir(folder);
    if (entries == nullptr) {
        close(folder);
        return;
    }
    while (const dirent* entry = readdir(entries))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            OpenFoldersToOwner(dirfd(entries), entry->d_name);
    closedir(entries);
}

} // namespace

TemporaryFolder::TemporaryFolder(const std::string& prefix, const std::string& parent)
{
    std::error_code error;
    const std::filesystem::path in =
        parent.empty() ? std::filesystem::temp_directory_path(error) : std::filesystem::path(parent);
    std::string pattern = (in / (prefix + "-XXXXXX")).string();
    if (!error && mkdtemp(pattern.data()) != nullptr)
        path = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    if (!path.empty())
        RemoveTree(path);
}

void RemoveTree(const std::string& path)
{
    OpenFoldersToOwner(AT_FDCWD, path.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ReadFile(const std::string& path)
{
    // Through a string stream: GCC 12 at -O2 warns of a null dereference inside
    // istreambuf_iterator's constructor, which -Werror makes fatal.
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::string FirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::vector<std::string> NulSeparatedWords(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> words;
    for (std::string word; std::getline(file, word, '\0');)
        words.push_back(word);
    return words;
}

} // namespace velmora_test
