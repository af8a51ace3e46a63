#include "tests/support/picture.h"

#include <algorithm>
#include <set>

namespace velmora_test {

std::size_t Picture::DistinctColours() const
{
    return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
}

std::size_t Picture::DistinctColours(int x, int y, int w, int h) const
{
    std::set<std::uint32_t> colours;
    for (int row = std::max(0, y); row < std::min(height, y + h); ++row)
        for (int column = std::max(0, x); column < std::min(width, x + w); ++column)
            colours.insert(pixels[static_cast<std::size_t>(row) * width + column]);
    return colours.size();
}

std::size_t Picture::DifferingPixels(const Picture& other) const
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < pixels.size() && i < other.pixels.size(); ++i)
        count += pixels[i] != other.pixels[i];
    return count;
}

} // namespace velmora_test
