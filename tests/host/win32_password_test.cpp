// velmora.scr on the family of systems that leave the screen-saver password to
// the saver (here: Wine set to report that family). The test's PASSWORD.CPL
// answers as each case tells it and notes every time it is asked.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/host/win32_driver.h"

using namespace velmora_driver;

namespace {

std::wstring LogPath()
{
    return OwnFile(L"password-calls.txt");
}

std::vector<std::string> PasswordCalls()
{
    std::vector<std::string> calls;
    HANDLE file = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return calls;
    }
    char buffer[4096] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(file);
    std::string text(buffer, read), line;
    for (char c : text) {
        if (c == '\n') {
            calls.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return calls;
}

// Sets the password setting and the verifier's answer for the savers this case starts.
struct PasswordCase : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(OwnPasswordFamily()) << "the prefix does not report the 9x family";
        DeleteFileW(LogPath().c_str());
        SetEnvironmentVariableW(L"VELMORA_TEST_PASSWORD_LOG", LogPath().c_str());
        ASSERT_TRUE(MovePointer(300, 300));
    }
    void TearDown() override
    {
        SetUsePassword(false);
        SetEnvironmentVariableW(L"VELMORA_TEST_PASSWORD", nullptr);
    }
    static void Answer(const wchar_t* how) { SetEnvironmentVariableW(L"VELMORA_TEST_PASSWORD", how); }
};

} // namespace

TEST_F(PasswordCase, WithoutAPasswordAKeyPressClosesWithoutAsking)
{
    Saver saver(L"/s");
    HWND window = saver.WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_KEYDOWN, 'A', 0);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(PasswordCalls().empty());
}

TEST_F(PasswordCase, AnAcceptedPasswordIsAskedOnceAndCloses)
{
    SetUsePassword(true);
    Answer(L"accept");
    Saver saver(L"/s");
    HWND window = saver.WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_KEYDOWN, 'A', 0);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(PasswordCalls(), std::vector<std::string>{"accept"});
}

// That a close within 200 ms of a refusal is refused without asking is a
// matter of the saver's clock: the shell's native tests check it with a clock
// of their own. Here, on a busy machine, no follow-up could be sure to come
// within 200 ms, so the verifier makes none.
TEST_F(PasswordCase, ARefusalKeepsTheSaverAndReanchors)
{
    SetUsePassword(true);
    Answer(L"refuse-once");
    Saver saver(L"/s");
    HWND window = saver.WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(saver.OwnThreads(), 2);

    // The verifier refuses and moves the cursor, as a user who moved the mouse
    // while typing.
    PostMessageW(window, WM_KEYDOWN, 'A', 0);
    ASSERT_TRUE(PumpUntil([] { return !PasswordCalls().empty(); })) << "the password was not asked for";
    // The scene goes on: the engine's worker runs again.
    EXPECT_TRUE(PumpUntil([&] { return saver.OwnThreads() == 2 || !saver.Running(); }));
    ASSERT_TRUE(saver.Running()) << "a refused password closed the saver";
    EXPECT_EQ(saver.OwnThreads(), 2);
    EXPECT_EQ(PasswordCalls(), std::vector<std::string>{"refuse"});

    // The cursor's new place is the anchor: a move report there does not close.
    PostMessageW(window, WM_MOUSEMOVE, 0, 0);
    PumpFor(500);
    EXPECT_TRUE(saver.Running());
    EXPECT_EQ(PasswordCalls().size(), 1u);

    // Later, a key press asks again; this time the password is accepted.
    PostMessageW(window, WM_KEYDOWN, 'B', 0);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(PasswordCalls(), (std::vector<std::string>{"refuse", "accept"}));
}

TEST_F(PasswordCase, QueryCancelAutoPlayClosesAndAnswersWhetherAPasswordGuardsTheSaver)
{
    const UINT query = RegisterWindowMessageW(L"QueryCancelAutoPlay");
    for (bool guarded : {false, true}) {
        SetUsePassword(guarded);
        Answer(L"accept");
        Saver saver(L"/s");
        HWND window = saver.WaitForSaverWindow();
        ASSERT_NE(window, nullptr);
        DWORD_PTR answer = 7;
        ASSERT_TRUE(SendMessageTimeoutW(window, query, 0, 0, SMTO_NORMAL, kAnswerBoundMs, &answer));
        EXPECT_EQ(answer, guarded ? 1u : 0u);
        int code = 99;
        ASSERT_TRUE(saver.WaitForExit(10000, code));
        EXPECT_EQ(code, 0);
    }
}

TEST_F(PasswordCase, ChangePasswordRunsAndEndsWithZero)
{
    Saver saver(L"/a 0");
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
}

// velmora-test.scr, the saver's test build, counts the rendering contexts: the
// scene that resumes after a refused password runs on a new one, and each is
// deleted.
TEST_F(PasswordCase, TheSceneResumedAfterARefusalLeavesNoContextBehind)
{
    SetUsePassword(true);
    Answer(L"refuse-once");
    TestBuildRun logs;
    {
        Saver saver(L"/s", L"velmora-test.scr");
        HWND window = saver.WaitForSaverWindow();
        ASSERT_NE(window, nullptr);
        PostMessageW(window, WM_KEYDOWN, 'A', 0);
        ASSERT_TRUE(PumpUntil([] { return !PasswordCalls().empty(); })) << "the password was not asked for";
        PumpFor(300); // past the 200 ms in which a close is refused unasked
        ASSERT_TRUE(saver.Running());
        PostMessageW(window, WM_KEYDOWN, 'B', 0);
        int code = 99;
        ASSERT_TRUE(saver.WaitForExit(10000, code));
        EXPECT_EQ(code, 0);
    }
    EXPECT_EQ(PasswordCalls(), (std::vector<std::string>{"refuse", "accept"}));
    EXPECT_EQ(logs.Contexts(), "made 2 deleted 2");
}

// A failed scene closes the saver as input would: the password still guards
// the close, a refusal keeps the window up (the scene does not come back),
// and once the password is given the run ends with -1.
TEST_F(PasswordCase, AFailedSceneClosesOnlyWithThePasswordAndThenEndsWithMinusOne)
{
    SetUsePassword(true);
    Answer(L"refuse-once");
    TestBuildRun logs(10);
    Saver saver(L"/s", L"velmora-test.scr");
    HWND window = saver.WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PumpUntil([] { return !PasswordCalls().empty(); })) << "the failure did not ask for the password";
    PumpFor(300);
    ASSERT_TRUE(saver.Running()) << "a failed scene ended the saver without the password";
    PostMessageW(window, WM_KEYDOWN, 'B', 0);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, -1);
    EXPECT_EQ(PasswordCalls(), (std::vector<std::string>{"refuse", "accept"}));
    EXPECT_EQ(logs.Contexts(), "made 1 deleted 1") << "the failed scene was started again";
}
