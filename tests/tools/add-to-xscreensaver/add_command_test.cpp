// The command velmora-add-to-xscreensaver (add_command, posix_user_file) on a
// real home folder, where every failure must leave the user's file as it was,
// byte for byte. The folder's cases run in a child process, as a user of their
// own when the suite runs as root, so that permissions bind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "resources/version.h"
#include "tests/support/posix_child_process.h"
#include "tests/support/posix_temporary_folder.h"
#include "tests/support/wait_until.h"
#include "tools/add-to-xscreensaver/add_command.h"
#include "tools/add-to-xscreensaver/xscreensaver_list.h"

using namespace NS_XScreenSaverList;
using velmora_test::ReadFile;
namespace fs = std::filesystem;

namespace {

// A file as XScreenSaver's settings write it, and two that the list functions
// refuse to edit (with the others in xscreensaver_list_test.cpp).
const std::string kSettingsFile =
    ReadFile(VELMORA_SOURCE_DIR "/tests/tools/add-to-xscreensaver/xscreensaver_files/written-by-settings");
const std::string kTwoLists = "programs: maze -root \\n\nprograms: qix -root \\n\n";
const std::string kQualifiedList = "*programs: maze -root \\n\n";

// How the command runs: the home folder's permissions, and a limit on the
// size of the files it writes that stands for a full disk.
struct Limits {
    mode_t homeMode = 0755;
    rlim_t fileSize = RLIM_INFINITY;
};

// A home folder of the test's own, given to a user of its own when the suite
// runs as root, in which the command runs as that user. No other program runs
// as that user: the command looks at every process of its user for a settings
// window, and the tests beside this one run xscreensaver-settings as nobody.
class Home {
public:
    Home()
    {
        char name[] = "/tmp/velmora-add-test-XXXXXX";
        path = ::mkdtemp(name);
        if (::geteuid() == 0) {
            uid = gid = 2000000000u + static_cast<uid_t>(::getpid());
        }
        Own(path);
    }
    ~Home() { velmora_test::RemoveTree(path); }

    std::string File(const std::string& name) const { return path + "/" + name; }
    // A command line run as the folder's user.
    std::vector<std::string> AsUser(std::vector<std::string> words) const
    {
        if (uid != 0)
            words.insert(words.begin(), {"setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
                                         "--clear-groups"});
        return words;
    }
    void Write(const std::string& name, const std::string& contents, mode_t mode = 0644) const
    {
        std::ofstream(File(name), std::ios::binary) << contents;
        ::fchmodat(AT_FDCWD, File(name).c_str(), mode, AT_SYMLINK_NOFOLLOW);
        Own(File(name));
    }
    void Link(const std::string& name, const std::string& to) const
    {
        ASSERT_EQ(::symlink(to.c_str(), File(name).c_str()), 0);
        Own(File(name));
    }
    void Folder(const std::string& name) const
    {
        fs::create_directory(File(name));
        Own(File(name));
    }
    // Every file under the folder with its bytes, to compare before and after.
    std::set<std::pair<std::string, std::string>> Snapshot() const
    {
        std::set<std::pair<std::string, std::string>> all;
        ::chmod(path.c_str(), 0755);
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            const std::string at = entry.path().string();
            all.insert({at, entry.is_symlink()        ? "-> " + fs::read_symlink(entry.path()).string()
                            : entry.is_regular_file() ? Bytes(at)
                                                      : std::string("(folder)")});
        }
        return all;
    }

    NS_AddToXScreenSaver::Result Run(const std::vector<std::string>& arguments, Limits limits = Limits()) const
    {
        ::chmod(path.c_str(), limits.homeMode);
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            return {};
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeEnds[0]);
            if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
                ::_exit(125);
            }
            ::umask(022);
            const rlimit size{limits.fileSize, limits.fileSize};
            ::signal(SIGXFSZ, SIG_IGN);
            ::setrlimit(RLIMIT_FSIZE, &size);
            const NS_AddToXScreenSaver::Result r = NS_AddToXScreenSaver::Run(arguments, path);
            const std::string message = r.output + '\0' + r.errors;
            if (::write(pipeEnds[1], message.data(), message.size()) != static_cast<ssize_t>(message.size())) {
                ::_exit(126);
            }
            ::_exit(r.status);
        }
        ::close(pipeEnds[1]);
        std::string message;
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
            message.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(pipeEnds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::chmod(path.c_str(), 0755);
        NS_AddToXScreenSaver::Result r;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const std::size_t split = message.find('\0');
        r.output = message.substr(0, split);
        r.errors = split == std::string::npos ? "(no report)" : message.substr(split + 1);
        return r;
    }

    std::string path;

