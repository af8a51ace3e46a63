// The list in ~/.xscreensaver edited as text (xscreensaver_list): files as
// XScreenSaver's settings write them and the forms people write by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/posix_temporary_folder.h"
#include "tools/add-to-xscreensaver/xscreensaver_list.h"

using namespace NS_XScreenSaverList;
using velmora_test::ReadFile;

namespace {

const std::string kSettingsFile =
    ReadFile(VELMORA_SOURCE_DIR "/tests/tools/add-to-xscreensaver/xscreensaver_files/written-by-settings");

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
