#include <gtest/gtest.h>

#include "tools/snapshot/snapshot_options.h"

namespace {

std::string Parse(std::vector<std::string> arguments, SnapshotOptions& options)
{
    return ParseSnapshotOptions(arguments, options);
}

} // namespace

TEST(SnapshotOptions, ReadsEveryOption)
{
    SnapshotOptions o;
    ASSERT_EQ(Parse({"--size", "1920x1080", "--seed", "42", "--cycles", "7", "--time", "06:30", "--frames", "300",
                     "--every", "2", "--device", "1", "out.WebP"},
                    o),
              "");
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    EXPECT_TRUE(o.seeded);
    EXPECT_EQ(o.seed, 42u);
    EXPECT_EQ(o.cycles, 7);
    EXPECT_TRUE(o.timeFixed);
    EXPECT_EQ(o.hours, 6);
    EXPECT_EQ(o.minutes, 30);
    EXPECT_EQ(o.frames, 300);
    EXPECT_EQ(o.every, 2);
    EXPECT_EQ(o.device, 1);
    EXPECT_EQ(o.output, "out.WebP");
    EXPECT_EQ(o.format, PictureFormat::WebP);
}

TEST(SnapshotOptions, DefaultsLeaveSeedAndTimeToTheClock)
{
    SnapshotOptions o;
    ASSERT_EQ(Parse({}, o), "");
    EXPECT_FALSE(o.seeded);
    EXPECT_FALSE(o.timeFixed);
    EXPECT_EQ(o.width, 1024);
    EXPECT_EQ(o.height, 768);
    EXPECT_EQ(o.output, "velmora.png");
    EXPECT_EQ(o.device, kSoftwareRenderer);
    SnapshotOptions recording;
    ASSERT_EQ(Parse({"--frames", "2"}, recording), "");
    EXPECT_EQ(recording.output, "velmora.webp");
    EXPECT_EQ(recording.every, 1);
}

TEST(SnapshotOptions, RefusesBadSizes)
{
    for (const char* bad :
         {"0x10", "10x0", "4097x10", "10x", "x10", "10x10x10", "-5x10", "10 x10", "big", "", "99999999999x1"}) {
        SnapshotOptions o;
        const std::string problem = Parse({"--size", bad}, o);
        EXPECT_NE(problem.find("bad size"), std::string::npos) << bad;
    }
    SnapshotOptions o;
    EXPECT_EQ(Parse({"--size", "4096x1"}, o), "");
}

TEST(SnapshotOptions, RefusesBadTimesCountsSeedsAndFormats)
{
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--time", "24:00"},  {"--time", "12:60"}, {"--time", "1230"},
                                               {"--time", "12:5"},   {"--cycles", "0"},   {"--cycles", "-1"},
                                               {"--seed", "x"},      {"--seed"},          {"--colour", "red"},
                                               {"-o", ""},           {"--frames", "0"},   {"--frames", "100001"},
                                               {"--every", "0"},     {"--every", "1001"}, {"--device", "-1"},
                                               {"--device", "1000"}, {"--device", "gpu"}, {"--frames", "2", "clip.png"},
                                               {"picture.gif"},      {"picture"},         {"rain.webp/picture"}}) {
        SnapshotOptions o;
        EXPECT_NE(Parse(bad, o), "") << bad[0];
    }
    SnapshotOptions o;
    ASSERT_EQ(Parse({"--time", "0:05", "--frames", "1", "still.png"}, o), "");
    EXPECT_EQ(o.hours, 0);
    EXPECT_EQ(o.minutes, 5);
}
