// One rendered cycle of the real scene offscreen, through the kernel, beside a
// bare replay that issues the same OpenGL calls for the same scene state with
// no kernel in between; and the time from nothing to the first frame.
//
//   cmake --preset native-release && cmake --build --preset native-release --target velmora_render_bench
//   build/native-release/bench/velmora_render_bench [--device N] [benchmark options]
//
// It draws with Mesa's software renderer, or on EGL device N. The "kernel/bare"
// ratio is the figure to watch (goal: under 1.10). CPU is the whole process's:
// on the software renderer most of a frame is spent in its own threads.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/cycle.h"
#include "kernel/object.h"
#include "kernel/universe.h"
#include "render/background.h"
#include "render/clock_images.h"
#include "render/egl_offscreen_draw_target.h"
#include "render/gl.h"
#include "render/local_time.h"
#include "render/view_matrices.h"
#include "scene/drop.h"
#include "scene/headless_model.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "scene/scene_model.h"

namespace {

constexpr int kWarmCycles = 300; // enough for the drops and streaks to reach their steady numbers

NS_EglContext::DeviceChoice device; // --device N, else Mesa's software renderer

using NS_EglOffscreen::Offscreen;

FILETIME CycleTime(std::uint64_t cycle)
{
    const std::uint64_t ticks = 130000000000000000ull + cycle * NS_Universe::kCycleTimeUnits;
    return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

struct SceneState {
    std::vector<Drop_value> drops;
    std::vector<Rain_value> streaks;
};

SceneState Capture(NS_Universe::Universe& universe)
{
    SceneState state;
    auto* drop = static_cast<Drop*>(universe.GetHandler(L"Drop"));
    auto* rain = static_cast<Rain*>(universe.GetHandler(L"Rain"));
    for (const auto& reference : drop->Objects()) {
        state.drops.push_back(*drop->GetTyped(reference));
    }
    for (const auto& reference : rain->Objects()) {
        state.streaks.push_back(*rain->GetTyped(reference));
    }
    return state;
}

// The Loader's set-up and frame, written out flat.
class BareRenderer {
public:
    BareRenderer()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        MultiplyCurrentMatrix(PerspectiveMatrix(21.0, 1.3333333, 0.01, 8.0));
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        MultiplyCurrentMatrix(LookAtMatrix(0, 0, 4, 0, 0, 0, 0, 1, 0));
        const GLfloat white[4] = {1, 1, 1, 1};
        glLightfv(GL_LIGHT0, GL_AMBIENT, white);
        glLightfv(GL_LIGHT0, GL_SPECULAR, white);
        glEnable(GL_LIGHT0);
        const GLfloat body[4] = {0.15f, 0.15f, 0.16f, 0.2f};
        const GLfloat highlight[4] = {0.7f, 0.7f, 0.7f, 1.0f};
        glMaterialf(GL_FRONT, GL_SHININESS, 50.0f);
        glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, body);
        glMaterialfv(GL_FRONT, GL_SPECULAR, highlight);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        std::vector<float> texels(kBackgroundFloats);
        BuildBackground(texels.data());
        background = Texture(GL_RGB16, kBackgroundSize, kBackgroundSize, GL_RGB, GL_FLOAT, texels.data());
        hour = Texture(GL_ALPHA8, kHandImageWidth, kHandImageHeight, GL_ALPHA, GL_UNSIGNED_BYTE, hourHandImage);
        minute = Texture(GL_ALPHA8, kHandImageWidth, kHandImageHeight, GL_ALPHA, GL_UNSIGNED_BYTE, minuteHandImage);
        mark = Texture(GL_ALPHA8, kMarkImageSize, kMarkImageSize, GL_ALPHA, GL_UNSIGNED_BYTE, markImage);
        glEnable(GL_AUTO_NORMAL);
        glEnable(GL_DEPTH_TEST);
    }

    void Frame(const SceneState& state) const
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBindTexture(GL_TEXTURE_2D, background);
        glBegin(GL_QUADS);
        glTexCoord2d(0, 0);
        glVertex3d(-1, -0.75, -0.01);
        glTexCoord2d(0, 1);
        glVertex3d(-1, 0.75, -0.01);
        glTexCoord2d(1, 1);
        glVertex3d(1, 0.75, -0.01);
        glTexCoord2d(1, 0);
        glVertex3d(1, -0.75, -0.01);
        glEnd();
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_BLEND);
        for (const Rain_value& streak : state.streaks) {
            streak.Draw();
        }
        glDisable(GL_BLEND);
        glEnable(GL_LIGHTING);
        glEnable(GL_BLEND);
        for (const Drop_value& drop : state.drops) {
            drop.Draw();
        }
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        Clock();
        glFinish();
    }

