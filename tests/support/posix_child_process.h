// Child processes for tests that drive programs: started with exactly the
// environment given (nothing of the caller's leaks in unless passed on), their
// output sent to files, and never outliving the test process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velmora_test {

class ChildProcess {
public:
    struct Streams {
        std::string output = "/dev/null";
        std::string errors = "/dev/null";
        // A descriptor of the caller's that the child gets as descriptor 3.
        int passed = -1;
    };

    // words[0] is looked up on the caller's PATH when it holds no slash.
    ChildProcess(const std::vector<std::string>& words, const std::vector<std::string>& environment,
                 const Streams& streams);
    ChildProcess(const std::vector<std::string>& words, const std::vector<std::string>& environment)
        : ChildProcess(words, environment, Streams{})
    {
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills a child that is still running, and reaps it.
    ~ChildProcess();

    bool Started() const { return pid > 0; }
    pid_t Pid() const { return pid; }

    // The exit code, -signal when a signal ended it, or nothing while it still
    // runs after `timeout`.
    std::optional<int> WaitExit(std::chrono::milliseconds timeout);
    bool Running() { return Started() && !WaitExit(std::chrono::milliseconds(0)); }

    // Sends `signal`, waits up to `grace`, then kills it; the exit as WaitExit.
    std::optional<int> Stop(int signal, std::chrono::milliseconds grace);

private:
    pid_t pid = -1;
    std::optional<int> status;
};

// The caller's environment without the variables named (each "NAME"), and
// only those variables of it.
std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& names);
std::vector<std::string> EnvironmentOnly(const std::vector<std::string>& names);

// What the sanitizer runs set for their programs (see cmake/VelmoraTesting.cmake).
inline const std::vector<std::string> kSanitizerVariables{"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"};

// True when `program` is an executable on the caller's PATH.
bool OnPath(const std::string& program);

// Runs a command to its end, for at most `timeout`; its exit code, or -1 when
// a signal ended it or it was still running (and was killed).
int RunToEnd(const std::vector<std::string>& words, const std::vector<std::string>& environment,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// The processes running the program at `path`, by their executable; with a
// display name, only those started for that display (never a person's own).
std::vector<pid_t> ProcessesRunning(const std::string& path, const std::string& onDisplay = "");

} // namespace velmora_test