private:
    // Its permissions and its bytes, read even where they forbid it.
    static std::string Bytes(const std::string& at)
    {
        struct stat st {};
        ::lstat(at.c_str(), &st);
        ::fchmodat(AT_FDCWD, at.c_str(), st.st_mode | S_IRUSR, AT_SYMLINK_NOFOLLOW);
        const std::string bytes = ReadFile(at);
        ::fchmodat(AT_FDCWD, at.c_str(), st.st_mode & 07777, AT_SYMLINK_NOFOLLOW);
        return std::to_string(st.st_mode & 07777) + ":" + bytes;
    }
    void Own(const std::string& at) const
    {
        if (uid != 0) {
            EXPECT_EQ(::lchown(at.c_str(), uid, gid), 0);
        }
    }
    uid_t uid = 0;
    gid_t gid = 0;
};

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(AddCommand, WritesAMinimalFileWhereThereIsNoneAndRemovingItLeavesNone)
{
    Home home;
    const auto added = home.Run({});
    ASSERT_EQ(added.status, 0) << added.errors;
    EXPECT_EQ(ReadFile(home.File(".xscreensaver")), NewFile());
    EXPECT_EQ(ModeOf(home.File(".xscreensaver")), 0644u);
    EXPECT_NE(added.output.find("xscreensaver-settings"), std::string::npos);
    EXPECT_NE(added.output.find("closed and opened again"), std::string::npos);

    const auto removed = home.Run({"--remove"});
    ASSERT_EQ(removed.status, 0) << removed.errors;
    EXPECT_FALSE(fs::exists(home.File(".xscreensaver")));
    EXPECT_EQ(ReadFile(home.File(".xscreensaver.velmora-backup")), NewFile());
    EXPECT_EQ(home.Run({"--remove"}).status, 0);
    EXPECT_FALSE(fs::exists(home.File(".xscreensaver")));
}

TEST(AddCommand, EditsTheFileKeepingItsPermissionsAndABackupAndRestoresItByteForByte)
{
    Home home;
    home.Write(".xscreensaver", kSettingsFile, 0600);
    ASSERT_EQ(home.Run({}).status, 0);
    EXPECT_EQ(ReadFile(home.File(".xscreensaver")), AddEntry(kSettingsFile).text);
    EXPECT_EQ(ModeOf(home.File(".xscreensaver")), 0600u);
    EXPECT_EQ(ReadFile(home.File(".xscreensaver.velmora-backup")), kSettingsFile);
    EXPECT_EQ(ModeOf(home.File(".xscreensaver.velmora-backup")), 0600u);

    const auto before = home.Snapshot();
    const auto again = home.Run({});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.output.find("already"), std::string::npos);
    EXPECT_EQ(home.Snapshot(), before);

    ASSERT_EQ(home.Run({"--remove"}).status, 0);
    EXPECT_EQ(ReadFile(home.File(".xscreensaver")), kSettingsFile);
    // Nothing else is left beside it: no file half written.
    EXPECT_EQ(home.Snapshot().size(), 2u);
}

TEST(AddCommand, FollowsASymbolicLinkToTheRealFile)
{
    Home home;
    home.Folder("dotfiles");
    home.Write("dotfiles/xscreensaver", kSettingsFile);
    home.Link(".xscreensaver", "dotfiles/xscreensaver");
    const auto added = home.Run({});
    ASSERT_EQ(added.status, 0) << added.errors;
    EXPECT_TRUE(fs::is_symlink(home.File(".xscreensaver")));
    EXPECT_EQ(ReadFile(home.File("dotfiles/xscreensaver")), AddEntry(kSettingsFile).text);
    EXPECT_EQ(ReadFile(home.File("dotfiles/xscreensaver.velmora-backup")), kSettingsFile);
    ASSERT_EQ(home.Run({"--remove"}).status, 0);
    EXPECT_EQ(ReadFile(home.File("dotfiles/xscreensaver")), kSettingsFile);
}

