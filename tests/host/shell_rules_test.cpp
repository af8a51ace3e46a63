#include "host/shell_rules.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using namespace NS_ShellRules;

namespace {

Command Parse(const wchar_t* text)
{
    return ParseCommand(text);
}

} // namespace

// ---------------------------------------------------------------- command line

TEST(ParseDecimal, ReadsDigitsUpToTheFirstOtherCharacter)
{
    EXPECT_EQ(ParseDecimal(L"4660"), 4660u);
    EXPECT_EQ(ParseDecimal(L"12ab34"), 12u);
    EXPECT_EQ(ParseDecimal(L"007"), 7u);
    EXPECT_EQ(ParseDecimal(L""), 0u);
    EXPECT_EQ(ParseDecimal(L":4660"), 0u);
    EXPECT_EQ(ParseDecimal(L"-5"), 0u);
    EXPECT_EQ(ParseDecimal(L" 5"), 0u);
}

TEST(ParseDecimal, WrapsModuloTwoToTheThirtyTwo)
{
    EXPECT_EQ(ParseDecimal(L"4294967295"), 4294967295u);
    EXPECT_EQ(ParseDecimal(L"4294967296"), 0u);
    EXPECT_EQ(ParseDecimal(L"4294967301"), 5u);
    EXPECT_EQ(ParseDecimal(L"99999999999999999999"), 1661992959u);
}

TEST(SkipProgramName, SkipsAnUnquotedNameAndTheWhiteSpaceAfterIt)
{
    EXPECT_STREQ(SkipProgramName(L"velmora.scr /s"), L"/s");
    EXPECT_STREQ(SkipProgramName(L"velmora.scr \t \x01/p 12"), L"/p 12");
    EXPECT_STREQ(SkipProgramName(L"velmora.scr"), L"");
    EXPECT_STREQ(SkipProgramName(L""), L"");
}

TEST(SkipProgramName, SkipsAQuotedNameWithSpacesInside)
{
    EXPECT_STREQ(SkipProgramName(L"\"C:\\Program Files\\velmora.scr\" /c:12"), L"/c:12");
    EXPECT_STREQ(SkipProgramName(L"\"C:\\velmora.scr\"/s"), L"/s");
    // An unterminated quote runs to the end.
    EXPECT_STREQ(SkipProgramName(L"\"C:\\velmora.scr /s"), L"");
}

TEST(ParseCommand, StartsTheSaverFromEverySpellingOfS)
{
    for (const wchar_t* text : {L"/s", L"-S", L"s", L"  /s", L"/S", L"--//s", L"/screen", L"/s 1234"}) {
        EXPECT_EQ(Parse(text).mode, Mode::Saver) << std::wstring(text).size();
    }
}

TEST(ParseCommand, RejectsUnknownLettersAndSeparatorsOtherThanSpace)
{
    for (const wchar_t* text : {L"/x", L"x", L"/1", L"\t/s", L"/:s", L"/ ?", L"/\x00e9"}) {
        EXPECT_EQ(Parse(text).mode, Mode::Invalid);
    }
}

TEST(ParseCommand, ReadsThePreviewWindowAfterSpaces)
{
    Command c = Parse(L"/p 4660");
    EXPECT_EQ(c.mode, Mode::Preview);
    EXPECT_EQ(c.handle, 4660u);
    EXPECT_EQ(Parse(L"/P4660").handle, 4660u);
    EXPECT_EQ(Parse(L"-l    17").mode, Mode::Preview);
    EXPECT_EQ(Parse(L"-l    17").handle, 17u);
    // The forms a caller must reject: no handle, a colon, zero.
    EXPECT_EQ(Parse(L"/p:4660").handle, 0u);
    EXPECT_EQ(Parse(L"/p").handle, 0u);
    EXPECT_EQ(Parse(L"/p 0").handle, 0u);
    EXPECT_EQ(Parse(L"/p\t5").handle, 0u);
}

