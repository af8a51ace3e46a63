#include "scene/rain.h"

#include <cmath>
#include <memory>
#include <vector>

#include "kernel/object.h"
#include "scene/portable_math.h"
#include "scene/random.h"

Rain_value::~Rain_value() = default;

Rain::Rain(NS_AttributeHandler::UniverseForHandler* owner) : ValueHandler(owner), streaks(objects)
{
    name = L"Rain";
    SetAngle(0.6 * RandomUnit() - 0.3);
}

Rain::~Rain()
{
    objects.clear();
}

void Rain::SetAngle(double slant)
{
    angle = slant;
    const double s = PortableSin(angle);
    // Wide enough that slanted streaks still cover the whole view.
    xMin = -1.0 - 1.5 * std::fabs(s);
    xMax = 1.5 * std::fabs(s) + 1.0;
    direction = Vector2(s, -PortableCos(angle));
}

void Rain::Attach(const NS_ObjectIndex::ObjectIndex& reference)
{
    auto streak = std::make_unique<Rain_value>();
    const double x = xMin + RandomUnit() * (xMax - xMin);
    streak->start = Vector2(x, 1.0);
    streak->end = Vector2(x, 1.0);
    // One factor for look and motion, so that brighter streaks are also faster
    // and longer; as the reciprocal of a uniform draw, dim ones are the rule.
    const double k = 1.0 / ((400.0 * RandomUnit() + 7.0) + 10.0);
    streak->brightness = 3.0 * k;
    streak->speed = 20.0 * k;
    streak->length = 6.0 * k;
    // Into the set first, so that nothing can fail after the value is on the
    // object; taken out again when attaching fails.
    const auto placed = objects.insert(reference);
    try {
        AttachValue(reference, streak.release());
    } catch (...) {
        if (placed.second) {
            objects.erase(placed.first);
        }
        throw;
    }
}

void Rain::Handle(const NS_Events::Event& event)
{
    if (event.kind == NS_Events::Tick) {
        RunTick();
    }
}

void Rain::RunTick()
{
    for (int attempt = 0; attempt < kBirthAttempts; ++attempt) {
        if (objects.size() >= kStreakLimit) {
            break;
        }
        NS_Object::Object* created = universe->CreateObject();
        const NS_ObjectIndex::ObjectIndex reference = created->self;
        Attach(reference);
    }

    // Moved in place: nobody listens for changes of a streak, so no Changed is sent.
    std::vector<NS_ObjectIndex::ObjectIndex> marked;
    for (const NS_ObjectIndex::ObjectIndex& reference : objects) {
        // Only Attach puts a "Rain" attribute on an object, always with a Rain_value.
        auto* streak = static_cast<Rain_value*>(FindOwnAttribute(reference)->value);
        streak->start += direction * streak->speed;
        streak->end = streak->start + direction * streak->length;
        if (streak->start.y < kRemovalLine) {
            marked.push_back(reference);
        }
    }
    for (const NS_ObjectIndex::ObjectIndex& reference : marked) {
        universe->DestroyObject(reference);
    }
}
