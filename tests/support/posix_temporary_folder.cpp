#include "tests/support/posix_temporary_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora_test {

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
    if (path.empty())
        return;
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