TEST(ParseCommand, ReadsAConfigureOwnerOnlyAfterAColon)
{
    Command withColon = Parse(L"/c:4660");
    EXPECT_EQ(withColon.mode, Mode::Configure);
    EXPECT_TRUE(withColon.hasHandle);
    EXPECT_EQ(withColon.handle, 4660u);

    for (const wchar_t* text : {L"/c 4660", L"/c", L"C4660", L"/configure"}) {
        Command c = Parse(text);
        EXPECT_EQ(c.mode, Mode::Configure);
        EXPECT_FALSE(c.hasHandle);
    }
    EXPECT_TRUE(Parse(L"/c:").hasHandle);
    EXPECT_EQ(Parse(L"/c:").handle, 0u);
}

TEST(ParseCommand, NoArgumentsConfigureWithoutOwner)
{
    EXPECT_EQ(Parse(L"").mode, Mode::ConfigureAlone);
    EXPECT_EQ(Parse(L"   ").mode, Mode::ConfigureAlone);
    EXPECT_EQ(Parse(L"/").mode, Mode::ConfigureAlone);
    EXPECT_EQ(Parse(L"- /").mode, Mode::ConfigureAlone);
}

TEST(ParseCommand, ReadsTheChangePasswordOwner)
{
    Command c = Parse(L"/a 321");
    EXPECT_EQ(c.mode, Mode::ChangePassword);
    EXPECT_EQ(c.handle, 321u);
    EXPECT_EQ(Parse(L"A").handle, 0u);
}

// ---------------------------------------------------------------- mouse

TEST(MouseRule, SmallMovesAddUpAgainstTheAnchor)
{
    MouseRule rule;
    rule.SetAnchor({100, 100});
    EXPECT_FALSE(rule.MovedTooFar({103, 101})); // 3 + 1 = 4: still within
    EXPECT_FALSE(rule.MovedTooFar({100, 96}));
    EXPECT_TRUE(rule.MovedTooFar({104, 101})); // 5
    EXPECT_EQ(rule.Anchor().x, 104);
    EXPECT_EQ(rule.Anchor().y, 101);
    // From the new anchor, a move of 4 no longer closes.
    EXPECT_FALSE(rule.MovedTooFar({100, 101}));
}

TEST(MouseRule, MeasuresInEveryDirectionAndAtTheExtremes)
{
    MouseRule rule;
    rule.SetAnchor({0, 0});
    EXPECT_FALSE(rule.MovedTooFar({-2, -2}));
    EXPECT_TRUE(rule.MovedTooFar({-3, -2}));
    EXPECT_EQ(ManhattanDistance({INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}), 0xFFFFFFFFu);
    EXPECT_EQ(ManhattanDistance({INT32_MIN, 0}, {INT32_MAX, 0}), 0xFFFFFFFFu);
    EXPECT_EQ(ManhattanDistance({-1, 5}, {1, 2}), 5u);
}

TEST(MouseRule, HonoursAnotherThreshold)
{
    MouseRule still(0);
    still.SetAnchor({10, 10});
    EXPECT_FALSE(still.MovedTooFar({10, 10}));
    EXPECT_TRUE(still.MovedTooFar({10, 11}));
}

// ---------------------------------------------------------------- power

TEST(PowerRules, SuspendQueriesAndNoticesClose)
{
    for (std::uintptr_t event = 0; event < 6; ++event) {
        EXPECT_EQ(ClassifyPowerBroadcast(event, 0), PowerVerdict::Close) << event;
        EXPECT_EQ(ClassifyPowerBroadcast(event, 1), PowerVerdict::Close) << event;
    }
}

TEST(PowerRules, ResumeNoticesCloseUnlessResumingFromFailure)
{
    for (std::uintptr_t event : {6u, 7u, 8u, 18u}) {
        EXPECT_EQ(ClassifyPowerBroadcast(event, 0), PowerVerdict::Close) << event;
        EXPECT_EQ(ClassifyPowerBroadcast(event, 1), PowerVerdict::Stay) << event;
        EXPECT_EQ(ClassifyPowerBroadcast(event, 3), PowerVerdict::Stay) << event;
        EXPECT_EQ(ClassifyPowerBroadcast(event, 2), PowerVerdict::Close) << event;
    }
}

