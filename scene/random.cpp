#include "scene/random.h"

namespace {

// Not locked: only one thread draws at a time (the host's while it builds a
// universe, then the universe's worker until it stops).
std::uint32_t state = 1;

} // namespace

void SeedRandom(std::uint32_t seed)
{
    state = seed;
}

std::uint32_t RandomDraw()
{
    // Unsigned arithmetic wraps modulo 2^32, which is the generator's modulus.
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

double RandomUnit()
{
    return static_cast<double>(RandomDraw()) * (1.0 / 32767.0);
}

std::uint32_t RandomState()
{
    return state;
}
