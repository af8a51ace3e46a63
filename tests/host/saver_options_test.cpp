#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "host/saver_options.h"

using NS_SaverOptions::Action;
using NS_SaverOptions::Options;
using NS_SaverOptions::ParseOptions;
using NS_SaverOptions::ParseWindowId;
using NS_SaverOptions::Target;
using NS_SaverOptions::VisualChoice;

namespace {

Options Parse(std::vector<std::string> arguments, const char* environment = nullptr)
{
    return ParseOptions(arguments, environment);
}

// Option name -> whether it takes a value.
using Forms = std::map<std::string, bool>;

Forms TableForms()
{
    Forms forms;
    for (const NS_CommandLine::Form& form : NS_SaverOptions::OptionForms())
        forms[form.name] = form.takesValue;
    return forms;
}

std::string SourceFile(const std::string& path)
{
    std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/" + path);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << path;
    return text.str();
}

// A manual page's section, from its .SH line to the next one, with "\-" read as "-".
std::string Section(const std::string& page, const std::string& name)
{
    std::string text;
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page.compare(i, 2, "\\-") == 0)
            ++i;
        text += page[i];
    }
    if (name.empty())
        return text;
    const std::size_t begin = text.find(".SH " + name + "\n");
    if (begin == std::string::npos)
        return std::string();
    const std::size_t end = text.find("\n.SH ", begin + 1);
    return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The option named at `at` (just after its dash), and whether an italic
// argument follows it before `end`. `once`: an option listed twice is a fault.
void Note(Forms& forms, const std::string& text, std::size_t at, std::size_t end, bool once = true)
{
    std::size_t stop = at;
    while (stop < end && (std::islower(static_cast<unsigned char>(text[stop])) || text[stop] == '-'))
        ++stop;
    const std::string name = text.substr(at, stop - at);
    const bool takesValue = text.substr(stop, end - stop).find("\\fI") != std::string::npos;
    if (once) {
        EXPECT_EQ(0u, forms.count(name)) << "listed twice: " << name;
    } else if (forms.count(name) != 0) {
        EXPECT_EQ(forms[name], takesValue) << "listed with and without a value: " << name;
    }
    forms[name] = takesValue;
}

// "[-name \fIvalue\fP]" entries of the synopsis, whose forms (X11, Wayland)
// may share an option.
Forms SynopsisForms(const std::string& synopsis)
{
    Forms forms;
    for (std::size_t open = synopsis.find("[-"); open != std::string::npos; open = synopsis.find("[-", open + 1))
        Note(forms, synopsis, open + 2, synopsis.find(']', open), false);
    return forms;
}

// ".TP" then ".B -name \fIvalue\fP" entries of the list of options.
Forms OptionsForms(const std::string& options)
{
    Forms forms;
    const std::string entry = "\n.B -";
    for (std::size_t at = options.find(entry); at != std::string::npos; at = options.find(entry, at + 1)) {
        if (options.rfind("\n.TP", at) == options.rfind('\n', at - 1))
            Note(forms, options, at + entry.size(), options.find('\n', at + 1));
    }
    return forms;
}

} // namespace

