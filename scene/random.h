// The scene's one random source: a process-wide linear congruential generator of
// the program's own (never the C library's rand, whose sequence differs between
// platforms), so that one seed gives the same scene everywhere.
#pragma once

#include <cstdint>

// Sets the generator's state; the host seeds it from the clock before it builds a
// universe. Unseeded, the state is 1.
void SeedRandom(std::uint32_t seed);

// The next draw g (0..32767) as g / 32767: a double in [0, 1], both ends included.
double RandomUnit();

// The next raw 15-bit draw; RandomUnit is built on it.
std::uint32_t RandomDraw();

// The generator's current state, so that a caller can look ahead and come back.
std::uint32_t RandomState();
