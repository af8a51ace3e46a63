// The falling rain: straight streaks at one common slant, each an object carrying
// a "Rain" attribute whose Rain_value holds its two end points and its look. The
// Rain handler starts streaks at the top, moves them and removes them below.
#pragma once

#include "attributes/value_handler.h"
#include "scene/vector.h"

class Rain_value : public NS_Attribute::AttributeValue {
public:
    Rain_value() = default;
    Rain_value(const Rain_value&) = default;
    Rain_value& operator=(const Rain_value&) = default;
    ~Rain_value() override;

    // Drawn by the renderer as a line from start to end; the scene never calls it.
    void Draw() const;

    Vector2 start;           // the upper end, the point that moves
    Vector2 end;             // start + direction × length, recomputed every tick
    double brightness = 0.0; // grey level; alpha is brightness + 0.2
    double length = 0.0;
    double speed = 0.0; // pane units per tick
};

class Rain : public NS_AttributeHandler::ValueHandler<Rain_value> {
public:
    // Draws the slant (one RandomUnit), so it runs after the host has seeded.
    explicit Rain(NS_AttributeHandler::UniverseForHandler* owner);
    ~Rain() override;

    // Starts a new streak at the top, at a random x of [xMin, xMax].
    void Attach(const NS_ObjectIndex::ObjectIndex& reference) override;
    void Handle(const NS_Events::Event& event) override;

    // Sets the slant and what follows from it (the start range and direction);
    // the constructor uses it with a random slant, tools and tests with a chosen one.
    void SetAngle(double slant);

    double Angle() const { return angle; }
    double XMin() const { return xMin; }
    double XMax() const { return xMax; }
    const Vector2& Direction() const { return direction; }

    static constexpr std::size_t kStreakLimit = 200;
    static constexpr int kBirthAttempts = 20;
    static constexpr double kRemovalLine = -0.8;

    // The objects that carry a "Rain" value, in stamp order.
    const ObjectSet& streaks;

private:
    void RunTick();

    double angle = 0.0; // radians; 0 falls straight down, positive leans toward +x
    double xMin = 0.0;
    double xMax = 0.0;
    Vector2 direction; // unit vector of fall: (sin angle, −cos angle)
};