// The manual page documents what the parser takes: the synopsis and the list of
// options name every option of the table, each with a value exactly when it
// takes one, and nothing in the page spells an option the table lacks.
TEST(X11Options, ManualPageListsExactlyTheOptionsOfTheTable)
{
    const std::string page = SourceFile("packaging/debian/velmora.6.in");
    const Forms table = TableForms();
    EXPECT_EQ(table, SynopsisForms(Section(page, "SYNOPSIS")));
    EXPECT_EQ(table, OptionsForms(Section(page, "OPTIONS")));

    const std::string text = Section(page, "");
    for (std::size_t at = 1; at + 1 < text.size(); ++at) {
        const bool startsWord = std::isspace(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '[';
        if (text[at] != '-' || !startsWord || !std::islower(static_cast<unsigned char>(text[at + 1])))
            continue;
        Forms named;
        Note(named, text, at + 1, text.find('\n', at));
        EXPECT_EQ(1u, table.count(named.begin()->first))
            << "the manual page names an option the hack lacks: -" << named.begin()->first;
    }
}

// XScreenSaver's settings pass the options the description names; each must be
// one of the table's, with a value exactly when the table's takes one. (The
// description offers only what a user chooses there, so not every option.)
TEST(X11Options, XScreenSaverDescriptionPassesOnlyOptionsOfTheTable)
{
    const std::string description = SourceFile("host/x11_velmora.xml");
    const Forms table = TableForms();
    int options = 0;
    for (const std::string attribute : {" arg=\"", " arg-set=\"", " arg-unset=\""}) {
        for (std::size_t at = description.find(attribute); at != std::string::npos;
             at = description.find(attribute, at + 1), ++options) {
            const std::size_t begin = at + attribute.size();
            const std::string value = description.substr(begin, description.find('"', begin) - begin);
            ASSERT_EQ('-', value.at(0)) << value;
            const std::string name = value.substr(1, value.find(' ') - 1);
            ASSERT_EQ(1u, table.count(name)) << "the description passes an option the hack lacks: -" << name;
            EXPECT_EQ(table.at(name), value.find(' ') != std::string::npos) << name;
        }
    }
    EXPECT_GE(options, 2) << "-root and -fps, at least";
}

TEST(X11WindowId, ReadsHexadecimalAndDecimal)
{
    std::uint32_t id = 0;
    ASSERT_TRUE(ParseWindowId("0x1a00004", id));
    EXPECT_EQ(0x1a00004u, id);
    ASSERT_TRUE(ParseWindowId("0X1A00004", id));
    EXPECT_EQ(0x1a00004u, id);
    ASSERT_TRUE(ParseWindowId("27262980", id));
    EXPECT_EQ(27262980u, id);
    ASSERT_TRUE(ParseWindowId("  0x42 ", id));
    EXPECT_EQ(0x42u, id);
    // A leading zero is decimal, not octal.
    ASSERT_TRUE(ParseWindowId("010", id));
    EXPECT_EQ(10u, id);
}

TEST(X11WindowId, RejectsWhatCannotNameAWindow)
{
    std::uint32_t id = 7;
    for (const char* text : {"", "   ", "0", "0x0", "0x", "-5", "+5", "12abc", "0x12g", "1 2", "0x20000000",
                             "536870912", "99999999999999999999999", "0x1ffffffff"}) {
        EXPECT_FALSE(ParseWindowId(text, id)) << "'" << text << "'";
    }
    EXPECT_EQ(7u, id) << "a rejected id leaves the output alone";
    EXPECT_TRUE(ParseWindowId("0x1fffffff", id));
    EXPECT_TRUE(ParseWindowId("536870911", id));
}

TEST(X11Options, DefaultsToItsOwnWindow)
{
    const Options options = Parse({});
    EXPECT_EQ(Action::Run, options.action);
    EXPECT_EQ(Target::Window, options.target);
}

TEST(X11Options, TakesSingleAndDoubleDashForms)
{
    for (const char* root : {"--root", "-root"})
        EXPECT_EQ(Target::Root, Parse({root}).target) << root;
    for (const char* full : {"--fullscreen", "-fullscreen"})
        EXPECT_EQ(Target::FullScreen, Parse({full}).target) << full;
    for (const char* help : {"--help", "-help", "-h"})
        EXPECT_EQ(Action::ShowHelp, Parse({help}).action) << help;
    EXPECT_EQ(Action::ShowVersion, Parse({"--version"}).action);
    EXPECT_EQ(Action::ShowVersion, Parse({"-version"}).action);
    for (const char* fps : {"--fps", "-fps"})
        EXPECT_TRUE(Parse({fps}).showFrameRate) << fps;
    for (const char* install : {"--install", "-install"})
        EXPECT_TRUE(Parse({install}).installColormap) << install;
}

// What XScreenSaver and its settings put on a hack's command line.
TEST(X11Options, TakesTheOptionsEveryHackTakes)
{
    Options options = Parse({"-root", "-install", "-visual", "GL", "-fps", "-display", ":7"});
    EXPECT_EQ(Action::Run, options.action) << options.error;
    EXPECT_EQ(Target::Root, options.target);
    EXPECT_EQ(VisualChoice::Gl, options.visual);
    EXPECT_TRUE(options.showFrameRate && options.installColormap);
    EXPECT_EQ(":7", options.displayName);
    EXPECT_FALSE(Parse({"--root"}).showFrameRate) << "the frame rate is shown only when asked for";

    EXPECT_EQ(VisualChoice::Default, Parse({"--visual", "default"}).visual);
    EXPECT_EQ(VisualChoice::Default, Parse({"-visual=Default"}).visual);
    EXPECT_EQ(VisualChoice::Gl, Parse({"--visual=best"}).visual);
    options = Parse({"-visual", "0x21"});
    EXPECT_EQ(VisualChoice::ById, options.visual);
    EXPECT_EQ(0x21u, options.visualId);
    EXPECT_EQ(VisualChoice::Gl, Parse({}).visual);
}

TEST(X11Options, ReadsTheWindowIdAsNextArgumentOrAfterEquals)
{
    for (const auto& arguments :
         {std::vector<std::string>{"--window-id", "0x400007"}, std::vector<std::string>{"-window-id", "4194311"},
          std::vector<std::string>{"--window-id=0x400007"}}) {
        const Options options = Parse(arguments);
        EXPECT_EQ(Action::Run, options.action) << options.error;
        EXPECT_EQ(Target::Foreign, options.target);
        EXPECT_EQ(0x400007u, options.windowId);
    }
}

TEST(X11Options, ReportsBadCommandLinesInOneLine)
{
    for (const auto& arguments :
         {std::vector<std::string>{"--window-id"}, std::vector<std::string>{"--window-id", "nope"},
          std::vector<std::string>{"--window-id", "0"}, std::vector<std::string>{"--window-id="},
          std::vector<std::string>{"--bogus"}, std::vector<std::string>{"plain"},
          std::vector<std::string>{"--root=yes"}, std::vector<std::string>{"-"}, std::vector<std::string>{"--"},
          std::vector<std::string>{"-visual"}, std::vector<std::string>{"-visual", "mono"},
          std::vector<std::string>{"-visual", "0"}, std::vector<std::string>{"-display"},
          std::vector<std::string>{"-display="}, std::vector<std::string>{"-fps=1"}}) {
        const Options options = Parse(arguments);
        EXPECT_EQ(Action::Fail, options.action) << arguments[0];
        EXPECT_FALSE(options.error.empty());
        EXPECT_EQ(std::string::npos, options.error.find('\n'));
    }
    EXPECT_NE(std::string::npos, Parse({"--window-id", "nope"}).error.find("nope"));
    // Only an option nobody knows brings the usage, as with other hacks.
    EXPECT_TRUE(Parse({"-bogus"}).showUsage);
    EXPECT_TRUE(Parse({"plain"}).showUsage);
    EXPECT_FALSE(Parse({"-visual", "mono"}).showUsage);
    EXPECT_FALSE(Parse({"-root=yes"}).showUsage);
}

TEST(X11Options, HelpWinsOverWhatFollowsButNotOverAnEarlierError)
{
    EXPECT_EQ(Action::ShowHelp, Parse({"--root", "--help", "--bogus"}).action);
    EXPECT_EQ(Action::Fail, Parse({"--bogus", "--help"}).action);
}

TEST(X11Options, LastTargetWins)
{
    EXPECT_EQ(Target::Root, Parse({"--fullscreen", "--root"}).target);
    EXPECT_EQ(Target::Window, Parse({"--window-id", "0x10", "--window"}).target);
    EXPECT_EQ(Target::Foreign, Parse({"--root", "--window-id", "0x10"}).target);
}

TEST(X11Options, ScreensaverWindowVariableStandsForTheRootOrNoTarget)
{
    Options options = Parse({"--root"}, "0x2c00007");
    EXPECT_EQ(Target::Foreign, options.target);
    EXPECT_EQ(0x2c00007u, options.windowId);

    options = Parse({}, "46137351");
    EXPECT_EQ(Target::Foreign, options.target);
    EXPECT_EQ(46137351u, options.windowId);

    // An explicit choice of another target ignores it.
    EXPECT_EQ(Target::Window, Parse({"--window"}, "0x2c00007").target);
    EXPECT_EQ(Target::FullScreen, Parse({"--fullscreen"}, "0x2c00007").target);
    options = Parse({"--window-id", "0x99"}, "0x2c00007");
    EXPECT_EQ(0x99u, options.windowId);
}

TEST(X11Options, BadScreensaverWindowVariableFailsOnlyWhenUsed)
{
    const Options options = Parse({"--root"}, "garbage");
    EXPECT_EQ(Action::Fail, options.action);
    EXPECT_NE(std::string::npos, options.error.find("XSCREENSAVER_WINDOW"));
    EXPECT_EQ(Action::Fail, Parse({}, "").action);
    EXPECT_EQ(Action::Run, Parse({"--window"}, "garbage").action);
}

TEST(X11Options, UsageNamesEveryOption)
{
    const std::string usage = NS_SaverOptions::UsageText("velmora");
    for (const char* option : {"--window", "--fullscreen", "--root", "--window-id", "--visual", "--install", "--fps",
                               "--display", "--help", "--version", "--wayland", "--wallpaper"})
        EXPECT_NE(std::string::npos, usage.find(option)) << option;
    EXPECT_EQ(0u, NS_SaverOptions::VersionText().find("The Velmora "));
}

// --wayland and --wallpaper are targets of their own: XSCREENSAVER_WINDOW does
// not apply to them, and nothing that is for X11 goes with them.
TEST(WaylandOptions, AreTargetsThatMixWithNoX11Option)
{
    Options options = Parse({"--wayland", "-fps"}, "0x2c00007");
    EXPECT_EQ(Action::Run, options.action) << options.error;
    EXPECT_EQ(Target::Wayland, options.target);
    EXPECT_TRUE(options.showFrameRate);
    EXPECT_EQ(Target::Wallpaper, Parse({"-wallpaper"}, "garbage").target);
    EXPECT_EQ(Target::Wayland, Parse({"-wayland", "--wayland"}).target);

    for (const auto& arguments :
         {std::vector<std::string>{"--wayland", "--root"}, std::vector<std::string>{"--root", "--wayland"},
          std::vector<std::string>{"--window", "--wallpaper"}, std::vector<std::string>{"--wayland", "--install"},
          std::vector<std::string>{"-wallpaper", "-display", ":0"},
          std::vector<std::string>{"-wayland", "-visual", "GL"},
          std::vector<std::string>{"--wayland", "--window-id", "0x10"},
          std::vector<std::string>{"--wayland", "--wallpaper"}}) {
        options = Parse(arguments);
        EXPECT_EQ(Action::Fail, options.action) << arguments[0] << " " << arguments[1];
        EXPECT_EQ(std::string::npos, options.error.find('\n'));
        EXPECT_NE(std::string::npos, options.error.find("cannot be combined")) << options.error;
        EXPECT_FALSE(options.showUsage);
    }
}