TEST(AddCommand, LeavesEveryFileAsItWasWhenItCannotUnderstandReadOrWrite)
{
    using Prepare = std::function<void(const Home&, const std::string&)>;
    const Prepare file = [](const Home& h, const std::string& contents) { h.Write(".xscreensaver", contents); };
    struct Case {
        const char* what;
        int status;
        int removeStatus;
        Prepare prepare;
        Limits limits;
    };
    const std::vector<Case> cases = {
        {"a file it cannot understand",
         1,
         1,
         [](const Home& h, const std::string&) { h.Write(".xscreensaver", kTwoLists); },
         {}},
        {"a link to nowhere", 3, 3, [](const Home& h, const std::string&) { h.Link(".xscreensaver", "gone/x"); }, {}},
        {"a loop of links",
         3,
         3,
         [](const Home& h, const std::string&) {
             h.Link(".xscreensaver", ".other");
             h.Link(".other", ".xscreensaver");
         },
         {}},
        {"a folder in its place", 3, 3, [](const Home& h, const std::string&) { h.Folder(".xscreensaver"); }, {}},
        {"a file it may not read",
         3,
         3,
         [](const Home& h, const std::string& contents) { h.Write(".xscreensaver", contents, 0000); },
         {}},
        {"a read-only file",
         3,
         3,
         [](const Home& h, const std::string& contents) { h.Write(".xscreensaver", contents, 0444); },
         {}},
        {"a read-only home", 3, 3, file, {0555}},
        {"a read-only home without the file", 3, 0, [](const Home&, const std::string&) {}, {0555}},
        {"a full disk", 3, 3, file, {0755, static_cast<rlim_t>(4096)}},
    };
    for (const Case& c : cases) {
        for (const bool remove : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (remove ? ", removing" : ""));
            Home home;
            // Removing must find something to take out, so that it has to write.
            c.prepare(home, remove ? AddEntry(kSettingsFile).text : kSettingsFile);
            const auto before = home.Snapshot();
            const auto result =
                home.Run(remove ? std::vector<std::string>{"--remove"} : std::vector<std::string>{}, c.limits);
            EXPECT_EQ(result.status, remove ? c.removeStatus : c.status) << result.output;
            EXPECT_EQ(home.Snapshot(), before);
            if (result.status != 0) {
                EXPECT_EQ(result.output, "");
                EXPECT_EQ(result.errors.rfind("velmora-add-to-xscreensaver: ", 0), 0u) << result.errors;
                EXPECT_EQ(result.errors.find('\n'), result.errors.size() - 1) << result.errors;
            }
        }
    }
}

TEST(AddCommand, SaysSoWhenTheUsersSettingsWindowIsOpen)
{
    Home home;
    // A program of that name, running as the user as the window would.
    const std::string settings = home.File("xscreensaver-settings");
    fs::create_symlink("/bin/sleep", settings);
    velmora_test::ChildProcess window(home.AsUser({settings, "60"}), {});
    ASSERT_TRUE(window.Started());
    velmora_test::WaitUntil(std::chrono::seconds(30), std::chrono::milliseconds(10), [&] {
        return ReadFile("/proc/" + std::to_string(window.Pid()) + "/cmdline").rfind(settings + '\0', 0) == 0;
    });
    const auto added = home.Run({});
    ASSERT_EQ(added.status, 0) << added.errors;
    EXPECT_NE(added.output.find("Your xscreensaver-settings window, open now, does not"), std::string::npos)
        << added.output;
}

TEST(AddCommand, AnswersHelpAndVersionAndRefusesUnknownArguments)
{
    Home home;
    const auto help = home.Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Exit status: 0"), std::string::npos);
    EXPECT_EQ(home.Run({"--version"}).output, "velmora-add-to-xscreensaver " VELMORA_VERSION "\n");
    const auto bad = home.Run({"--add"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.errors.find("usage:"), std::string::npos);
    EXPECT_EQ(home.Snapshot().size(), 0u);
}

TEST(AddCommand, TheProgramTakesHomeFromTheEnvironmentAndReportsItsStatus)
{
    Home home;
    home.Write(".xscreensaver", kQualifiedList);
    const std::string errors = home.File("errors");
    velmora_test::ChildProcess program(home.AsUser({VELMORA_ADD_TOOL}), {"HOME=" + home.path, "PATH=/usr/bin:/bin"},
                                       {"/dev/null", errors});
    EXPECT_EQ(program.WaitExit(std::chrono::seconds(60)), std::optional<int>(1));
    EXPECT_NE(ReadFile(errors).find(home.File(".xscreensaver") + " is left as it is"), std::string::npos);
    EXPECT_EQ(ReadFile(home.File(".xscreensaver")), kQualifiedList);
}
