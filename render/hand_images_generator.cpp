// Draws the two clock hands from a few shapes and writes them out as the C++
// tables of render/hand_images.cpp:
//
//   velmora-hand-images > render/hand_images.cpp      (or: make regenerate-hand-images)
//
// Each hand is a 32 x 128 coverage image, row 0 at the tip and row 112 at the
// pivot. A shape is a signed distance in texels (negative inside); a texel's
// coverage is the distance at its centre run through a ramp about 1.3 texels
// wide, which gives the strokes a solid core of 255 and soft edges.
// With --preview it prints the images as text instead, for looking at them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int kWidth = 32;
constexpr int kHeight = 128;
constexpr double kAxis = 16.0;   // the hand's centre line, in texels from the left edge
constexpr double kPivot = 112.0; // the clock's centre, in texels from the tip edge

struct Point {
    double x;
    double y;
};

double Length(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

double Circle(Point p, Point c, double r)
{
    return Length(p.x - c.x, p.y - c.y) - r;
}

// A stroke from a to b whose half-width runs from ra to rb (a cone with round ends).
double Taper(Point p, Point a, Point b, double ra, double rb)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
    t = std::clamp(t, 0.0, 1.0);
    // Close enough to the exact distance for strokes that taper gently.
    const double r = ra + (rb - ra) * t;
    return Length(p.x - (a.x + t * dx), p.y - (a.y + t * dy)) - r;
}

// An ellipse's outline of the given half-width; approximate but smooth.
double EllipseRing(Point p, Point c, double ax, double ay, double half)
{
    const double k = Length((p.x - c.x) / ax, (p.y - c.y) / ay);
    const double d = (k - 1.0) * std::min(ax, ay) * (k > 0 ? 1.0 : 0.0);
    return std::fabs(d) - half;
}

double FilledEllipse(Point p, Point c, double ax, double ay)
{
    const double k = Length((p.x - c.x) / ax, (p.y - c.y) / ay);
    return (k - 1.0) * std::min(ax, ay);
}

double Union(std::initializer_list<double> ds)
{
    return *std::min_element(ds.begin(), ds.end());
}
double Cut(double d, double hole)
{
    return std::max(d, -hole);
}

Point At(double dx, double y)
{
    return {kAxis + dx, y};
}

// The hour hand: a fine point, a lance-shaped blade with an open loop on one
// side, a straight shaft and a pierced boss with two small scrolls behind it.
double HourHand(Point p)
{
    const double point = Taper(p, At(0, 41.8), At(0, 54), 0.05, 3.2);
    const double blade = Taper(p, At(0, 54), At(0, 86), 3.2, 2.0);
    const double loop = EllipseRing(p, At(5.6, 66.2), 6.0, 12.0, 1.6);
    const double shaft = Taper(p, At(0, 86), At(0, kPivot), 2.0, 2.3);
    const double boss = Cut(Circle(p, At(0, kPivot), 5.0), Circle(p, At(0, kPivot), 1.4));
    const double collar = std::fabs(Circle(p, At(0, kPivot), 6.6)) - 1.2;
    const double scrollLeft = EllipseRing(p, At(-8.6, 119.0), 4.0, 3.9, 1.4);
    const double scrollRight = EllipseRing(p, At(8.6, 119.0), 4.0, 3.9, 1.4);
    const double tail = Taper(p, At(0, kPivot), At(0, 125.0), 2.2, 0.9);
    // The collar shows only behind the pivot, where it joins the two scrolls.
    const double collarBehind = std::max(collar, kPivot + 1.5 - p.y);
    return Union({point, blade, loop, shaft, boss, collarBehind, scrollLeft, scrollRight, tail});
}

// The minute hand: a point, an arrow-head loop, a long shaft with a solid
// knot, a pierced boss and a small flared end behind the pivot.
double MinuteHand(Point p)
{
    const double point = Taper(p, At(0, 0.45), At(0, 5), 0.05, 1.5);
    const double headLeft = Taper(p, At(0, 3), At(-9.6, 17), 1.4, 1.7);
    const double headRight = Taper(p, At(0, 3), At(9.6, 17), 1.4, 1.7);
    const double backLeft = Taper(p, At(-9.6, 17), At(0, 31), 1.7, 1.4);
    const double backRight = Taper(p, At(9.6, 17), At(0, 31), 1.7, 1.4);
    const double shaft = Taper(p, At(0, 31), At(0, kPivot), 1.4, 1.9);
    const double knot = FilledEllipse(p, At(0, 69.7), 3.6, 6.4);
    const double boss = Cut(Circle(p, At(0, kPivot), 4.2), Circle(p, At(0, kPivot), 1.2));
    const double neck = Taper(p, At(0, kPivot), At(0, 118.2), 1.9, 1.4);
    const double flare = Taper(p, At(0, 118.6), At(0, 122.2), 1.3, 3.0);
    return Union({point, headLeft, headRight, backLeft, backRight, shaft, knot, boss, neck, flare});
}

std::vector<std::uint8_t> Paint(const std::function<double(Point)>& shape)
{
    std::vector<std::uint8_t> image(kWidth * kHeight);
    for (int row = 0; row < kHeight; ++row) {
        for (int column = 0; column < kWidth; ++column) {
            const double d = shape({column + 0.5, row + 0.5});
            const double coverage = std::clamp(0.5 - d / 1.3, 0.0, 1.0);
            image[row * kWidth + column] = static_cast<std::uint8_t>(std::lround(coverage * 255.0));
        }
    }
    return image;
}

void WriteTable(const char* name, const std::vector<std::uint8_t>& image)
{
    std::printf("\nconst std::uint8_t %s[kHandImageHeight * kHandImageWidth] = {\n", name);
    for (int row = 0; row < kHeight; ++row) {
        std::printf("    ");
        for (int column = 0; column < kWidth; ++column) {
            std::printf("%d,", image[row * kWidth + column]);
        }
        std::printf(" // %d\n", row);
    }
    std::printf("};\n");
}

void Preview(const char* name, const std::vector<std::uint8_t>& image)
{
    static const char ramp[] = " .:-=+*#%@";
    std::printf("%s\n", name);
    for (int row = 0; row < kHeight; ++row) {
        std::printf("%3d ", row);
        for (int column = 0; column < kWidth; ++column) {
            const int v = image[row * kWidth + column];
            std::putchar(v == 0 ? ' ' : ramp[1 + v * 8 / 255]);
        }
        std::putchar('\n');
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::uint8_t> hour = Paint(HourHand);
    const std::vector<std::uint8_t> minute = Paint(MinuteHand);
    if (argc > 1 && std::strcmp(argv[1], "--preview") == 0) {
        Preview("hourHandImage", hour);
        Preview("minuteHandImage", minute);
        return 0;
    }
    std::printf("// Generated by velmora-hand-images (render/hand_images_generator.cpp); edit the\n"
                "// shapes there and regenerate rather than editing these numbers.\n"
                "#include \"render/clock_images.h\"\n");
    WriteTable("hourHandImage", hour);
    WriteTable("minuteHandImage", minute);
    return 0;
}
