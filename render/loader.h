// The scene's rendering handler "Loader": sets up OpenGL on the worker thread,
// follows the objects that carry a "Drop" or a "Rain" value and draws every
// frame (background, streaks, drops, clock) into the drawing target.
#pragma once

#include <cstdint>

#include "attributes/attribute_handler.h"
#include "render/local_time.h"

class Loader : public NS_AttributeHandler::AttributeHandler {
public:
    explicit Loader(NS_AttributeHandler::UniverseForHandler* owner);
    // Touches no OpenGL state: it runs after the worker, and its context, are gone.
    ~Loader() override;

    // Makes the target current on this thread, sets up camera, light, material
    // and blending, builds the four textures and subscribes to "Drop" and "Rain".
    void Init() override;
    // Attached and Detached keep the two sets; Render draws a frame.
    void Handle(const NS_Events::Event& event) override;

    void DrawFrame();
    void DrawClock();

    const ObjectSet& Drops() const { return drops; }
    const ObjectSet& Streaks() const { return streaks; }

private:
    ObjectSet drops;
    ObjectSet streaks;
    std::uint32_t backgroundTexture = 0;
    std::uint32_t hourHandTexture = 0;
    std::uint32_t minuteHandTexture = 0;
    std::uint32_t markTexture = 0;
};

// The hands' angles in radians, clockwise from straight up; each hand moves
// continuously with the next smaller unit.
double HourHandAngle(const NS_LocalTime::Reading& time);
double MinuteHandAngle(const NS_LocalTime::Reading& time);
