#include "tests/support/installed_user_session.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/support/posix_child_process.h"
#include "tests/support/posix_temporary_folder.h"

namespace velmora_test {

namespace fs = std::filesystem;

namespace {
// Daemons stay away from root; the tests, run as root in CI, use nobody.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
} // namespace

InstalledUserSession::InstalledUserSession(const std::string& cmake, const std::string& buildDir)
    : folder("velmora-session")
{
    work = folder.Path();
    if (work.empty()) {
        failure = "cannot make a temporary folder";
        return;
    }
    stage = work + "/stage";
    home = work + "/home";
    const bool asRoot = geteuid() == 0;
    user = asRoot ? kNobody : geteuid();
    group = asRoot ? kNogroup : getegid();
    // The user must reach the staged files and the home through these.
    chmod(work.c_str(), 0755);

    const std::string log = work + "/install.log";
    ChildProcess::Streams streams;
    streams.output = streams.errors = log;
    ChildProcess install({cmake, "--install", buildDir, "--prefix", "/usr"}, {"DESTDIR=" + stage, "PATH=/usr/bin:/bin"},
                         streams);
    const auto code = install.WaitExit(std::chrono::minutes(2));
    if (code != 0) {
        failure = "cmake --install into " + stage + " failed:\n" + ReadFile(log);
        return;
    }

    // The system folders the savers read hacks and descriptions from, as the
    // user's programs see them: the system's files (through a second view of
    // the real folder), and over them the staged ones.
    std::error_code error;
    for (std::size_t i = 0; i < kOverlaidDirs.size(); ++i) {
        const std::string system = work + "/system-" + std::to_string(i);
        const std::string merged = work + "/merged-" + std::to_string(i);
        fs::create_directories(system, error);
        fs::create_directories(merged, error);
        // A copy of the package installed on the machine must not stand in
        // for the staged files.
        for (const auto& entry : fs::directory_iterator(kOverlaidDirs[i], error))
            if (entry.path().filename().string().rfind("velmora", 0) != 0)
                fs::create_symlink(system + "/" + entry.path().filename().string(),
                                   merged + "/" + entry.path().filename().string(), error);
        for (const auto& entry : fs::directory_iterator(stage + kOverlaidDirs[i], error)) {
            const fs::path link = merged + "/" + entry.path().filename().string();
            fs::remove(link, error);
            fs::create_symlink(entry.path(), link, error);
        }
    }

    fs::create_directories(home + "/.config", error);
    fs::create_directories(home + "/.cache", error);
    fs::create_directories(home + "/runtime", error);
    chmod(home.c_str(), 0755);
    chmod((home + "/runtime").c_str(), 0700);
    if (asRoot)
        for (const auto& entry : fs::recursive_directory_iterator(home, error))
            lchown(entry.path().c_str(), user, group);
    if (asRoot && chown(home.c_str(), user, group) != 0)
        failure = "cannot give the home to the test user";
}

std::vector<std::string> InstalledUserSession::AsUser(const std::vector<std::string>& words) const
{
    // Two bind mounts per folder in a mount namespace of the command's own:
    // the real folder to a second place, then the merged one over it.
    const std::string mounts = "while [ \"$1\" != -- ]; do mount --bind \"$1\" \"$2\" && mount --bind \"$3\" \"$1\" || "
                               "exit 125; shift 3; done; shift; exec \"$@\"";
    std::vector<std::string> command;
    std::vector<std::string> drop;
    if (geteuid() == 0) {
        command = {"unshare", "--mount", "--propagation", "private", "--"};
        drop = {"setpriv", "--reuid=" + std::to_string(user), "--regid=" + std::to_string(group), "--clear-groups",
                "--"};
    } else {
        // Unprivileged: the mounts are made as root of a user namespace, and
        // the command runs as the caller again, in one nested inside it.
        command = {"unshare", "--user", "--map-root-user", "--mount", "--propagation", "private", "--"};
        drop = {"unshare", "--user", "--map-user=" + std::to_string(user), "--map-group=" + std::to_string(group),
                "--"};
    }
    command.insert(command.end(), {"/bin/sh", "-c", mounts, "sh"});
    for (std::size_t i = 0; i < kOverlaidDirs.size(); ++i)
        command.insert(command.end(), {kOverlaidDirs[i], work + "/system-" + std::to_string(i),
                                       work + "/merged-" + std::to_string(i)});
    command.push_back("--");
    command.insert(command.end(), drop.begin(), drop.end());
    command.insert(command.end(), words.begin(), words.end());
    return command;
}

std::vector<std::string> InstalledUserSession::Environment(const std::string& display) const
{
    return {"HOME=" + home,
            "USER=nobody",
            "LOGNAME=nobody",
            "DISPLAY=" + display,
            "PATH=" + stage + "/usr/bin:/usr/local/bin:/usr/bin:/bin",
            "XDG_DATA_DIRS=/usr/local/share:/usr/share",
            "XDG_CONFIG_HOME=" + home + "/.config",
            "XDG_CACHE_HOME=" + home + "/.cache",
            "XDG_RUNTIME_DIR=" + home + "/runtime",
            "LIBGL_ALWAYS_SOFTWARE=1",
            "NO_AT_BRIDGE=1",
            "LANG=C.UTF-8"};
}

bool InstalledUserSession::WriteHomeFile(const std::string& name, const std::string& text) const
{
    const fs::path path = fs::path(home) / name;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush())
            return false;
    }
    if (geteuid() == 0)
        for (fs::path part = path; part != fs::path(home); part = part.parent_path())
            if (lchown(part.c_str(), user, group) != 0)
                return false;
    return true;
}

std::string InstalledUserSession::ReadHomeFile(const std::string& name) const
{
    return ReadFile((fs::path(home) / name).string());
}

namespace {
std::optional<std::pair<dev_t, ino_t>> FileOf(const fs::path& link)
{
    struct stat file;
    if (stat(link.c_str(), &file) != 0)
        return std::nullopt;
    return std::pair{file.st_dev, file.st_ino};
}

} // namespace

bool DisplayProcess::Runs(const std::string& path) const
{
    struct stat wanted;
    return executable && stat(path.c_str(), &wanted) == 0 && *executable == std::pair{wanted.st_dev, wanted.st_ino};
}

std::string DisplayProcess::Variable(const std::string& name) const
{
    for (const std::string& variable : environment)
        if (variable.compare(0, name.size() + 1, name + "=") == 0)
            return variable.substr(name.size() + 1);
    return {};
}

std::vector<DisplayProcess> ProcessesOnDisplay(const std::string& display)
{
    std::vector<DisplayProcess> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        DisplayProcess process;
        process.pid = static_cast<pid_t>(std::stoi(name));
        if (process.pid == getpid())
            continue;
        process.environment = NulSeparatedWords((entry.path() / "environ").string());
        // Savers name the screen too (":3.0" for ":3").
        const std::string on = process.Variable("DISPLAY");
        if (on != display && on.rfind(display + ".", 0) != 0)
            continue;
        // A process may exec between two readings of /proc (a saver's child
        // that becomes the hack): its arguments count only when exe showed the
        // same file before and after them; else it is taken at the next look.
        process.executable = FileOf(entry.path() / "exe");
        process.arguments = NulSeparatedWords((entry.path() / "cmdline").string());
        if (FileOf(entry.path() / "exe") != process.executable)
            continue;
        if (!process.arguments.empty())
            found.push_back(process);
    }
    return found;
}

void KillProcessesOnDisplay(const std::string& display)
{
    for (const DisplayProcess& process : ProcessesOnDisplay(display))
        kill(process.pid, SIGKILL);
}

} // namespace velmora_test
