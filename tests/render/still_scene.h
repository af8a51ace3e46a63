// A scene for looking at frames: the real Loader beside "Drop" and "Rain"
// handlers that keep values but never move them, so a test places exactly the
// drops and streaks it wants and draws them on an offscreen target.
#pragma once

#include <cmath>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "kernel/object.h"
#include "kernel/universe.h"
#include "render/egl_offscreen_draw_target.h"
#include "render/loader.h"
#include "render/local_time.h"
#include "scene/drop.h"
#include "scene/rain.h"
#include "scene/random.h"

namespace velmora_render_test {

template <typename Value> class StillHandler : public NS_AttributeHandler::ValueHandler<Value> {
public:
    StillHandler(NS_AttributeHandler::UniverseForHandler* owner, const wchar_t* handlerName)
        : NS_AttributeHandler::ValueHandler<Value>(owner)
    {
        this->name = handlerName;
    }
};

class StillModel : public NS_InitialModel::InitialModel {
public:
    void CreateHandlers(std::list<NS_AttributeHandler::AttributeHandler*>& out) override
    {
        loader = new Loader(universe);
        out.push_back(loader);
        drop = new StillHandler<Drop_value>(universe, L"Drop");
        out.push_back(drop);
        rain = new StillHandler<Rain_value>(universe, L"Rain");
        out.push_back(rain);
    }

    Loader* loader = nullptr;
    StillHandler<Drop_value>* drop = nullptr;
    StillHandler<Rain_value>* rain = nullptr;
};

// RGB of one pixel, 0..255.
struct Rgb {
    int r;
    int g;
    int b;
    int Grey() const { return (r + g + b) / 3; }
};

class Frame {
public:
    Frame(int frameWidth, int frameHeight, std::vector<std::uint8_t> topDown)
        : width(frameWidth), height(frameHeight), pixels(std::move(topDown))
    {
    }

    Rgb At(int x, int y) const
    {
        const std::uint8_t* p = pixels.data() + 4 * (static_cast<std::size_t>(y) * width + x);
        return Rgb{p[0], p[1], p[2]};
    }

    // The pixel that shows the world point (x, y, z) through the scene's camera.
    Rgb AtWorld(double x, double y, double z = 0.0) const
    {
        int px = 0;
        int py = 0;
        Project(x, y, z, px, py);
        return At(px, py);
    }

    void Project(double x, double y, double z, int& px, int& py) const
    {
        const double f = 1.0 / std::tan(10.5 * 3.14159265358979323846 / 180.0);
        const double distance = 4.0 - z;
        const double ndcX = f / 1.3333333 * x / distance;
        const double ndcY = f * y / distance;
        px = static_cast<int>((ndcX + 1.0) / 2.0 * width);
        py = static_cast<int>((1.0 - ndcY) / 2.0 * height);
        px = px < 0 ? 0 : (px >= width ? width - 1 : px);
        py = py < 0 ? 0 : (py >= height ? height - 1 : py);
    }

    // The darkest grey within `radius` pixels of the world point.
    int DarkestNear(double x, double y, double z, int radius) const
    {
        int cx = 0;
        int cy = 0;
        Project(x, y, z, cx, cy);
        int darkest = 255;
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                const int px = cx + dx;
                const int py = cy + dy;
                if (px >= 0 && py >= 0 && px < width && py < height) {
                    const int grey = At(px, py).Grey();
                    darkest = grey < darkest ? grey : darkest;
                }
            }
        }
        return darkest;
    }

    int width;
    int height;
    std::vector<std::uint8_t> pixels;
};

// An unpaced universe of the still scene on its own offscreen target, drawn
// on the calling thread. Its clock shows a fixed time: with the real one, the
// minute hand moves between two frames whenever a second passes.
class StillScene {
public:
    explicit StillScene(int width = 1024, int height = 768, std::uint32_t seed = 1,
                        NS_LocalTime::Reading clock = {10, 10, 0})
        : target(width, height)
    {
        NS_LocalTime::FixTime(clock);
        target.Install();
        SeedRandom(seed);
        universe = std::make_unique<NS_Universe::Universe>(&model, NS_Universe::Unpaced{});
        universe->InitHandlers();
    }

    NS_ObjectIndex::ObjectIndex AddDrop(double x, double y, double radius)
    {
        const NS_ObjectIndex::ObjectIndex object = universe->CreateObject()->self;
        model.drop->Attach(object);
        Drop_value value = *model.drop->GetTyped(object);
        value.position = Vector3(x, y, 0.0);
        value.radius = radius;
        model.drop->SetValue(object, &value);
        return object;
    }

    NS_ObjectIndex::ObjectIndex AddStreak(Vector2 start, Vector2 end, double brightness)
    {
        const NS_ObjectIndex::ObjectIndex object = universe->CreateObject()->self;
        model.rain->Attach(object);
        Rain_value value;
        value.start = start;
        value.end = end;
        value.brightness = brightness;
        model.rain->SetValue(object, &value);
        return object;
    }

    ~StillScene() { NS_LocalTime::ReleaseFixedTime(); }

    Frame Draw()
    {
        universe->DispatchEvents();
        universe->RunCycle(FILETIME{0, 1});
        return Frame(target.Width(), target.Height(), target.TopDownPixels());
    }

    NS_EglOffscreen::Offscreen target;
    StillModel model;
    std::unique_ptr<NS_Universe::Universe> universe;
};

} // namespace velmora_render_test
