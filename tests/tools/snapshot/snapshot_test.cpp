// Pictures and recordings as the snapshot tool writes them, read back as a
// viewer would.
#include <gtest/gtest.h>
#include <png.h>
#include <webp/demux.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "render/png_image.h"
#include "tests/render/still_scene.h"
#include "tests/support/posix_child_process.h"
#include "tests/support/posix_temporary_folder.h"
#include "tools/snapshot/scene_snapshot.h"

using velmora_render_test::Frame;
using velmora_render_test::StillScene;

namespace {

struct Decoded {
    int width = 0;
    int height = 0;
    int loops = -1;
    std::vector<std::vector<std::uint8_t>> frames; // RGBA canvases, as shown
    std::vector<int> durations;                    // milliseconds
};

// Decodes with libwebp's demuxer and animation decoder; empty on failure.
Decoded Decode(const std::string& bytes)
{
    Decoded result;
    const WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, nullptr);
    if (decoder == nullptr) {
        return result;
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    result.width = static_cast<int>(info.canvas_width);
    result.height = static_cast<int>(info.canvas_height);
    result.loops = static_cast<int>(info.loop_count);
    const std::size_t size = static_cast<std::size_t>(result.width) * result.height * 4;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder, &canvas, &timestamp)) {
            break;
        }
        result.frames.emplace_back(canvas, canvas + size);
    }
    WebPIterator frame;
    const WebPDemuxer* demuxer = WebPAnimDecoderGetDemuxer(decoder);
    if (WebPDemuxGetFrame(demuxer, 1, &frame)) {
        do {
            result.durations.push_back(frame.duration);
        } while (WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
    }
    WebPAnimDecoderDelete(decoder);
    return result;
}

class SnapshotFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.Path().empty()) << "cannot make a temporary folder"; }

    std::string PathOf(const char* name) const { return folder.PathOf(name); }

    static SnapshotOptions SmallRecording(const std::string& output)
    {
        SnapshotOptions options;
        options.width = 160;
        options.height = 120;
        options.seeded = true;
        options.seed = 7;
        options.cycles = 40;
        options.frames = 5;
        options.every = 3;
        options.timeFixed = true;
        options.hours = 10;
        options.minutes = 9;
        options.output = output;
        options.format = PictureFormat::WebP;
        return options;
    }

    // Runs the tool with only `variables` (and the sanitizer runs' options) in
    // its environment; its exit code, and its standard error in `errors`.
    std::optional<int> RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& variables,
                               std::string& errors) const
    {
        std::vector<std::string> environment = velmora_test::EnvironmentOnly(velmora_test::kSanitizerVariables);
        environment.insert(environment.end(), variables.begin(), variables.end());
        std::vector<std::string> words{VELMORA_SNAPSHOT_TOOL};
        words.insert(words.end(), arguments.begin(), arguments.end());
        velmora_test::ChildProcess::Streams streams;
        streams.errors = PathOf("errors.txt");
        velmora_test::ChildProcess tool(words, environment, streams);
        const std::optional<int> exit = tool.WaitExit(std::chrono::minutes(2));
        errors = velmora_test::ReadFile(streams.errors);
        return exit;
    }

    velmora_test::TemporaryFolder folder{"velmora-snapshot"};
};

} // namespace

