// A folder of a test's own under the system's temporary folder, removed with
// everything in it when the test is done; and reading back what a program
// wrote there.
#pragma once

#include <string>
#include <vector>

namespace velmora_test {

class TemporaryFolder {
public:
    // A new folder named `prefix` and six random characters, in `parent` or
    // else in the system's temporary folder; Path() is empty when it could not
    // be made.
    explicit TemporaryFolder(const std::string& prefix = "velmora-test", const std::string& parent = "");
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::string& Path() const { return path; }
    // The path of `name` inside the folder (which need not exist yet).
    std::string PathOf(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

// Removes `path` and everything under it, first giving its owner back every
// folder in it that a test locked. Links are removed, never followed: a mode
// changed through one would change a file outside the folder.
void RemoveTree(const std::string& path);

// The whole of a file, byte for byte; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The first line of a file, without its newline; empty when there is none.
std::string FirstLine(const std::string& path);

// The words of a file of NUL-separated words, such as /proc/PID/environ.
std::vector<std::string> NulSeparatedWords(const std::string& path);

} // namespace velmora_test
