// velmora-add-to-xscreensaver: the list in ~/.xscreensaver edited as text
// (files as XScreenSaver's settings write them and the forms people write by
// hand), and the command on a real home folder, where every failure must leave
// the user's file as it was, byte for byte. The folder's cases run in a child
// process, as nobody when the suite runs as root, so that permissions bind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
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

const std::string kSettingsFile = ReadFile(VELMORA_SOURCE_DIR "/tests/tools/xscreensaver_files/written-by-settings");

const std::string kLine = kEntryLine;

// Each way a list can end, and files without one.
const std::vector<std::string> kLayouts = {
    // As xscreensaver-settings writes it: the last entry continued onto an empty line.
    "mode:\t\tone\nprograms:\t\\\n\t\t\t\tmaze --root\t\t\t\t    \\n\\\n\t\t\t\tqix --root\t\t\t\t    \\n\\\n\n"
    "pointerHysteresis:  10\n",
    // As the system file does: the last entry's "\n" ends the setting.
    "programs:\t\\\n\t\t\t\tmaze --root\t\\n\\\n  GL: \t\tsuperquadrics --root\t\\n\nnice: 10\n",
    // By hand: no "\n" after the last one, on one line, blanks after it.
    "programs: maze -root \\n qix -root\n",
    "programs: maze -root \\n   \n",
    "programs:\nlock: False\n",
    "programs:\t\t\t\t\t\t\t\t      \\\n\n",
    "programs: qix -root \\\n\nlock: False",
    // Files without a list, one without its last newline, one whose last
    // setting is continued past the end.
    "",
    "# nothing here\n",
    "timeout:\t0:10:00",
    "textLiteral: two \\\n",
};

const std::vector<std::string> kUnreadable = {
    std::string("programs: maze -root \\n\n\0\n", 26),
    "programs: maze -root \\n\nprograms: qix -root \\n\n",
    "*programs: maze -root \\n\n",
    "xscreensaver.programs: maze -root \\n\n",
    "Programs: maze -root \\n\n",
    "! a comment \\\nprograms: velmora -root \\n\n",
    "programs: maze -root \\n\nthis is not a setting\n",
    "programs: \"Maze maze -root \\n\n",
    "programs: maze -root \\n\\\r\n qix -root\r\n",
    "programs: maze -root \\n\\",
};

} // namespace

TEST(XScreenSaverList, AddsTheEntryAtTheEndOfASettingsFileAndTakesItOutByteForByte)
{
    ASSERT_GT(kSettingsFile.size(), 9000u);
    const Edit added = AddEntry(kSettingsFile);
    ASSERT_EQ(added.outcome, Outcome::Added) << added.reason;
    // The one new line, right after the last entry: every index in the list
    // (which "selected:" counts in) stays where it was.
    const std::string last = "  GL: \t\t\t\tsquirtorus --root\t\t\t    \\n\\\n";
    const std::size_t at = kSettingsFile.find(last) + last.size();
    EXPECT_EQ(added.text, kSettingsFile.substr(0, at) + kLine + "\\\n" + kSettingsFile.substr(at));

    const Edit again = AddEntry(added.text);
    EXPECT_EQ(again.outcome, Outcome::AlreadyPresent);
    EXPECT_EQ(again.found, "GL: velmora --root");
    EXPECT_TRUE(again.text.empty());

    const Edit removed = RemoveEntry(added.text);
    ASSERT_EQ(removed.outcome, Outcome::Removed);
    EXPECT_EQ(removed.text, kSettingsFile);
    EXPECT_EQ(RemoveEntry(kSettingsFile).outcome, Outcome::NotPresent);
}

TEST(XScreenSaverList, RoundTripsEveryLayoutOfTheListAndFilesWithoutOne)
{
    for (const std::string& file : kLayouts) {
        SCOPED_TRACE(file);
        const Edit added = AddEntry(file);
        ASSERT_EQ(added.outcome, Outcome::Added) << added.reason;
        EXPECT_NE(added.text.find("  GL: \t\t\t\tvelmora --root"), std::string::npos);
        EXPECT_EQ(AddEntry(added.text).outcome, Outcome::AlreadyPresent);
        const Edit removed = RemoveEntry(added.text);
        ASSERT_EQ(removed.outcome, Outcome::Removed);
        EXPECT_EQ(removed.text, file);
    }
    // The entry goes where it continues the list, never after its end.
    EXPECT_EQ(AddEntry(kLayouts[1]).text,
              "programs:\t\\\n\t\t\t\tmaze --root\t\\n\\\n  GL: \t\tsuperquadrics --root\t\\n\\\n" + kLine +
                  "\nnice: 10\n");
    EXPECT_EQ(AddEntry(kLayouts[2]).text, "programs: maze -root \\n qix -root\\n\\\n  GL: \t\t\t\tvelmora --root\n");
    EXPECT_EQ(AddEntry(kLayouts[9]).text, "timeout:\t0:10:00\nprograms:\t\t\t\t\t\t\t\t      \\\n" + kLine + "\\\n\n");
    EXPECT_EQ(AddEntry(kLayouts[10]).text,
              "textLiteral: two \\\n\nprograms:\t\t\t\t\t\t\t\t      \\\n" + kLine + "\\\n\n");
}