TEST_F(SnapshotFile, PictureIsOpaqueAndItsStreaksDarkerThanWhatLiesBehindThem)
{
    StillScene scene(320, 240);
    // Dim streaks over the sky and the ground: blended, they darken what is behind.
    scene.AddStreak(Vector2(-0.5, 0.6), Vector2(-0.5, 0.25), 0.18);
    scene.AddStreak(Vector2(0.2, -0.2), Vector2(0.2, -0.6), 0.0);
    scene.AddDrop(-0.3, -0.4, 0.03);
    const Frame drawn = scene.Draw();
    const std::string path = PathOf("still.png");
    ASSERT_EQ(WritePng(path, drawn.width, drawn.height, drawn.pixels), "");

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> read(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr));
    std::size_t seeThrough = 0;
    for (std::size_t i = 3; i < read.size(); i += 4) {
        seeThrough += read[i] != 255 ? 1 : 0;
    }
    EXPECT_EQ(seeThrough, 0u) << "pixels that let the page show through";
    // As a viewer shows it on a white page.
    std::vector<std::uint8_t> shown(read);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int alpha = read[i | 3];
        shown[i] = static_cast<std::uint8_t>((read[i] * alpha + 255 * (255 - alpha)) / 255);
    }
    const Frame frame(static_cast<int>(image.width), static_cast<int>(image.height), shown);
    for (double x : {-0.5, 0.2}) {
        for (double t = 0.1; t < 0.9; t += 0.1) {
            const double y = x < 0 ? 0.6 - 0.35 * t : -0.2 - 0.4 * t;
            int px = 0;
            int py = 0;
            frame.Project(x, y, 0.0, px, py);
            int streak = 255;
            for (int dx = -1; dx <= 1; ++dx) {
                streak = std::min(streak, frame.At(px + dx, py).Grey());
            }
            EXPECT_LT(streak, frame.At(px + 5, py).Grey()) << x << ", " << y;
        }
    }
}

TEST_F(SnapshotFile, RecordingGivesTheAskedFramesAndTheSameBytesForTheSameOptions)
{
    ASSERT_EQ(WriteSnapshot(SmallRecording(PathOf("a.webp"))), "");
    long reported = 0;
    ASSERT_EQ(WriteSnapshot(SmallRecording(PathOf("b.webp")),
                            [&](long done, long all) {
                                EXPECT_EQ(done, reported + 1);
                                EXPECT_EQ(all, 5);
                                reported = done;
                            }),
              "");
    EXPECT_EQ(reported, 5);
    const std::string bytes = velmora_test::ReadFile(PathOf("a.webp"));
    EXPECT_EQ(bytes, velmora_test::ReadFile(PathOf("b.webp")));

    const Decoded recording = Decode(bytes);
    EXPECT_EQ(recording.width, 160);
    EXPECT_EQ(recording.height, 120);
    EXPECT_EQ(recording.loops, 0) << "it should loop for ever";
    ASSERT_EQ(recording.frames.size(), 5u);
    EXPECT_EQ(recording.durations, std::vector<int>(5, 90));
    for (std::size_t i = 1; i < recording.frames.size(); ++i) {
        EXPECT_NE(recording.frames[i], recording.frames[i - 1]) << "frame " << i << " repeats the one before";
    }
}

TEST(SnapshotClock, AdvancesWithTheCyclesInWholeSecondsAndIntoTheNextDay)
{
    const auto same = [](NS_LocalTime::Reading a, NS_LocalTime::Reading b) {
        return a.hours == b.hours && a.minutes == b.minutes && a.seconds == b.seconds;
    };
    EXPECT_TRUE(same(ClockAfter({10, 9, 0}, 33), {10, 9, 0})); // 990 ms
    EXPECT_TRUE(same(ClockAfter({10, 9, 0}, 34), {10, 9, 1}));
    EXPECT_TRUE(same(ClockAfter({10, 59, 30}, 1000), {11, 0, 0}));
    EXPECT_TRUE(same(ClockAfter({23, 59, 59}, 34), {0, 0, 0}));
    EXPECT_TRUE(same(ClockAfter({0, 0, 0}, 2880000), {0, 0, 0})); // a day
}

TEST_F(SnapshotFile, UnwritablePathFailsBeforeAnythingIsDrawn)
{
    SnapshotOptions options = SmallRecording(PathOf("missing/clip.webp"));
    options.cycles = 10000000; // would take hours if it were drawn
    const std::string failed = WriteSnapshot(options);
    EXPECT_EQ(failed.rfind("cannot write " + options.output, 0), 0u) << failed;
    EXPECT_FALSE(std::filesystem::exists(options.output));
}

