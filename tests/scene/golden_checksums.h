// The scene's checksum after chosen cycles, for several seeds, as every build
// must reproduce them bit for bit. Seed 19109 starts the rain at a slant where
// the C library's sine and cosine differ from the portable ones in the last bit.
#pragma once

#include <string>
#include <vector>

// One line per checkpoint whose checksum differs from the expected one (or
// where the run threw); empty when the build reproduces them all.
std::vector<std::string> GoldenMismatches();