private:
    static GLuint Texture(GLint internal, GLsizei w, GLsizei h, GLenum format, GLenum type, const void* data)
    {
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, internal, w, h, 0, format, type, data);
        return name;
    }

    static void Quad(double cx, double cy, double cz, double tx, double ty, double rx, double ry, double near,
                     double far, double half)
    {
        glBegin(GL_QUADS);
        glTexCoord2d(1, 1);
        glVertex3d(cx + near * rx - half * tx, cy + near * ry - half * ty, cz);
        glTexCoord2d(1, 0);
        glVertex3d(cx + far * rx - half * tx, cy + far * ry - half * ty, cz);
        glTexCoord2d(0, 0);
        glVertex3d(cx + far * rx + half * tx, cy + far * ry + half * ty, cz);
        glTexCoord2d(0, 1);
        glVertex3d(cx + near * rx + half * tx, cy + near * ry + half * ty, cz);
        glEnd();
    }

    void Clock() const
    {
        const double s = 0.15;
        glColor3d(0.2, 0.2, 0.2);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_TEXTURE_2D);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glEnable(GL_BLEND);
        glBindTexture(GL_TEXTURE_2D, mark);
        for (int i = 0; i < 12; ++i) {
            const double theta = i * 0.5235987666666666;
            Quad(0.64, 0.44, 0.5, std::cos(theta), -std::sin(theta), std::sin(theta), std::cos(theta), 0.875 * s, s,
                 0.0625 * s);
        }
        const NS_LocalTime::Reading now = NS_LocalTime::Now();
        const double angles[2] = {(now.minutes / 60.0 + now.hours) * 0.5235987666666666,
                                  (now.seconds / 60.0 + now.minutes) * 0.10471975333333333};
        const GLuint textures[2] = {hour, minute};
        for (int i = 0; i < 2; ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            Quad(0.64, 0.44, 0.5, std::cos(angles[i]), -std::sin(angles[i]), std::sin(angles[i]), std::cos(angles[i]),
                 -0.125 * s, 0.875 * s, 0.125 * s);
        }
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_DEPTH_TEST);
    }

    GLuint background = 0;
    GLuint hour = 0;
    GLuint minute = 0;
    GLuint mark = 0;
};

struct Sized {
    int width;
    int height;
};

void KernelCycle(benchmark::State& state)
{
    Offscreen target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), device);
    target.Install();
    SeedRandom(1234);
    NS_Universe::Universe universe(&sceneModel, NS_Universe::Unpaced{});
    universe.InitHandlers();
    std::uint64_t cycle = 0;
    for (; cycle < kWarmCycles; ++cycle) {
        universe.RunCycle(CycleTime(cycle));
    }
    const SceneState sample = Capture(universe);
    for (auto _ : state) {
        universe.RunCycle(CycleTime(cycle++));
    }
    state.counters["drops"] = static_cast<double>(sample.drops.size());
    state.counters["streaks"] = static_cast<double>(sample.streaks.size());
}

void BareFrame(benchmark::State& state)
{
    Offscreen target(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), device);
    target.Install();
    SeedRandom(1234);
    SceneState scene;
    {
        // The same seed and warm-up as KernelCycle, for the same scene state.
        NS_Universe::Universe universe(&sceneModel, NS_Universe::Unpaced{});
        universe.InitHandlers();
        for (std::uint64_t cycle = 0; cycle < kWarmCycles; ++cycle) {
            universe.RunCycle(CycleTime(cycle));
        }
        scene = Capture(universe);
    }
    target.Install();
    BareRenderer renderer;
    for (auto _ : state) {
        renderer.Frame(scene);
    }
    state.counters["drops"] = static_cast<double>(scene.drops.size());
    state.counters["streaks"] = static_cast<double>(scene.streaks.size());
}

// The scene's ticks alone, through the same kernel, with no Loader: what a
// kernel cycle costs beyond its frame is mostly this simulation, not the kernel.
void SimulationCycle(benchmark::State& state)
{
    SeedRandom(1234);
    HeadlessSceneModel model;
    NS_Universe::Universe universe(&model, NS_Universe::Unpaced{});
    universe.InitHandlers();
    std::uint64_t cycle = 0;
    for (; cycle < kWarmCycles; ++cycle) {
        universe.RunCycle(CycleTime(cycle));
    }
    for (auto _ : state) {
        universe.RunCycle(CycleTime(cycle++));
    }
}

// From an empty process state to the first presented frame: the offscreen
// context, the universe with its four handlers, Init (background, textures)
// and one cycle.
void StartUpToFirstFrame(benchmark::State& state)
{
    for (auto _ : state) {
        Offscreen target(1024, 768, device);
        target.Install();
        SeedRandom(99);
        NS_Universe::Universe universe(&sceneModel, NS_Universe::Unpaced{});
        universe.InitHandlers();
        universe.RunCycle(CycleTime(0));
        benchmark::DoNotOptimize(target.FramesPresented());
    }
}

// The same with the real paced engine: StartEngine until the worker presents.
void StartEngineToFirstFrame(benchmark::State& state)
{
    Offscreen target(1024, 768, device);
    target.Install();
    for (auto _ : state) {
        const std::uint64_t before = target.FramesPresented();
        StartEngine();
        while (target.FramesPresented() == before) {
        }
        state.PauseTiming();
        StopEngine();
        state.ResumeTiming();
    }
}

} // namespace

// Each frame size a screen commonly has, up to 4K.
void FrameSizes(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Args({1024, 768})->Args({1920, 1080})->Args({3840, 2160});
}

BENCHMARK(KernelCycle)->Apply(FrameSizes)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BareFrame)->Apply(FrameSizes)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(SimulationCycle)->Unit(benchmark::kMillisecond);
BENCHMARK(StartUpToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(20);
BENCHMARK(StartEngineToFirstFrame)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(20);

int main(int argc, char** argv)
{
    // --device N is ours; the rest are Google Benchmark's.
    std::vector<char*> arguments{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
            device.device = std::atoi(argv[++i]);
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 2;
    }
    try {
        const Offscreen probe(16, 16, device);
        benchmark::AddCustomContext("renderer", probe.Renderer() + ", OpenGL " + probe.Version());
    } catch (NS_EglOffscreen::Exception* failure) {
        std::fprintf(stderr, "render_bench: %s\n", failure != nullptr ? failure->what.c_str() : "out of memory");
        delete failure;
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