TEST(PowerRules, StatusChangeComparesTheLineAndOtherEventsClose)
{
    EXPECT_EQ(ClassifyPowerBroadcast(10, 0), PowerVerdict::CompareLineStatus);
    EXPECT_EQ(ClassifyPowerBroadcast(10, 1), PowerVerdict::CompareLineStatus);
    for (std::uintptr_t event : {std::uintptr_t{9}, std::uintptr_t{11}, std::uintptr_t{17}, std::uintptr_t{19},
                                 std::uintptr_t{0x8013}, ~std::uintptr_t{0}}) {
        EXPECT_EQ(ClassifyPowerBroadcast(event, 1), PowerVerdict::Close) << event;
    }
    EXPECT_TRUE(PowerNoticeCloses(3));
    EXPECT_FALSE(PowerNoticeCloses(0));
    EXPECT_FALSE(PowerNoticeCloses(2));
    EXPECT_FALSE(PowerNoticeCloses(4));
}

// ---------------------------------------------------------------- the shell

namespace {

// A scripted system: records what the shell did and answers as told.
class FakeSystem : public ShellSystem {
public:
    Point cursor{50, 50};
    std::uint8_t lineStatus = 1;
    std::uint32_t now = 1000;
    std::deque<bool> verifierAnswers;
    SaverShell* shell = nullptr;

    int closes = 0;
    int hides = 0;
    int verifierCalls = 0;
    int timerDrops = 0;
    bool activeDuringVerify = false;

    Point CursorPosition() override { return cursor; }
    std::uint8_t LineStatus() override { return lineStatus; }
    void PostClose() override { ++closes; }
    void HideCursor() override { ++hides; }
    std::uint32_t Milliseconds() override { return now; }
    void DropPendingTimers() override { ++timerDrops; }
    bool SendVerify() override
    {
        // As on Windows: the message comes back through the shell itself.
        return shell->BaseMessage(Message::Verify, 0, 0).result != 0;
    }
    bool CallVerifier() override
    {
        ++verifierCalls;
        activeDuringVerify = shell->PasswordCheckActive();
        bool answer = verifierAnswers.empty() ? true : verifierAnswers.front();
        if (!verifierAnswers.empty()) {
            verifierAnswers.pop_front();
        }
        return answer;
    }
};

struct ShellFixture : ::testing::Test {
    FakeSystem system;

    void Bind(SaverShell& shell)
    {
        system.shell = &shell;
        shell.Start(system.cursor, system.lineStatus);
    }
};

ShellOptions NtFamily()
{
    return ShellOptions{};
}

ShellOptions WithPassword()
{
    ShellOptions o;
    o.ownPasswordHandling = true;
    o.verifierLoaded = true;
    o.cancelAutoPlayMessage = 0xC123;
    return o;
}

} // namespace

TEST_F(ShellFixture, KeysAndButtonsCloseAndThenGoOnToTheDefault)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    for (std::uint32_t m :
         {Message::KeyDown, Message::SysKeyDown, Message::LButtonDown, Message::RButtonDown, Message::MButtonDown}) {
        SaverShell::Outcome o = shell.BaseMessage(m, 0x41, 0);
        EXPECT_FALSE(o.handled) << m;
    }
    EXPECT_EQ(system.closes, 5);
}

TEST_F(ShellFixture, MouseMoveClosesBeyondTheThresholdAndReanchors)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    system.cursor = {53, 51};
    shell.BaseMessage(Message::MouseMove, 0, 0);
    EXPECT_EQ(system.closes, 0);
    system.cursor = {54, 51};
    shell.BaseMessage(Message::MouseMove, 0, 0);
    EXPECT_EQ(system.closes, 1);
    EXPECT_EQ(shell.Anchor().x, 54);
}

TEST_F(ShellFixture, ActivationAndPowerNoticesCloseByTheirParameters)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    shell.BaseMessage(Message::ActivateApp, 1, 0);
    EXPECT_EQ(system.closes, 0);
    shell.BaseMessage(Message::ActivateApp, 0, 0);
    EXPECT_EQ(system.closes, 1);
    shell.BaseMessage(Message::Power, 2, 0);
    EXPECT_EQ(system.closes, 1);
    shell.BaseMessage(Message::Power, 3, 0);
    EXPECT_EQ(system.closes, 2);
    shell.BaseMessage(Message::PowerBroadcast, 7, 1);
    EXPECT_EQ(system.closes, 2);
    shell.BaseMessage(Message::PowerBroadcast, 4, 0);
    EXPECT_EQ(system.closes, 3);
}

