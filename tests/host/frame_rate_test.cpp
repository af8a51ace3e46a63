#include <gtest/gtest.h>

#include "host/frame_rate.h"

using NS_FrameRate::FrameRateMeter;
using NS_FrameRate::FrameRateText;
using NS_FrameRate::Glyph;

TEST(FrameRate, CountsFramesAndCpuTimeOverEachWholeSecond)
{
    FrameRateMeter meter;
    // 30 frames 1/30 s apart, a quarter of a CPU second used meanwhile.
    for (int frame = 0; frame <= 30; ++frame) {
        EXPECT_EQ("", meter.Text()) << "text before a whole second, at frame " << frame;
        meter.Frame(100.0 + frame / 30.0, 5.0 + frame / 120.0);
    }
    EXPECT_EQ("FPS: 30.0\nLoad: 25.0%", meter.Text());

    // The next second is measured afresh: 15 frames, drawing threads on two CPUs.
    for (int frame = 1; frame <= 15; ++frame)
        meter.Frame(101.0 + frame / 15.0, 5.25 + frame * 0.12);
    EXPECT_EQ("FPS: 15.0\nLoad: 180.0%", meter.Text());
}

TEST(FrameRate, HasAGlyphForEveryCharacterItWrites)
{
    for (const std::string& text :
         {FrameRateText(0.0, 0.0), FrameRateText(33.3, 12.5), FrameRateText(1234.56, 789.1), FrameRateText(-1, -1)})
        for (char c : text)
            EXPECT_TRUE(c == '\n' || Glyph(c) != nullptr) << "no glyph for '" << c << "' in " << text;
    EXPECT_EQ(nullptr, Glyph('#'));
}
