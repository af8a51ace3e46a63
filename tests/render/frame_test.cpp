// Real frames drawn offscreen, checked for what a person would see.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "render/gl.h"
#include "render/local_time.h"
#include "tests/render/still_scene.h"

using velmora_render_test::Frame;
using velmora_render_test::Rgb;
using velmora_render_test::StillScene;

namespace {

constexpr int kGround = 51; // 0.2 of 255

// The world height of a background row's lower edge: the picture spans
// -0.75..0.75 just behind the pane.
double RowY(int row)
{
    return -0.75 + 1.5 * row / 512.0;
}

// The clock: its centre and radius, and a point at a fraction of the radius
// along the direction theta (clockwise from straight up).
constexpr double kClockX = 0.64;
constexpr double kClockY = 0.44;
constexpr double kClockZ = 0.5;
constexpr double kClockSize = 0.15;

bool DarkAt(const Frame& frame, double theta, double fraction)
{
    const double x = kClockX + std::sin(theta) * fraction * kClockSize;
    const double y = kClockY + std::cos(theta) * fraction * kClockSize;
    // The sky around the clock is a grey of about 90 to 110; the clock is 51.
    return frame.DarkestNear(x, y, kClockZ, 2) < 75;
}

constexpr double kDegree = 3.14159265358979323846 / 180.0;

class ClockFrame : public ::testing::Test {
protected:
    Frame At(int hours, int minutes)
    {
        StillScene scene(2048, 1536, 1, {hours, minutes, 0});
        return scene.Draw();
    }
};

} // namespace

