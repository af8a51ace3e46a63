#include <gtest/gtest.h>

#include "tools/sim/sim_options.h"

namespace {

TEST(SimOptions, ReadsSeedCyclesAndEvery)
{
    SimOptions options;
    EXPECT_EQ(ParseSimOptions({"--seed", "4294967295", "--cycles", "120000", "--every", "100"}, options), "");
    EXPECT_EQ(options.seed, 4294967295u);
    EXPECT_EQ(options.cycles, 120000u);
    EXPECT_EQ(options.every, 100u);
    EXPECT_FALSE(options.help);

    SimOptions defaults;
    EXPECT_EQ(ParseSimOptions({}, defaults), "");
    EXPECT_EQ(defaults.seed, 1u);
    EXPECT_EQ(defaults.every, 0u);
    EXPECT_EQ(ParseSimOptions({"--help"}, defaults), "");
    EXPECT_TRUE(defaults.help);
}

TEST(SimOptions, RefusesWhatIsNotAPlainNumberInRange)
{
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--seed", "4294967296"},
             {"--seed", "-1"},
             {"--seed", "12x"},
             {"--seed", ""},
             {"--seed", " 5"},
             {"--cycles", "18446744073709551616"},
             {"--cycles", "0x10"},
             {"--cycles"},
             {"--speed", "3"},
             {"5"},
         }) {
        SimOptions options;
        EXPECT_NE(ParseSimOptions(bad, options), "") << bad[0];
    }
    SimOptions options;
    EXPECT_EQ(ParseSimOptions({"--cycles", "18446744073709551615"}, options), "");
    EXPECT_EQ(options.cycles, 18446744073709551615ull);
}

} // namespace
