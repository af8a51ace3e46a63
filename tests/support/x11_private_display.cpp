#include "tests/support/x11_private_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>

#include "tests/support/wait_until.h"

namespace velmora_test {

PrivateDisplay::PrivateDisplay(int width, int height, const std::vector<std::string>& extraArguments)
{
    if (!OnPath("Xvfb")) {
        failure = "Xvfb is not installed (Debian package xvfb)";
        return;
    }
    std::vector<std::string> words{
        "Xvfb",      "-screen", "0",   std::to_string(width) + "x" + std::to_string(height) + "x24",
        "-nolisten", "tcp",     "-br", "-noreset"};
    words.insert(words.end(), extraArguments.begin(), extraArguments.end());
    // Nothing of the caller's display reaches the server.
    Start(words, EnvironmentWithout({"DISPLAY", "XAUTHORITY"}));
}

PrivateDisplay::PrivateDisplay(const std::vector<std::string>& words, const std::vector<std::string>& environment)
{
    if (!OnPath(words.at(0))) {
        failure = words[0] + " is not installed";
        return;
    }
    Start(words, environment);
}

void PrivateDisplay::Start(std::vector<std::string> words, const std::vector<std::string>& environment)
{
    const std::string program = words.at(0);
    words.insert(words.begin() + 1, {"-displayfd", "3"});
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        failure = "cannot make a pipe for " + program;
        return;
    }
    ChildProcess::Streams streams;
    streams.passed = ready[1];
    server = std::make_unique<ChildProcess>(words, environment, streams);
    close(ready[1]);

    // The server writes its number, and a newline, once it accepts connections; on a
    // loaded machine that can take a while.
    std::string number;
    // The wait for the pipe (poll) paces the asking; it ends early when the
    // server went away.
    WaitUntil(std::chrono::seconds(60), std::chrono::milliseconds(0), [&] {
        if (!server->Started())
            return true;
        pollfd wait{ready[0], POLLIN, 0};
        if (poll(&wait, 1, 100) < 0)
            return false;
        char text[16];
        const ssize_t got = (wait.revents & (POLLIN | POLLHUP)) != 0 ? read(ready[0], text, sizeof text) : -1;
        if (got > 0)
            number.append(text, static_cast<std::size_t>(got));
        return (!number.empty() && number.back() == '\n') || got == 0 || !server->Running();
    });
    close(ready[0]);
    if (number.empty() || number.back() != '\n') {
        failure = server->Started() ? program + " did not come up" : "cannot start " + program;
        server.reset();
        return;
    }
    number.pop_back();
    name = ":" + number;
}

PrivateDisplay::~PrivateDisplay()
{
    if (server)
        server->Stop(SIGTERM, std::chrono::milliseconds(5000));
}

} // namespace velmora_test
