// What the rendering computes without drawing: the background picture, the
// camera matrices, the clock's images and angles, the Loader's object sets.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernel/universe.h"
#include "render/background.h"
#include "render/clock_images.h"
#include "render/loader.h"
#include "render/view_matrices.h"
#include "scene/random.h"
#include "tests/support/scripted_model.h"

namespace {

std::vector<float> Background(std::uint32_t seed)
{
    SeedRandom(seed);
    std::vector<float> texels(kBackgroundFloats);
    BuildBackground(texels.data());
    return texels;
}

const float* Texel(const std::vector<float>& texels, int row, int column)
{
    return texels.data() + 3 * (row * kBackgroundSize + column);
}

struct Extent {
    int firstRow = 1 << 30, lastRow = -1, firstColumn = 1 << 30, lastColumn = -1;
    int full = 0, soft = 0;
};

Extent Measure(const std::uint8_t* image, int width, int height)
{
    Extent e;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const int v = image[row * width + column];
            if (v == 0) {
                continue;
            }
            e.firstRow = std::min(e.firstRow, row);
            e.lastRow = std::max(e.lastRow, row);
            e.firstColumn = std::min(e.firstColumn, column);
            e.lastColumn = std::max(e.lastColumn, column);
            e.full += v == 255 ? 1 : 0;
            e.soft += v < 255 ? 1 : 0;
        }
    }
    return e;
}

} // namespace

TEST(Background, ZonesKeepTheirBoundariesAndFormulas)
{
    const std::vector<float> texels = Background(3);
    for (int column = 0; column < kBackgroundSize; column += 7) {
        for (int row = 0; row < kBackgroundSize; ++row) {
            const float* t = Texel(texels, row, column);
            if (row < kBandFirstRow) {
                ASSERT_EQ(t[0], 0.2f);
                ASSERT_EQ(t[1], 0.2f);
                ASSERT_EQ(t[2], 0.2f);
            } else if (row < kSkyFirstRow) {
                // Red rises twice as fast as green and blue.
                ASSERT_NEAR(t[0] - 0.2, 2.0 * (t[1] - 0.2), 1e-6) << row;
                ASSERT_EQ(t[1], t[2]);
                ASSERT_NEAR(t[0], 0.2 + (row - 278) / 340.0, 2.0 / 340.0 + 1e-6) << row;
            } else {
                ASSERT_NEAR(t[0] + t[1], 0.7, 1e-6) << row;
                ASSERT_NEAR(t[2] - 0.3, 3.0 * (t[1] - 0.3), 1e-6) << row;
            }
            for (int c = 0; c < 3; ++c) {
                ASSERT_GE(t[c], 0.19f);
                ASSERT_LE(t[c], 0.46f);
            }
        }
    }
}

TEST(Background, DrawsOnceForEveryTexelAboveTheGround)
{
    SeedRandom(9);
    std::vector<float> texels(kBackgroundFloats);
    BuildBackground(texels.data());
    const std::uint32_t after = RandomState();
    SeedRandom(9);
    for (int i = 0; i < 512 * 234; ++i) {
        RandomUnit();
    }
    EXPECT_EQ(RandomState(), after);
}

TEST(Background, SeedChangesTheNoiseButNotTheGround)
{
    const std::vector<float> a = Background(1);
    const std::vector<float> b = Background(2);
    const std::size_t groundFloats = static_cast<std::size_t>(kBandFirstRow) * kBackgroundSize * 3;
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + groundFloats, b.begin()));
    EXPECT_FALSE(std::equal(a.begin() + groundFloats, a.end(), b.begin() + groundFloats));
    EXPECT_EQ(Background(1), a);
}

TEST(ViewMatrices, PerspectiveShowsThePaneAtFourUnits)
{
    const Matrix4 p = PerspectiveMatrix(21.0, 1.3333333, 0.01, 8.0);
    const Matrix4 v = LookAtMatrix(0, 0, 4, 0, 0, 0, 0, 1, 0);
    // The camera looks down -z from z = 4: a pane point moves back by 4.
    EXPECT_DOUBLE_EQ(v[0], 1.0);
    EXPECT_DOUBLE_EQ(v[5], 1.0);
    EXPECT_DOUBLE_EQ(v[10], 1.0);
    EXPECT_DOUBLE_EQ(v[14], -4.0);
    // Clip coordinates of the pane's edges of view: about ±0.99 and ±0.74.
    auto ndc = [&](double x, double y) {
        const double clipX = p[0] * x;
        const double clipY = p[5] * y;
        const double w = 4.0; // -z_eye
        return std::make_pair(clipX / w, clipY / w);
    };
    EXPECT_NEAR(ndc(0.99, 0).first, 1.0, 0.01);
    EXPECT_NEAR(ndc(0, 0.74).second, 1.0, 0.01);
    // Depth: near plane to -1, far plane to +1.
    auto depth = [&](double eyeZ) { return (p[10] * eyeZ + p[14]) / -eyeZ; };
    EXPECT_NEAR(depth(-0.01), -1.0, 1e-9);
    EXPECT_NEAR(depth(-8.0), 1.0, 1e-9);
    EXPECT_DOUBLE_EQ(p[11], -1.0);
}

