// The velmora program itself, run as a user or XScreenSaver would run it, on a
// virtual display of the test process's own. Input comes from the XTEST
// extension, pictures from XGetImage.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/x11_picture.h"
#include "tests/support/x11_private_display.h"
#include "tests/support/x11_started_saver.h"

class X11Saver : public ::testing::Test {
protected:
    // One display per test process (CTest runs each test in a process of its
    // own), so no other test's pointer, keys or windows reach this one.
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The saver of this build (VELMORA_TEST_BINARY for its test build) on the
    // test's display.
    static velmora_test::StartedSaver Start(const std::vector<std::string>& arguments,
                                            const std::vector<std::string>& environment = {},
                                            const char* program = VELMORA_BINARY)
    {
        return velmora_test::StartedSaver(program, arguments, DisplayName(), environment);
    }
    static const std::string& DisplayName() { return server->Name(); }

    // The saver's own top-level window, or None.
    Window WindowOf(velmora_test::StartedSaver& saver) { return saver.WindowOn(display); }
    // Its window once it shows the scene, or None. Input only goes to a saver
    // that draws: its set-up, the pointer's anchor included, is then done.
    Window ShowingTheScene(velmora_test::StartedSaver& saver);
    // Waits until the window shows a picture of the scene (a black or
    // one-colour window is not one), and returns the last picture taken.
    velmora_test::Picture WaitForScene(Window window);
    velmora_test::Picture Capture(Window window) { return velmora_test::Capture(display, window); }

    void MovePointer(int x, int y);
    void PressKey();
    void Click(unsigned button);
    // A plain black window of the test's, for a saver to draw into.
    Window MakePlainWindow(int width, int height);

    // The background alone has a sky gradient, a noisy horizon and a ground.
    static constexpr std::size_t kSceneColours = 64;
    // Larger than the saver's 1024 x 768 window, so that a pointer can leave it.
    static constexpr int kScreenWidth = 1280;
    static constexpr int kScreenHeight = 1024;
    static inline std::unique_ptr<velmora_test::PrivateDisplay> server;

    Display* display = nullptr;
    Window root = None;
    std::vector<Window> ownWindows;
};

// `text` (a saver's error output) is one line, and it holds `words`.
::testing::AssertionResult IsOneLineSaying(const std::string& text, const std::string& words);
