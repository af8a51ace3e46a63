#include <gtest/gtest.h>

#include "host/close_rules.h"
#include "host/layer_shell_rules.h"

using namespace NS_LayerShellRules;
using NS_SaverOptions::Target;

TEST(LayerShellRules, TheSaverCoversWithTheKeyboardTheWallpaperLiesUnderTakingNothing)
{
    const SurfaceRole saver = RoleFor(Target::Wayland);
    EXPECT_EQ(Layer::Overlay, saver.layer);
    EXPECT_TRUE(saver.exclusiveKeyboard && saver.takesPointer);
    const SurfaceRole wallpaper = RoleFor(Target::Wallpaper);
    EXPECT_EQ(Layer::Background, wallpaper.layer);
    EXPECT_FALSE(wallpaper.exclusiveKeyboard || wallpaper.takesPointer);
}

TEST(LayerShellRules, LeftMiddleAndRightBecomeTheXButtonsThatClose)
{
    EXPECT_EQ(1, XButton(0x110)); // BTN_LEFT
    EXPECT_EQ(3, XButton(0x111)); // BTN_RIGHT
    EXPECT_EQ(2, XButton(0x112)); // BTN_MIDDLE
    for (std::uint32_t other : {0x113u, 0x114u, 0x115u, 0x116u, 0x117u, 0u, 0x10fu, 0x14au})
        EXPECT_EQ(0, XButton(other)) << std::hex << other;
}

TEST(LayerShellRules, BuffersHaveTheOutputsPixelSize)
{
    const BufferSize plain = BufferFor(1024, 768, 1);
    EXPECT_EQ(1024, plain.width);
    EXPECT_EQ(768, plain.height);
    const BufferSize sharp = BufferFor(640, 480, 2);
    EXPECT_EQ(1280, sharp.width);
    EXPECT_EQ(960, sharp.height);
    // What a compositor should never send still gives a drawable buffer.
    const BufferSize empty = BufferFor(0, 0, 0);
    EXPECT_EQ(1, empty.width);
    EXPECT_EQ(1, empty.height);
    const BufferSize huge = BufferFor(0xffffffffu, 1, 1000);
    EXPECT_GT(huge.width, 0);
}

// Two outputs side by side, the second at x 1024: moving from the first one's
// right edge onto the second is a move of a few pixels, which does not close.
TEST(LayerShellRules, PositionsOnEveryOutputShareOneSpace)
{
    const Point left = GlobalPosition(0, 0, 1022.0, 300.4);
    const Point right = GlobalPosition(1024, 0, 0.6, 300.0);
    EXPECT_EQ(1022, left.x);
    EXPECT_EQ(300, left.y);
    EXPECT_EQ(1025, right.x);
    NS_CloseRules::CloseRules rules(NS_SaverOptions::ClosesOnInput(Target::Wayland));
    EXPECT_FALSE(rules.Ends(NS_CloseRules::Input::Enter, left.x, left.y));
    EXPECT_FALSE(rules.Ends(NS_CloseRules::Input::Enter, right.x, right.y));
    EXPECT_TRUE(rules.Ends(NS_CloseRules::Input::Motion, GlobalPosition(1024, 0, 3.0, 300.0).x, 300));
}
