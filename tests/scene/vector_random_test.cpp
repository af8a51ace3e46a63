#include <gtest/gtest.h>

#include <cmath>

#include "scene/portable_math.h"
#include "scene/random.h"
#include "scene/vector.h"
#include "tests/scene/scene_fixture.h"

namespace {

using velmora_test::SeedSoNextDrawIs;

TEST(RandomUnit, FollowsTheGeneratorsSequenceFromStateOne)
{
    SeedRandom(1);
    // The well-known opening of this generator; the first is 2745024 >> 16.
    const std::uint32_t expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (std::uint32_t g : expected) {
        EXPECT_EQ(RandomDraw(), g);
    }
    SeedRandom(1);
    EXPECT_EQ(RandomUnit(), 41.0 / 32767.0);
    EXPECT_EQ(RandomState(), 2745024u);
}

TEST(RandomUnit, ReachesExactlyZeroAndExactlyOne)
{
    SeedSoNextDrawIs(0);
    EXPECT_EQ(RandomUnit(), 0.0);
    SeedSoNextDrawIs(32767);
    EXPECT_EQ(RandomUnit(), 1.0);
    SeedSoNextDrawIs(16384);
    EXPECT_EQ(RandomUnit(), 16384 * 3.051850947599719e-05);
}

TEST(RandomUnit, TakesBits16To30OfTheState)
{
    // A state whose bit 31 is set and whose low bits are busy must not leak into the draw.
    SeedRandom(velmora_test::StateBefore(0xFFFFFFFFu));
    EXPECT_EQ(RandomDraw(), 0x7FFFu);
    SeedRandom(velmora_test::StateBefore(0x8000FFFFu));
    EXPECT_EQ(RandomDraw(), 0u);
}

TEST(RandomUnit, WrapsModulo2To32AndRepeatsForTheSameSeed)
{
    SeedRandom(0xFFFFFFFFu);
    const std::uint32_t first = RandomDraw();
    EXPECT_EQ(RandomState(), 0xFFFFFFFFu * 214013u + 2531011u);
    SeedRandom(0xFFFFFFFFu);
    EXPECT_EQ(RandomDraw(), first);
}

TEST(Vector, LengthDifferenceAndWidening)
{
    EXPECT_EQ(Vector3(3, 4, 0).Length(), 5.0);
    const Vector3 p(0.3, -0.7, 0.0);
    const Vector3 d = p - p;
    EXPECT_EQ(d.x, 0.0);
    EXPECT_EQ(d.y, 0.0);
    EXPECT_EQ(d.Length(), 0.0);
    const Vector3 w(Vector2(0.5, -0.25));
    EXPECT_EQ(w.x, 0.5);
    EXPECT_EQ(w.y, -0.25);
    EXPECT_EQ(w.z, 0.0);
    EXPECT_EQ(Vector3().Length(), 0.0);
}

TEST(Vector, ArithmeticLeavesOperandsAloneExceptInPlace)
{
    const Vector2 a(1.0, 2.0);
    const Vector2 b(0.25, -0.5);
    const Vector2 sum = a + b * 2.0;
    EXPECT_EQ(sum.x, 1.5);
    EXPECT_EQ(sum.y, 1.0);
    EXPECT_EQ(b.x, 0.25);
    Vector2 c = a;
    c += b;
    EXPECT_EQ(c.x, 1.25);
    EXPECT_EQ(c.y, 1.5);

    Vector3 v(1.0, -2.0, 4.0);
    const Vector3 scaled = v * 0.5;
    EXPECT_EQ(scaled.z, 2.0);
    EXPECT_EQ(v.z, 4.0);
    v *= -2.0;
    EXPECT_EQ(v.x, -2.0);
    EXPECT_EQ(v.y, 4.0);
    EXPECT_EQ((v + scaled).z, -6.0);
}

// The portable functions stand in for the C library's; measured against the
// library's extended-precision ones, they must be within an ulp of the truth
// wherever the scene uses them (glibc's own cbrt is off by more at times).
double UlpsFromTruth(double got, long double truth)
{
    const double nearest = static_cast<double>(truth);
    const double ulp = std::nextafter(std::fabs(nearest), 2.0 * std::fabs(nearest) + 1.0) - std::fabs(nearest);
    return static_cast<double>(std::fabs(static_cast<long double>(got) - truth) / ulp);
}

TEST(PortableMath, CubeRootMatchesTheLibraryOverTheDropMasses)
{
    // Radii come from masses between a dried drop's and a heavy merged one's.
    // Correctly rounded there: within half an ulp, give or take the truth's own error.
    for (double mass = 1e-7; mass < 0.05; mass *= 1.0137) {
        const double x = mass / 400.0;
        EXPECT_LE(UlpsFromTruth(PortableCbrt(x), std::cbrt(static_cast<long double>(x))), 0.501) << x;
    }
    EXPECT_EQ(PortableCbrt(0.0008 / 400.0), 0x1.9cd9d686321f9p-7);
    for (double x : {0.125, 1.0, 8.0, 27.0, 1e-300, 1e300, 0.5, 2.0, 4.0}) {
        EXPECT_LE(UlpsFromTruth(PortableCbrt(x), std::cbrt(static_cast<long double>(x))), 1.0) << x;
    }
    EXPECT_EQ(PortableCbrt(0.0), 0.0);
    EXPECT_EQ(PortableCbrt(-8.0), -2.0);
}

TEST(PortableMath, SineAndCosineMatchTheLibraryOverTheSlants)
{
    // The slant stays within ±0.3 rad; the whole documented range is checked looser.
    for (double x = -1.0; x <= 1.0; x += 0.000977) {
        const double allowed = std::fabs(x) <= 0.3 ? 0.53 : std::fabs(x) <= 0.5 ? 1.0 : 1.25;
        EXPECT_LE(UlpsFromTruth(PortableSin(x), std::sin(static_cast<long double>(x))), allowed) << x;
        EXPECT_LE(UlpsFromTruth(PortableCos(x), std::cos(static_cast<long double>(x))), allowed) << x;
    }
    EXPECT_EQ(PortableSin(0.0), 0.0);
    EXPECT_EQ(PortableCos(0.0), 1.0);
    // Bit for bit at slants where glibc's results differ in the last bit.
    EXPECT_EQ(PortableSin(0x1.f2557e449622ep-3), 0x1.ed6e5152256e8p-3);
    EXPECT_EQ(PortableCos(0x1.f2557e449622ep-3), 0x1.f0ead895805dbp-1);
    EXPECT_EQ(PortableSin(-0x1.2604b26fcb46p-2), -0x1.21febbda0ffb6p-2);
    EXPECT_EQ(PortableCos(-0x1.2604b26fcb46p-2), 0x1.eb0a17c671d34p-1);
}

} // namespace