TEST(XScreenSaverList, KeepsAVelmoraEntryOfAnotherFormAndSwitchesOnADisabledOne)
{
    const std::string head = "programs:\t\\\n\t\t\t\tmaze --root\t\\n\\\n";
    const std::string tail = "\t\t\t\tqix --root\t\\n\\\n\n";
    for (const std::string entry : {"  GL:  velmora -root  \\n\\\n", "  GL: \t\tvelmora --root --fps\t\\n\\\n",
                                    "\"The Velmora\"  /usr/libexec/xscreensaver/velmora -root \\n\\\n"}) {
        SCOPED_TRACE(entry);
        const std::string file = head + entry + tail;
        EXPECT_EQ(AddEntry(file).outcome, Outcome::AlreadyPresent);
        const Edit removed = RemoveEntry(file);
        ASSERT_EQ(removed.outcome, Outcome::Removed);
        EXPECT_EQ(removed.text, head + tail);
    }
    const std::string disabled = head + "-\t\t\t\tvelmora --root\t\\n\\\n" + tail;
    const Edit enabled = AddEntry(disabled);
    ASSERT_EQ(enabled.outcome, Outcome::Enabled);
    EXPECT_EQ(enabled.text, head + "\t\t\t\tvelmora --root\t\\n\\\n" + tail);
    EXPECT_EQ(AddEntry(enabled.text).outcome, Outcome::AlreadyPresent);
    EXPECT_EQ(RemoveEntry(disabled).text, head + tail);
    // Switched off in a form of its own: left to the user.
    EXPECT_EQ(AddEntry(head + "- -GL: velmora -root \\n\\\n" + tail).outcome, Outcome::Refused);
    // Two of them (by hand, on one line): both go.
    EXPECT_EQ(RemoveEntry("programs: velmora -root \\n maze -root \\n - velmora\n").text, "programs: maze -root \n");
}

TEST(XScreenSaverList, RefusesAFileItCannotReadWithAReasonAndNoText)
{
    for (const std::string& file : kUnreadable) {
        SCOPED_TRACE(file);
        for (const Edit& edit : {AddEntry(file), RemoveEntry(file)}) {
            EXPECT_EQ(edit.outcome, Outcome::Refused);
            EXPECT_TRUE(edit.text.empty());
            EXPECT_FALSE(edit.reason.empty());
            EXPECT_EQ(edit.reason.find('\n'), std::string::npos);
        }
    }
}

TEST(XScreenSaverList, TheNewFileHoldsTheEntryAndRemovingItRemovesTheFile)
{
    const std::string file = NewFile();
    EXPECT_EQ(file.rfind("programs:", 0) == 0 || file.find("\nprograms:") != std::string::npos, true);
    EXPECT_EQ(AddEntry(file).outcome, Outcome::AlreadyPresent);
    EXPECT_EQ(RemoveEntry(file).outcome, Outcome::RemovedAll);
    // Once the user has changed anything else, only the entry goes.
    const Edit removed = RemoveEntry(file + "lock: True\n");
    ASSERT_EQ(removed.outcome, Outcome::Removed);
    EXPECT_EQ(removed.text.find("velmora --root"), std::string::npos);
    EXPECT_NE(removed.text.find("lock: True\n"), std::string::npos);
}

namespace {

// How the command runs: the home folder's permissions, and a limit on the
// size of the files it writes that stands for a full disk.
struct Limits {
    mode_t homeMode = 0755;
    rlim_t fileSize = RLIM_INFINITY;
};

// A home folder of the test's own, given to nobody when the suite runs as
// root, in which the command runs as that user.
class Home {
public:
    Home()
    {
        char name[] = "/tmp/velmora-add-test-XXXXXX";
        path = ::mkdtemp(name);
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            uid = nobody != nullptr ? nobody->pw_uid : 65534;
            gid = nobody != nullptr ? nobody->pw_gid : 65534;
        }
        Own(path);
    }
    ~Home()
    {
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            ::chmod(entry.path().c_str(), 0700);
        }
        ::chmod(path.c_str(), 0700);
        fs::remove_all(path);
    }

    std::string File(const std::string& name) const { return path + "/" + name; }
    void Write(const std::string& name, const std::string& contents, mode_t mode = 0644) const
    {
        std::ofstream(File(name), std::ios::binary) << contents;
        ::chmod(File(name).c_str(), mode);
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
        ::stat(at.c_str(), &st);
        ::chmod(at.c_str(), st.st_mode | S_IRUSR);
        const std::string bytes = ReadFile(at);
        ::chmod(at.c_str(), st.st_mode & 07777);
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
         [](const Home& h, const std::string&) { h.Write(".xscreensaver", kUnreadable[1]); },
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
    std::vector<std::string> words = {settings, "60"};
    if (::geteuid() == 0) {
        words.insert(words.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    velmora_test::ChildProcess window(words, {});
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
    home.Write(".xscreensaver", kUnreadable[2]);
    const std::string errors = home.File("errors");
    std::vector<std::string> words = {VELMORA_ADD_TOOL};
    if (::geteuid() == 0) {
        words.insert(words.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    }
    velmora_test::ChildProcess program(words, {"HOME=" + home.path, "PATH=/usr/bin:/bin"}, {"/dev/null", errors});
    EXPECT_EQ(program.WaitExit(std::chrono::seconds(60)), std::optional<int>(1));
    EXPECT_NE(ReadFile(errors).find(home.File(".xscreensaver") + " is left as it is"), std::string::npos);
    EXPECT_EQ(ReadFile(home.File(".xscreensaver")), kUnreadable[2]);
}
