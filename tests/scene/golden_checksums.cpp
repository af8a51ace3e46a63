#include "tests/scene/golden_checksums.h"

#include <cinttypes>
#include <cstdio>
#include <exception>

#include "scene/headless_run.h"

namespace {

struct Checkpoint {
    std::uint32_t seed;
    std::uint64_t cycle;
    std::uint64_t checksum;
};

// Made by velmora-sim --every 1 on the native build; the Windows build under
// Wine and a build with fused multiply-adds available give the same.
const Checkpoint kCheckpoints[] = {
    {20240101, 1, 0x5ac52bcc4d34bd6bull},    {20240101, 2, 0xcfb01d17c1317263ull},
    {20240101, 3, 0xcf15022923ef480eull},    {20240101, 4, 0x03ce9b6c97288a8cull},
    {20240101, 5, 0x284571c7426ce0fcull},    {20240101, 10, 0xdeed09419902f0e8ull},
    {20240101, 20, 0x61a382b1f1c699f6ull},   {20240101, 50, 0x454fbdfd0c4eb71cull},
    {20240101, 100, 0x3320b3d796c3bfa8ull},  {20240101, 200, 0x14b763d845e711f7ull},
    {20240101, 300, 0x521cedaad43f4db3ull},  {20240101, 500, 0x2c54f41e9d850522ull},
    {20240101, 750, 0xc469dc5b61996b4eull},  {20240101, 1000, 0x15209cf128832bcaull},
    {20240101, 1500, 0x23f2cc9167757392ull}, {20240101, 2000, 0xc8db0c623ea523bcull},
    {20240101, 2500, 0xc3e29d9aca7eeff9ull}, {20240101, 3000, 0x24c628be5b81199aull},
    {1, 1, 0x8220b2689ddafd97ull},           {1, 2, 0xaa32d42da034b98bull},
    {1, 3, 0x8fbddbcdbf0efab4ull},           {1, 4, 0x4995ecd22e3e49e5ull},
    {1, 5, 0x6edac16709c2b271ull},           {1, 10, 0x7fe15d36b4d1feb6ull},
    {1, 20, 0xce83391dacaf9b5full},          {1, 50, 0x319e1c0d964c862cull},
    {1, 100, 0x0f7e16a1c1122b98ull},         {1, 200, 0x1dacc2f8a883083bull},
    {1, 300, 0x014d01495b6a13a4ull},         {1, 500, 0x4b2a7ef2060ace30ull},
    {1, 750, 0x89d22d855b89c4b4ull},         {1, 1000, 0x7850215db29369ddull},
    {1, 1500, 0xcc19288674fe3e15ull},        {1, 2000, 0x17a24d54c6b76f66ull},
    {99, 1, 0xf01beba188402517ull},          {99, 2, 0x4876a430d68167a8ull},
    {99, 3, 0xb91dca0d3107f718ull},          {99, 4, 0x718fc3bdab2f31eeull},
    {99, 5, 0x8bde36b9fbdaa52full},          {99, 10, 0xecac5f814edffcdfull},
    {99, 20, 0xf5b8729f6cbbdaa8ull},         {99, 50, 0xdc0e60124b1e780bull},
    {99, 100, 0x0533d055091f5407ull},        {99, 200, 0xa254a0a73e3d9aa1ull},
    {99, 300, 0x4d8b5e6bb73c770bull},        {99, 500, 0x415bc4b96b72401full},
    {99, 750, 0xbe29609c4d70e4c4ull},        {99, 1000, 0x565822e26150e1d9ull},
    {99, 1500, 0xaa29912606b4c423ull},       {99, 2000, 0x7e9422b5aa8becfdull},
    {19109, 1, 0xc874c3a08bb82d7dull},       {19109, 2, 0xff67f4db19ae95f2ull},
    {19109, 3, 0x7437aa59bcb1485cull},       {19109, 4, 0x68d6d17e62085591ull},
    {19109, 5, 0x6e4eae19c885d9adull},       {19109, 10, 0xcbb54c9a916db145ull},
    {19109, 20, 0x70be9839cdd3d487ull},      {19109, 50, 0x643b2bdd3ffb1a26ull},
    {19109, 100, 0x04a74ab037a063f1ull},     {19109, 200, 0x5bab4c0343e5a242ull},
    {19109, 300, 0x5c95471c6dc9f619ull},     {19109, 500, 0x9cc0b81bdcdb14bcull},
    {19109, 750, 0xf0e6a13854d380ddull},     {19109, 1000, 0x421198b9c61591d7ull},
    {19109, 1500, 0x5f24fa8d342b34cbull},    {19109, 2000, 0xfed3224c87487184ull},
    {11361, 1, 0x4399be94027bf84dull},       {11361, 2, 0xe020c7a0df3f16ceull},
    {11361, 3, 0x9ec27d35f98241e6ull},       {11361, 4, 0x5dd1760f780d8e16ull},
    {11361, 5, 0x70dfd9405b3125a7ull},       {11361, 10, 0x95e2213d41721eb0ull},
    {11361, 20, 0x4c1485a1b46314d2ull},      {11361, 50, 0x5e077d13505ef81aull},
    {11361, 100, 0xc4c5de7201b0226cull},     {11361, 200, 0x2923b5dae95b7f1aull},
    {11361, 300, 0x36cc9f87954e0d6cull},     {11361, 500, 0x54391efec3c2b1b5ull},
    {11361, 750, 0x94fc4189a8ddf536ull},     {11361, 1000, 0xd1b0fd6263b7d08eull},
    {11361, 1500, 0x5eb6090a0ff1887cull},    {11361, 2000, 0xd9b0c70dcafdd34aull},
};

} // namespace

std::vector<std::string> GoldenMismatches()
{
    std::vector<std::string> mismatches;
    const std::size_t count = sizeof kCheckpoints / sizeof kCheckpoints[0];
    for (std::size_t first = 0; first < count;) {
        const std::uint32_t seed = kCheckpoints[first].seed;
        try {
            HeadlessRun run(seed);
            std::uint64_t cycle = 0;
            for (; first < count && kCheckpoints[first].seed == seed; ++first) {
                run.RunCycles(kCheckpoints[first].cycle - cycle);
                cycle = kCheckpoints[first].cycle;
                const std::uint64_t got = run.Figures().checksum;
                if (got != kCheckpoints[first].checksum) {
                    char line[120];
                    std::snprintf(line, sizeof line,
                                  "seed %" PRIu32 " cycle %" PRIu64 ": %016" PRIx64 " instead of %016" PRIx64, seed,
                                  cycle, got, kCheckpoints[first].checksum);
                    mismatches.emplace_back(line);
                }
            }
        } catch (...) {
            mismatches.push_back("seed " + std::to_string(seed) + ": the scene threw");
            while (first < count && kCheckpoints[first].seed == seed) {
                ++first;
            }
        }
    }
    return mismatches;
}