TEST_F(ShellFixture, OnlyAChangedLineStatusCloses)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    shell.BaseMessage(Message::PowerBroadcast, 10, 0);
    EXPECT_EQ(system.closes, 0);
    system.lineStatus = 0; // unplugged
    shell.BaseMessage(Message::PowerBroadcast, 10, 0);
    EXPECT_EQ(system.closes, 1);
    EXPECT_EQ(shell.LastLineStatus(), 0);
    shell.BaseMessage(Message::PowerBroadcast, 10, 0);
    EXPECT_EQ(system.closes, 1);
    system.lineStatus = kLineStatusUnknown; // the status can no longer be read
    shell.BaseMessage(Message::PowerBroadcast, 10, 0);
    EXPECT_EQ(system.closes, 2);
}

TEST_F(ShellFixture, CursorMessagesHideTheCursor)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    SaverShell::Outcome o = shell.BaseMessage(Message::SetCursor, 0, 0);
    EXPECT_TRUE(o.handled);
    EXPECT_EQ(o.result, 1);
    shell.BaseMessage(Message::ShowWindow, 0, 0);
    EXPECT_EQ(system.hides, 1);
    EXPECT_FALSE(shell.BaseMessage(Message::ShowWindow, 1, 0).handled);
    EXPECT_EQ(system.hides, 2);
    EXPECT_EQ(system.closes, 0);
}

TEST_F(ShellFixture, APreviewIgnoresInputAndCursorMessages)
{
    ShellOptions o;
    o.previewMode = true;
    SaverShell shell(system, o);
    Bind(shell);
    system.cursor = {500, 500};
    for (std::uint32_t m : {Message::KeyDown, Message::LButtonDown, Message::MouseMove, Message::ActivateApp,
                            Message::PowerBroadcast, Message::Close, Message::SetCursor}) {
        EXPECT_FALSE(shell.BaseMessage(m, 0, 0).handled) << m;
    }
    EXPECT_EQ(system.closes, 0);
    EXPECT_EQ(system.hides, 0);
}

TEST_F(ShellFixture, OnTheNtFamilyCloseGoesThroughWithoutAsking)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    EXPECT_FALSE(shell.BaseMessage(Message::Close, 0, 0).handled);
    EXPECT_EQ(system.verifierCalls, 0);
    // The verification message means nothing there.
    EXPECT_FALSE(shell.BaseMessage(Message::Verify, 0, 0).handled);
}

TEST_F(ShellFixture, WithoutAVerifierTheFirstCloseIsApprovedAndInputStopsCounting)
{
    ShellOptions o = WithPassword();
    o.verifierLoaded = false;
    SaverShell shell(system, o);
    Bind(shell);
    EXPECT_FALSE(shell.BaseMessage(Message::Close, 0, 0).handled);
    EXPECT_TRUE(shell.CloseApproved());
    shell.BaseMessage(Message::KeyDown, 0, 0);
    EXPECT_EQ(system.closes, 0);
    EXPECT_EQ(shell.BaseMessage(Message::Verify, 0, 0).handled, false);
}

TEST_F(ShellFixture, AnAcceptedPasswordLetsTheCloseThrough)
{
    SaverShell shell(system, WithPassword());
    Bind(shell);
    system.verifierAnswers = {true};
    EXPECT_FALSE(shell.BaseMessage(Message::Close, 0, 0).handled);
    EXPECT_EQ(system.verifierCalls, 1);
    EXPECT_TRUE(system.activeDuringVerify);
    EXPECT_FALSE(shell.PasswordCheckActive());
    EXPECT_TRUE(shell.CloseApproved());
    EXPECT_EQ(system.timerDrops, 1);
}

