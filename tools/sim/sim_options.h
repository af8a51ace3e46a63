// The headless runner's command line, parsed by a plain function so that the
// rules can be tested without running the tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SimOptions {
    std::uint32_t seed = 1;
    std::uint64_t cycles = 2000;
    std::uint64_t every = 0; // print the figures every so many cycles; 0: only the summary
    bool help = false;
};

// Empty when the arguments are good; otherwise what is wrong, for the user.
std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options);

std::string SimUsage();
