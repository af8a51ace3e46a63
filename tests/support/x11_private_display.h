// A virtual X display of a test's own: an Xvfb that picks a free display number
// itself (-displayfd), so that parallel tests and a person's desktop never meet.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/posix_child_process.h"

namespace velmora_test {

class PrivateDisplay {
public:
    // A 24-bit screen of the given size, local connections only; extra Xvfb
    // arguments (such as "-extension", "GLX") follow.
    PrivateDisplay(int width, int height, const std::vector<std::string>& extraArguments = {});
    // Another X server that takes -displayfd, such as a nested Xephyr, started
    // with `words` (without -displayfd) and exactly `environment`.
    PrivateDisplay(const std::vector<std::string>& words, const std::vector<std::string>& environment);
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    ~PrivateDisplay();

    // ":N" once the server accepts connections; empty when it did not start.
    const std::string& Name() const { return name; }
    // Why it did not start, in plain words.
    const std::string& Failure() const { return failure; }

private:
    void Start(std::vector<std::string> words, const std::vector<std::string>& environment);

    std::unique_ptr<ChildProcess> server;
    std::string name;
    std::string failure;
};

} // namespace velmora_test