// What an offscreen picture needs and a machine may lack, each provoked for
// real: GLVND finding no EGL driver, a device number beyond the machine's, a
// renderer made to offer only the core profile, and a framebuffer larger than
// the renderer draws. Each is one line naming it, and no file.
TEST_F(SnapshotFile, MissingOpenGLIsOneLineAndLeavesNoFile)
{
    const std::string picture = PathOf("never.png");
    const std::vector<std::string> small{"--size", "64x48", "--cycles", "2", picture};
    const auto withDevice = [&](const char* device) {
        std::vector<std::string> arguments{"--device", device};
        arguments.insert(arguments.end(), small.begin(), small.end());
        return arguments;
    };
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> variables;
        const char* named;
    } failures[] = {
        {small, {"__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent"}, "no EGL driver is installed"},
        {withDevice("999"), {}, "there is no EGL device 999"},
        {small, {"MESA_GL_VERSION_OVERRIDE=4.5FC"}, "only a core-profile OpenGL context"},
    };
    for (const auto& failure : failures) {
        std::string errors;
        EXPECT_EQ(RunTool(failure.arguments, failure.variables, errors), std::optional<int>(1)) << failure.named;
        EXPECT_EQ(errors.rfind("velmora-snapshot: ", 0), 0u) << errors;
        EXPECT_NE(errors.find(failure.named), std::string::npos) << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << "more than one line: " << errors;
        EXPECT_FALSE(std::filesystem::exists(picture)) << failure.named;
    }

    // The tool allows no such size: the writer is asked directly.
    SnapshotOptions tooLarge = SmallRecording(picture);
    tooLarge.format = PictureFormat::Png;
    tooLarge.frames = 1;
    tooLarge.width = 100000;
    const std::string failed = WriteSnapshot(tooLarge);
    EXPECT_NE(failed.find("cannot make a 100000x120 framebuffer: it draws at most"), std::string::npos) << failed;
    EXPECT_FALSE(std::filesystem::exists(picture));

    // Device 0 exists wherever Mesa's EGL does: the software renderer, or a card.
    std::string errors;
    EXPECT_EQ(RunTool(withDevice("0"), {}, errors), std::optional<int>(0)) << errors;
    EXPECT_EQ(errors.rfind("velmora-snapshot: drawn by ", 0), 0u) << errors;
    EXPECT_TRUE(std::filesystem::exists(picture));
}

// The clip that `make run` records where there is no display, through the same
// script, with the tool of this build and no DISPLAY in its environment.
TEST_F(SnapshotFile, RunWithoutADisplayRecordsAPlayableClipAndSaysWhere)
{
    const std::string clip = PathOf("build/velmora.webp");
    const char* path = std::getenv("PATH");
    // Of the caller's environment only the sanitizer runs' options go along,
    // for the tool of a sanitizer build.
    std::vector<std::string> environment = velmora_test::EnvironmentOnly(velmora_test::kSanitizerVariables);
    environment.push_back(std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"));
    velmora_test::ChildProcess::Streams streams;
    streams.output = PathOf("said.txt");
    streams.errors = PathOf("complained.txt");
    velmora_test::ChildProcess run(
        {std::string(VELMORA_SOURCE_DIR) + "/scripts/record-clip", VELMORA_SNAPSHOT_TOOL, clip}, environment, streams);
    ASSERT_TRUE(run.Started());
    const std::optional<int> exit = run.WaitExit(std::chrono::minutes(4));
    const std::string saying = velmora_test::ReadFile(streams.output);
    const std::string complaint = velmora_test::ReadFile(streams.errors);
    ASSERT_EQ(exit, std::optional<int>(0)) << saying << complaint;
    EXPECT_NE(saying.find(clip), std::string::npos) << saying;
    // By default Mesa's software renderer draws, whatever the machine has.
    EXPECT_EQ(complaint.rfind("velmora-snapshot: drawn by ", 0), 0u) << complaint;
    EXPECT_TRUE(complaint.find("llvmpipe") != std::string::npos || complaint.find("softpipe") != std::string::npos)
        << complaint;
    EXPECT_NE(saying.find("velmora --window"), std::string::npos) << saying;

    const Decoded recording = Decode(velmora_test::ReadFile(clip));
    EXPECT_EQ(recording.width, 640);
    EXPECT_EQ(recording.height, 480);
    EXPECT_GT(recording.frames.size(), 30u);
    EXPECT_EQ(recording.durations, std::vector<int>(recording.frames.size(), 30));
}
