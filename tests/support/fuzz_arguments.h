// For the command-line fuzzers: a fuzzer's bytes as a program's arguments, one
// argument per NUL-separated piece, so that every argument list can be reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora_fuzz {

inline std::vector<std::string> Arguments(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(static_cast<char>(data[i]));
        }
    }
    if (size == 0) {
        arguments.clear();
    }
    return arguments;
}

} // namespace velmora_fuzz
