#include "tests/support/posix_child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/wait_until.h"

extern char** environ;

namespace velmora_test {

namespace {

std::string FindProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::stringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return name;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& words, const std::vector<std::string>& environment,
                           const Streams& streams)
{
    if (words.empty())
        return;
    // Everything the child needs is prepared here: after fork it may only make
    // async-signal-safe calls.
    const std::string program = FindProgram(words[0]);
    std::vector<std::string> argumentCopy = words;
    std::vector<std::string> environmentCopy = environment;
    std::vector<char*> argv;
    for (auto& word : argumentCopy)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : environmentCopy)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();

    pid = fork();
    if (pid != 0)
        return; // the parent, or a failed fork (-1)

    // A test that is killed on its time-out takes its servers and savers along.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    if (streams.passed >= 0) {
        if (streams.passed == 3)
            fcntl(3, F_SETFD, 0);
        else if (dup2(streams.passed, 3) < 0)
            _exit(127);
    }
    const int input = open("/dev/null", O_RDONLY);
    const int output = open(streams.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errors = open(streams.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (input < 0 || output < 0 || errors < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0)
        _exit(127);
    // Signals the parent blocks would stay blocked in the child.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
}

ChildProcess::~ChildProcess()
{
    if (pid > 0 && !status) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds timeout)
{
    WaitUntil(timeout, std::chrono::milliseconds(5), [&] {
        int raw = 0;
        if (pid > 0 && !status && waitpid(pid, &raw, WNOHANG) == pid)
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
        return pid <= 0 || status.has_value();
    });
    return status;
}

std::optional<int> ChildProcess::Stop(int signal, std::chrono::milliseconds grace)
{
    if (pid <= 0)
        return status;
    if (!status)
        kill(pid, signal);
    if (!WaitExit(grace)) {
        kill(pid, SIGKILL);
        WaitExit(std::chrono::milliseconds(5000));
    }
    return status;
}

namespace {

std::vector<std::string> EnvironmentWhere(const std::vector<std::string>& names, bool named)
{
    std::vector<std::string> kept;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool isNamed = false;
        for (const std::string& name : names)
            isNamed = isNamed || text.rfind(name + "=", 0) == 0;
        if (isNamed == named)
            kept.push_back(text);
    }
    return kept;
}

} // namespace

std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& names)
{
    return EnvironmentWhere(names, false);
}

std::vector<std::string> EnvironmentOnly(const std::vector<std::string>& names)
{
    return EnvironmentWhere(names, true);
}

bool OnPath(const std::string& program)
{
    return access(FindProgram(program).c_str(), X_OK) == 0;
}

int RunToEnd(const std::vector<std::string>& words, const std::vector<std::string>& environment,
             std::chrono::milliseconds timeout)
{
    ChildProcess command(words, environment);
    const std::optional<int> code = command.WaitExit(timeout);
    return code && *code >= 0 ? *code : -1;
}

std::vector<pid_t> ProcessesRunning(const std::string& path, const std::string& onDisplay)
{
    std::vector<pid_t> found;
    std::error_code error;
    const auto binary = std::filesystem::canonical(path, error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code gone;
        if (std::filesystem::read_symlink(entry.path() / "exe", gone) != binary || gone)
            continue;
        if (!onDisplay.empty()) {
            std::ifstream file(entry.path() / "environ");
            std::string variable;
            bool ours = false;
            while (!ours && std::getline(file, variable, '\0'))
                ours = variable == "DISPLAY=" + onDisplay;
            if (!ours)
                continue;
        }
        found.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return found;
}

} // namespace velmora_test
