#include "tests/support/x11_picture.h"

#include <X11/Xutil.h>

#include <set>

namespace velmora_test {

std::size_t Picture::DistinctColours() const
{
    return std::set<std::uint32_t>(pixels.begin(), pixels.end()).size();
}

std::size_t Picture::DifferingPixels(const Picture& other) const
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < pixels.size() && i < other.pixels.size(); ++i)
        count += pixels[i] != other.pixels[i];
    return count;
}

Picture Capture(Display* display, Window window)
{
    Picture picture;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return picture;
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return picture;
    picture.width = attributes.width;
    picture.height = attributes.height;
    picture.pixels.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            picture.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    return picture;
}

} // namespace velmora_test
