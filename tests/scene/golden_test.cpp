#include <gtest/gtest.h>

#include "tests/scene/golden_checksums.h"

TEST(SceneGolden, EveryCheckpointOfEverySeedGivesItsExpectedChecksum)
{
    for (const std::string& mismatch : GoldenMismatches()) {
        ADD_FAILURE() << mismatch;
    }
}