TEST(BackgroundFrame, LowerZoneIsFlatGreyWhereNothingLies)
{
    StillScene scene;
    const Frame frame = scene.Draw();
    int checked = 0;
    for (double y = -0.73; y < RowY(278) - 0.01; y += 0.02) {
        for (double x = -0.98; x < 0.98; x += 0.02) {
            const Rgb pixel = frame.AtWorld(x, y, -0.01);
            ASSERT_NEAR(pixel.r, kGround, 1) << x << ", " << y;
            ASSERT_NEAR(pixel.g, kGround, 1) << x << ", " << y;
            ASSERT_NEAR(pixel.b, kGround, 1) << x << ", " << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 3000);
}

TEST(BackgroundFrame, SkyGetsCoolerTowardTheTop)
{
    StillScene scene;
    const Frame frame = scene.Draw();
    // Blue minus red, averaged across a strip left of the clock.
    auto coolness = [&](double y) {
        double sum = 0.0;
        int n = 0;
        for (double x = -0.95; x < 0.3; x += 0.01) {
            const Rgb p = frame.AtWorld(x, y, -0.01);
            sum += p.b - p.r;
            ++n;
        }
        return sum / n;
    };
    const double justAboveBand = coolness(RowY(350));
    const double middle = coolness(RowY(430));
    const double top = coolness(RowY(505));
    EXPECT_LT(justAboveBand, middle);
    EXPECT_LT(middle, top);
    EXPECT_GT(top, 10.0);            // bluish at the top
    EXPECT_LT(justAboveBand, -10.0); // reddish above the band
}

TEST(BackgroundFrame, TwoSeedsDifferAboveTheGroundOnly)
{
    StillScene first(1024, 768, 11);
    const Frame a = first.Draw();
    StillScene second(1024, 768, 12);
    const Frame b = second.Draw();
    int skyDifferences = 0;
    for (double x = -0.95; x < 0.3; x += 0.01) {
        for (int row = 0; row < 512; row += 4) {
            const Rgb pa = a.AtWorld(x, RowY(row) + 0.001, -0.01);
            const Rgb pb = b.AtWorld(x, RowY(row) + 0.001, -0.01);
            const bool same = pa.r == pb.r && pa.g == pb.g && pa.b == pb.b;
            if (row < 278) {
                ASSERT_TRUE(same) << "row " << row;
                ASSERT_NEAR(pa.r, kGround, 1);
            } else {
                skyDifferences += same ? 0 : 1;
            }
        }
    }
    EXPECT_GT(skyDifferences, 1000);
}

TEST(BackgroundFrame, WideTargetIsStretchedNotLetterboxed)
{
    StillScene scene(1920, 1080);
    const Frame frame = scene.Draw();
    // Every edge of the window shows the picture: the ground at the bottom
    // corners, the sky at the top ones; nothing black around it.
    for (int x : {0, 1, 960, 1918, 1919}) {
        EXPECT_NEAR(frame.At(x, 1079).Grey(), kGround, 1) << x;
        EXPECT_NEAR(frame.At(x, 540).Grey(), kGround, 1) << x;
        EXPECT_GT(frame.At(x, 0).Grey(), 70) << x;
    }
    // The band's lower edge is at the same fraction of the height as in 4:3.
    StillScene square(1024, 768);
    const Frame reference = square.Draw();
    int wideBand = 0;
    int squareBand = 0;
    for (int y = 1079; y > 0 && frame.At(100, y).r <= kGround + 3; --y) {
        wideBand = y;
    }
    for (int y = 767; y > 0 && reference.At(50, y).r <= kGround + 3; --y) {
        squareBand = y;
    }
    EXPECT_NEAR(wideBand / 1080.0, squareBand / 768.0, 0.01);
}

TEST(StreakFrame, StreaksShowOverTheBackground)
{
    StillScene scene;
    scene.AddStreak(Vector2(-0.5, -0.2), Vector2(-0.46, -0.5), 0.8);
    scene.AddStreak(Vector2(0.3, -0.2), Vector2(0.34, -0.5), 0.0);
    const Frame frame = scene.Draw();
    int bright = 0;
    int dark = 0;
    for (double t = 0.1; t < 0.9; t += 0.05) {
        int cx = 0;
        int cy = 0;
        frame.Project(-0.5 + 0.04 * t, -0.2 - 0.3 * t, 0.0, cx, cy);
        int best = 0;
        for (int dx = -2; dx <= 2; ++dx) {
            best = std::max(best, frame.At(cx + dx, cy).Grey());
        }
        bright += best > 180 ? 1 : 0;
        // A streak of brightness 0 still shows, black at alpha 0.2.
        dark += frame.DarkestNear(0.3 + 0.04 * t, -0.2 - 0.3 * t, 0.0, 2) < kGround - 5 ? 1 : 0;
    }
    EXPECT_EQ(bright, 16);
    EXPECT_EQ(dark, 16);
}

TEST(DropFrame, DropIsATranslucentBumpWithASpecularHighlight)
{
    StillScene scene;
    scene.AddDrop(-0.5, -0.4, 0.03);
    const Frame frame = scene.Draw();
    int cx = 0;
    int cy = 0;
    frame.Project(-0.5, -0.4, 0.0, cx, cy);
    int brightest = 0;
    int changed = 0;
    for (int dy = -12; dy <= 12; ++dy) {
        for (int dx = -12; dx <= 12; ++dx) {
            const int grey = frame.At(cx + dx, cy + dy).Grey();
            brightest = std::max(brightest, grey);
            changed += std::abs(grey - kGround) > 2 ? 1 : 0;
        }
    }
    EXPECT_GT(brightest, kGround + 30) << "no highlight";
    EXPECT_GT(changed, 100) << "the bump covers too little";
    // Away from the drop the ground is untouched.
    EXPECT_NEAR(frame.AtWorld(-0.5, -0.6).Grey(), kGround, 1);
}

TEST(DropFrame, StreakShowsThroughTheDropAboveIt)
{
    StillScene scene;
    scene.AddStreak(Vector2(-0.5, -0.2), Vector2(-0.5, -0.6), 1.0);
    scene.AddDrop(-0.5, -0.4, 0.03);
    const Frame frame = scene.Draw();
    int cx = 0;
    int cy = 0;
    // Off the highlight, low in the drop: white streak, dimmed by the drop.
    frame.Project(-0.5, -0.42, 0.0, cx, cy);
    int under = 0;
    for (int dx = -2; dx <= 2; ++dx) {
        under = std::max(under, frame.At(cx + dx, cy).Grey());
    }
    frame.Project(-0.5, -0.55, 0.0, cx, cy);
    int open = 0;
    for (int dx = -2; dx <= 2; ++dx) {
        open = std::max(open, frame.At(cx + dx, cy).Grey());
    }
    EXPECT_GT(open, 240);
    EXPECT_GT(under, 150) << "the drop hides the streak";
    EXPECT_LT(under, open) << "the drop does not lie over the streak";
}

// Below a radius of 0.002 the mesh has no cells; at 0.002 its one cell has all
// four corners on the pinched ends, so a drop first shows at two cells (0.004).
TEST(DropFrame, TinyDropsAreNotDrawn)
{
    StillScene scene;
    const Frame empty = scene.Draw();
    scene.AddDrop(-0.5, -0.4, 0.0019);
    scene.AddDrop(-0.4, -0.4, 0.002);
    EXPECT_EQ(scene.Draw().pixels, empty.pixels);
    scene.AddDrop(-0.3, -0.4, 0.004);
    EXPECT_NE(scene.Draw().pixels, empty.pixels);
}

TEST(FrameState, CapabilitiesAreRestoredAfterTheFrame)
{
    StillScene scene;
    scene.AddDrop(-0.5, -0.4, 0.03);
    scene.AddStreak(Vector2(-0.5, -0.2), Vector2(-0.46, -0.5), 0.8);
    scene.Draw();
    // The context is current on this thread: the unpaced universe drew here.
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLint depthFunction = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
    EXPECT_EQ(depthFunction, GL_LESS);
}

TEST_F(ClockFrame, At1500TheHourHandPointsRightAndTheMinuteHandUp)
{
    const Frame frame = At(15, 0);
    EXPECT_TRUE(DarkAt(frame, 90 * kDegree, 0.4));
    EXPECT_TRUE(DarkAt(frame, 0, 0.4));
    EXPECT_TRUE(DarkAt(frame, 0, 0.6)); // the minute hand is the longer one
    EXPECT_FALSE(DarkAt(frame, 90 * kDegree, 0.6));
    EXPECT_FALSE(DarkAt(frame, 180 * kDegree, 0.5));
    EXPECT_FALSE(DarkAt(frame, 270 * kDegree, 0.5));
}

TEST_F(ClockFrame, At0630TheHourHandLiesBetweenSixAndSevenAndTheMinuteHandDown)
{
    const Frame frame = At(6, 30);
    EXPECT_TRUE(DarkAt(frame, 195 * kDegree, 0.45));
    EXPECT_TRUE(DarkAt(frame, 180 * kDegree, 0.6));
    EXPECT_FALSE(DarkAt(frame, 165 * kDegree, 0.45));
    EXPECT_FALSE(DarkAt(frame, 225 * kDegree, 0.45));
    EXPECT_FALSE(DarkAt(frame, 0, 0.5));
}

TEST_F(ClockFrame, AfternoonHoursDrawLikeMorningHours)
{
    EXPECT_EQ(At(15, 0).pixels, At(3, 0).pixels);
}

TEST_F(ClockFrame, TwelveMarksStandOnTheRim)
{
    const Frame frame = At(15, 0);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(DarkAt(frame, i * 30 * kDegree, 0.95)) << "mark " << i;
        EXPECT_FALSE(DarkAt(frame, (i * 30 + 15) * kDegree, 0.95)) << "between marks " << i;
    }
}

TEST_F(ClockFrame, ClockIsDrawnOverDropsWhateverTheirDepth)
{
    StillScene scene(2048, 1536, 1, {15, 0, 0});
    // A large drop right under the minute hand.
    scene.AddDrop(kClockX, kClockY + 0.6 * kClockSize, 0.05);
    EXPECT_TRUE(DarkAt(scene.Draw(), 0, 0.6));
}