TEST_F(ShellFixture, ARefusedPasswordKeepsTheSaverAndReanchors)
{
    SaverShell shell(system, WithPassword());
    Bind(shell);
    system.verifierAnswers = {false};
    system.cursor = {300, 200}; // the user moved the mouse to type
    SaverShell::Outcome o = shell.BaseMessage(Message::Close, 0, 0);
    EXPECT_TRUE(o.handled);
    EXPECT_EQ(o.result, 0);
    EXPECT_FALSE(shell.CloseApproved());
    EXPECT_EQ(shell.Anchor().x, 300);
    EXPECT_EQ(shell.Anchor().y, 200);
    EXPECT_GE(system.hides, 1);
    // Small moves from the new anchor do not ask again.
    system.cursor = {302, 202};
    shell.BaseMessage(Message::MouseMove, 0, 0);
    EXPECT_EQ(system.closes, 0);
}

TEST_F(ShellFixture, ACloseWithin200MsOfARefusalIsRefusedWithoutAsking)
{
    SaverShell shell(system, WithPassword());
    Bind(shell);
    system.verifierAnswers = {false, true};
    system.now = 5000;
    shell.BaseMessage(Message::Close, 0, 0);
    system.now = 5199;
    EXPECT_TRUE(shell.BaseMessage(Message::Close, 0, 0).handled);
    EXPECT_EQ(system.verifierCalls, 1);
    system.now = 5200;
    EXPECT_FALSE(shell.BaseMessage(Message::Close, 0, 0).handled);
    EXPECT_EQ(system.verifierCalls, 2);
    EXPECT_TRUE(shell.CloseApproved());
}

TEST_F(ShellFixture, TheRefusalWindowSurvivesTheTickCounterWrapping)
{
    SaverShell shell(system, WithPassword());
    Bind(shell);
    system.verifierAnswers = {false, false};
    system.now = 0xFFFFFFF0u;
    shell.BaseMessage(Message::Close, 0, 0);
    system.now = 50; // 66 ms later, past the wrap
    shell.BaseMessage(Message::Close, 0, 0);
    EXPECT_EQ(system.verifierCalls, 1);
    system.now = 0xFFFFFFF0u + 200u;
    shell.BaseMessage(Message::Close, 0, 0);
    EXPECT_EQ(system.verifierCalls, 2);
}

TEST_F(ShellFixture, DuringACheckInputIsNotCountedAndCloseIsRefused)
{
    // Messages that reach the shell while the password dialog is up.
    bool sawInsideCheck = false;
    class Inside : public FakeSystem {
    public:
        bool* seen = nullptr;
        bool CallVerifier() override
        {
            shell->BaseMessage(Message::KeyDown, 0, 0);
            shell->BaseMessage(Message::MouseMove, 0, 0);
            *seen = !shell->ConfirmClose() && shell->BaseMessage(Message::Close, 0, 0).handled;
            return false;
        }
    } inside;
    inside.seen = &sawInsideCheck;
    inside.cursor = {0, 0};
    SaverShell guarded(inside, WithPassword());
    inside.shell = &guarded;
    guarded.Start({1000, 1000}, 1);
    guarded.BaseMessage(Message::Close, 0, 0);
    EXPECT_TRUE(sawInsideCheck);
    EXPECT_EQ(inside.closes, 0);
}

TEST_F(ShellFixture, QueryCancelAutoPlayClosesAndAnswersWhetherAVerifierIsLoaded)
{
    SaverShell shell(system, WithPassword());
    Bind(shell);
    SaverShell::Outcome o = shell.BaseMessage(0xC123, 0, 0);
    EXPECT_TRUE(o.handled);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(system.closes, 1);

    ShellOptions unprotected = WithPassword();
    unprotected.verifierLoaded = false;
    SaverShell other(system, unprotected);
    Bind(other);
    EXPECT_EQ(other.BaseMessage(0xC123, 0, 0).result, 0);
    EXPECT_EQ(system.closes, 2);

    // Even a preview answers it.
    ShellOptions preview = WithPassword();
    preview.previewMode = true;
    SaverShell inPreview(system, preview);
    Bind(inPreview);
    EXPECT_TRUE(inPreview.BaseMessage(0xC123, 0, 0).handled);
    EXPECT_EQ(system.closes, 3);
}

TEST_F(ShellFixture, AnUnregisteredAutoPlayMessageIsNotMatched)
{
    SaverShell shell(system, NtFamily());
    Bind(shell);
    EXPECT_FALSE(shell.BaseMessage(0, 0, 0).handled);
    EXPECT_EQ(system.closes, 0);
}