TEST(ClockImages, HandsStayInsideTheirPaintedExtents)
{
    const Extent hour = Measure(hourHandImage, kHandImageWidth, kHandImageHeight);
    EXPECT_EQ(hour.firstRow, 41);
    EXPECT_LE(hour.lastRow, 126);
    EXPECT_GE(hour.firstColumn, 1);
    EXPECT_LE(hour.lastColumn, 31);
    const Extent minute = Measure(minuteHandImage, kHandImageWidth, kHandImageHeight);
    EXPECT_EQ(minute.firstRow, 0);
    EXPECT_LE(minute.lastRow, 125);
    EXPECT_GE(minute.firstColumn, 4);
    EXPECT_LE(minute.lastColumn, 29);
    const Extent mark = Measure(markImage, kMarkImageSize, kMarkImageSize);
    EXPECT_EQ(mark.firstRow, 2);
    EXPECT_EQ(mark.lastRow, 15);
    EXPECT_EQ(mark.firstColumn, 4);
    EXPECT_EQ(mark.lastColumn, 13);
}

TEST(ClockImages, HandsHaveSolidCoresAndSoftEdges)
{
    for (const std::uint8_t* image : {hourHandImage, minuteHandImage}) {
        const Extent e = Measure(image, kHandImageWidth, kHandImageHeight);
        EXPECT_GT(e.full, 150);
        EXPECT_GT(e.soft, 150);
        // The pivot, at row 112 on the centre line, is covered (but for the pin hole).
        int pivot = 0;
        for (int column = 12; column < 20; ++column) {
            pivot = std::max<int>(pivot, image[112 * kHandImageWidth + column]);
        }
        EXPECT_EQ(pivot, 255);
    }
}

TEST(ClockImages, MinuteHandReachesFurtherThanTheHourHand)
{
    EXPECT_LT(Measure(minuteHandImage, kHandImageWidth, kHandImageHeight).firstRow,
              Measure(hourHandImage, kHandImageWidth, kHandImageHeight).firstRow);
}

TEST(ClockAngles, HandsPointWhereTheTimeSays)
{
    const double h1500 = HourHandAngle({15, 0, 0});
    EXPECT_NEAR(std::sin(h1500), 1.0, 1e-6);
    EXPECT_NEAR(std::cos(h1500), 0.0, 1e-6);
    EXPECT_NEAR(std::sin(MinuteHandAngle({15, 0, 0})), 0.0, 1e-12);
    // 06:30: the hour hand halfway between six and seven, the minute hand down.
    EXPECT_NEAR(HourHandAngle({6, 30, 0}), 6.5 * 3.1415926 / 6, 1e-9);
    EXPECT_NEAR(std::cos(MinuteHandAngle({6, 30, 0})), -1.0, 1e-6);
    // The hands creep: the hour hand with the minutes, the minute hand with the seconds.
    EXPECT_GT(HourHandAngle({6, 1, 0}), HourHandAngle({6, 0, 59}));
    EXPECT_GT(MinuteHandAngle({6, 0, 30}), MinuteHandAngle({6, 0, 0}));
    EXPECT_NEAR(std::sin(HourHandAngle({15, 0, 0})), std::sin(HourHandAngle({3, 0, 0})), 1e-6);
}

TEST(LoaderSets, AttachedAndDetachedKeepTheSetsBySource)
{
    velmora_test::ScriptedModel model({L"Drop", L"Rain"});
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    Loader loader(&universe);
    EXPECT_EQ(loader.GetName(), L"Loader");
    NS_ObjectIndex::ObjectIndex a;
    a.index = 1;
    a.stamp = 10;
    NS_ObjectIndex::ObjectIndex b;
    b.index = 2;
    b.stamp = 11;
    loader.Handle({a, L"Drop", NS_Events::Attached, L"Loader"});
    loader.Handle({a, L"Drop", NS_Events::Attached, L"Loader"});
    loader.Handle({b, L"Rain", NS_Events::Attached, L"Loader"});
    loader.Handle({b, L"Drop", NS_Events::Changed, L"Loader"});
    loader.Handle({b, L"Drop", NS_Events::Tick, L"Loader"});
    EXPECT_EQ(loader.Drops().size(), 1u);
    EXPECT_EQ(loader.Drops().count(a), 1u);
    EXPECT_EQ(loader.Streaks().size(), 1u);
    EXPECT_EQ(loader.Streaks().count(b), 1u);
    loader.Handle({b, L"Drop", NS_Events::Detached, L"Loader"}); // not a drop: nothing
    EXPECT_EQ(loader.Drops().size(), 1u);
    loader.Handle({a, L"Drop", NS_Events::Detached, L"Loader"});
    loader.Handle({b, L"Rain", NS_Events::Detached, L"Loader"});
    EXPECT_TRUE(loader.Drops().empty());
    EXPECT_TRUE(loader.Streaks().empty());
}
