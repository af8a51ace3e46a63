// A looping animated WebP, fed one frame at a time (libwebp's animation
// encoder): each frame is compressed as it comes, so memory holds the
// compressed recording and a few frames, never every frame drawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WebPAnimEncoder;

class WebPRecording {
public:
    // Every frame is width x height and lasts frameMilliseconds. Lossy at a
    // quality (0 to 100) that keeps the scene's thin streaks.
    WebPRecording(int width, int height, int frameMilliseconds, float quality = 80.0f);
    WebPRecording(const WebPRecording&) = delete;
    WebPRecording& operator=(const WebPRecording&) = delete;
    ~WebPRecording();

    // rgba holds width x height pixels, top row first; the alpha bytes are
    // ignored: the frames are opaque. Returns an empty string on success, else
    // what went wrong.
    std::string Add(const std::vector<std::uint8_t>& rgba);

    // Ends the recording and writes it to path. A recording of one frame is a
    // still WebP picture.
    std::string Write(const std::string& path);

    int FramesAdded() const { return frames; }

private:
    std::string EncoderError(const char* doing) const;

    WebPAnimEncoder* encoder = nullptr;
    int width;
    int height;
    int frameMilliseconds;
    float quality;
    int frames = 0;
};
