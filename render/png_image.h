// Writes a picture as an opaque RGB PNG file (libpng): the offscreen frames of
// the snapshot tool and of failing render tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgba holds width x height pixels, top row first; the alpha bytes are not
// written, since a screen shows none. Returns an empty string on success, else
// what went wrong (the file cannot be opened, libpng failed).
std::string WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba);
