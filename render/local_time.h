// The time that the clock shows. The saver always shows the real local time;
// tests and the snapshot tool may fix it through the one seam below.
#pragma once

namespace NS_LocalTime {

struct Reading {
    int hours = 0; // 0..23
    int minutes = 0;
    int seconds = 0;
};

// The fixed reading when one is set, else the real local time.
Reading Now();

// Shows this reading instead of the real time until ReleaseFixedTime. Set it
// before the engine starts; the saver itself never calls this.
void FixTime(const Reading& reading);
void ReleaseFixedTime();

// The calendar time broken down in the local zone (time, then a thread-safe
// localtime); one implementation per platform.
Reading SystemLocalTime();

} // namespace NS_LocalTime
