// velmora.scr on a display without OpenGL (an X server without GLX): the
// saver says so in a message box and ends with -1, its engine never started.
#include <gtest/gtest.h>

#include "tests/host/win32_driver.h"

using namespace velmora_driver;

TEST(SaverWithoutOpenGL, ShowsTheErrorBoxAndEndsWithMinusOneWithoutEngine)
{
    Saver saver(L"/s");
    HWND box = saver.FindWindowOf(L"#32770", L"Open GL error");
    ASSERT_NE(box, nullptr) << "no error box";
    bool textFound = false;
    for (const std::wstring& text : StaticTexts(box)) {
        textFound = textFound || text == L"Screen saver can't set an appropriate OpenGL mode";
    }
    EXPECT_TRUE(textFound);
    EXPECT_EQ(saver.OwnThreads(), 1) << "an engine worker is running";
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    HWND cancel = GetDlgItem(box, IDCANCEL);
    EXPECT_TRUE(cancel == nullptr || !IsWindowVisible(cancel)) << "more than an OK button";

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    int code = 99;
    ASSERT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, -1);
}
