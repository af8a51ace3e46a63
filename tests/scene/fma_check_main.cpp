// The golden checksums again, from scene code compiled for a CPU with fused
// multiply-adds: the build's flags must keep the compiler from using them where
// they would change a result. Compiled without those instructions itself, so
// that it can say so on a CPU that lacks them.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/scene/golden_checksums.h"

int main()
{
    if (!__builtin_cpu_supports("fma")) {
        std::puts("this CPU has no fused multiply-add: the check was built but not run");
        return 77;
    }
    const std::vector<std::string> mismatches = GoldenMismatches();
    for (const std::string& mismatch : mismatches) {
        std::printf("%s\n", mismatch.c_str());
    }
    std::printf("%zu checkpoints differ\n", mismatches.size());
    return mismatches.empty() ? 0 : 1;
}
