#include "tools/snapshot/webp_recording.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct PictureFree {
    WebPPicture* picture;
    ~PictureFree() { WebPPictureFree(picture); }
};

struct DataClear {
    WebPData* data;
    ~DataClear() { WebPDataClear(data); }
};

} // namespace

WebPRecording::WebPRecording(int frameWidth, int frameHeight, int milliseconds, float frameQuality)
    : width(frameWidth), height(frameHeight), frameMilliseconds(milliseconds), quality(frameQuality)
{
    WebPAnimEncoderOptions options;
    if (WebPAnimEncoderOptionsInit(&options)) {
        options.anim_params.loop_count = 0; // for ever
        options.anim_params.bgcolor = 0xFF000000u;
        encoder = WebPAnimEncoderNew(width, height, &options);
    }
}

WebPRecording::~WebPRecording()
{
    WebPAnimEncoderDelete(encoder);
}

std::string WebPRecording::EncoderError(const char* doing) const
{
    const char* why = encoder != nullptr ? WebPAnimEncoderGetError(encoder) : nullptr;
    return std::string("libwebp failed to ") + doing + (why != nullptr && *why != '\0' ? std::string(": ") + why : "");
}

std::string WebPRecording::Add(const std::vector<std::uint8_t>& rgba)
{
    if (encoder == nullptr) {
        return "libwebp could not start an animation of " + std::to_string(width) + "x" + std::to_string(height);
    }
    if (rgba.size() != static_cast<std::size_t>(width) * height * 4) {
        return "the frame's size does not match the recording's";
    }
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        return "libwebp's version does not match its headers";
    }
    config.quality = quality;
    // The encoder's defaults already give the same bytes for the same frames;
    // one thread keeps it that way on every machine.
    config.thread_level = 0;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) {
        return "libwebp's version does not match its headers";
    }
    picture.width = width;
    picture.height = height;
    picture.use_argb = 1;
    PictureFree release{&picture};
    if (!WebPPictureImportRGBX(&picture, rgba.data(), width * 4)) {
        return "out of memory for a frame of " + std::to_string(width) + "x" + std::to_string(height);
    }
    if (!WebPAnimEncoderAdd(encoder, &picture, frames * frameMilliseconds, &config)) {
        return EncoderError("encode a frame");
    }
    ++frames;
    return {};
}

std::string WebPRecording::Write(const std::string& path)
{
    if (encoder == nullptr || frames == 0) {
        return "the recording has no frames";
    }
    // The end of the last frame: without it the last one would get the
    // duration of the one before it, and a single frame none at all.
    if (!WebPAnimEncoderAdd(encoder, nullptr, frames * frameMilliseconds, nullptr)) {
        return EncoderError("end the recording");
    }
    WebPData data;
    WebPDataInit(&data);
    DataClear release{&data};
    if (!WebPAnimEncoderAssemble(encoder, &data)) {
        return EncoderError("assemble the recording");
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    const bool written = std::fwrite(data.bytes, 1, data.size, file) == data.size;
    const int savedErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        return "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno);
    }
    return {};
}
