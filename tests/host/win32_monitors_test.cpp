// velmora.scr on the screens people have beyond one plain monitor: two monitors
// side by side (win32_two_monitor_tests) and a high DPI setting
// (win32_high_dpi_tests). Its window must cover the virtual screen pixel for
// pixel, as the X server counts pixels, and the scene must be drawn and move on
// every monitor. The suite's name (SUITE) and display (EXPECTED_*) are given by
// its definitions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32_driver.h"

using namespace velmora_driver;

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT area, LPARAM data)
{
    reinterpret_cast<std::vector<RECT>*>(data)->push_back(*area);
    return TRUE;
}

std::string Describe(const RECT& r)
{
    return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + " at " + std::to_string(r.left) +
           "," + std::to_string(r.top);
}

} // namespace

TEST(SUITE, CoversTheVirtualScreenPixelForPixelAndDrawsOnEveryMonitor)
{
    // This driver counts in physical pixels too, whatever the DPI setting.
    SetProcessDPIAware();
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    std::vector<RECT> monitors;
    EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
    // The display this suite is about, or the test would prove nothing.
    ASSERT_EQ(dpi, EXPECTED_DPI);
    ASSERT_EQ(monitors.size(), std::size_t(EXPECTED_MONITORS));
    ASSERT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), EXPECTED_WIDTH);
    ASSERT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), EXPECTED_HEIGHT);

    ASSERT_TRUE(MovePointer(100, 100));
    Saver saver(L"/s");
    HWND window = saver.WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    PumpFor(3000); // the rain needs a few seconds to fill the pane
    Screenshot first, second;
    std::string error;
    ASSERT_TRUE(TakeScreenshot(OwnFile(L"monitors-1.xwd"), first, error)) << error;
    PumpFor(1000);
    ASSERT_TRUE(TakeScreenshot(OwnFile(L"monitors-2.xwd"), second, error)) << error;
    ASSERT_EQ(first.width, EXPECTED_WIDTH);
    ASSERT_EQ(first.height, EXPECTED_HEIGHT);

    RECT placed{}, client{};
    GetWindowRect(window, &placed);
    GetClientRect(window, &client);
    const RECT whole{0, 0, first.width, first.height};
    EXPECT_EQ(Describe(placed), Describe(whole)) << "the window does not cover the virtual screen";
    EXPECT_EQ(Describe(client), Describe(whole)) << "the drawn area is not the whole window";

    auto brightness = [](std::uint32_t c) { return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF); };
    for (const RECT& m : monitors) {
        // The quarter farthest from the origin: a picture drawn for a smaller
        // window, or a window of one monitor's size, leaves it black and still.
        const int x0 = (m.left + m.right) / 2, y0 = (m.top + m.bottom) / 2;
        double sum = 0;
        for (int y = y0; y < m.bottom; ++y) {
            for (int x = x0; x < m.right; ++x) {
                sum += brightness(first.At(x, y));
            }
        }
        EXPECT_GT(sum / (double(m.right - x0) * (m.bottom - y0)), 10.0)
            << "the far quarter of the monitor " << Describe(m) << " is black";
        long changed = 0;
        for (int y = m.top; y < m.bottom; ++y) {
            for (int x = m.left; x < m.right; ++x) {
                changed += first.At(x, y) != second.At(x, y);
            }
        }
        EXPECT_GT(changed, 50) << "nothing moves on the monitor " << Describe(m);
    }

    PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0);
    int code = 99;
    EXPECT_TRUE(saver.WaitForExit(10000, code));
    EXPECT_EQ(code, 0);
}
