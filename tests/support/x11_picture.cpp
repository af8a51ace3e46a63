#include "tests/support/x11_picture.h"

#include <X11/Xutil.h>

#include <string>

#include "tests/support/wait_until.h"

namespace velmora_test {

Picture Capture(Display* display, Window window)
{
    Picture picture;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
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

bool WaitForAnimation(Display* display, Window window, std::chrono::milliseconds timeout, std::string* why)
{
    Picture first;
    return WaitUntil(timeout, std::chrono::milliseconds(250), [&] {
        Picture now = Capture(display, window);
        if (now.DistinctColours() < kSceneColours) {
            first = Picture{};
        } else if (first.pixels.empty()) {
            first = std::move(now);
        } else if (now.width == first.width && now.height == first.height && now.DifferingPixels(first) > 0) {
            return true;
        }
        if (why != nullptr)
            *why = "the window shows " + std::to_string(now.DistinctColours()) + " colours at " +
                   std::to_string(now.width) + "x" + std::to_string(now.height) +
                   (first.pixels.empty() ? ", not the scene" : ", the same picture each time");
        return false;
    });
}

} // namespace velmora_test
