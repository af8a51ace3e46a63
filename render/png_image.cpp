#include "render/png_image.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

struct FileCloser {
    std::FILE* file;
    ~FileCloser()
    {
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};

// libpng reports errors by longjmp; everything it touches here is plain data,
// so no destructor is skipped on the way back.
bool Encode(std::FILE* file, int width, int height, const std::vector<std::uint8_t>& rgba)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The rows stay RGBA in memory; libpng drops the fourth byte of each pixel.
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        png_write_row(png, rgba.data() + row * stride);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::string WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba)
{
    if (width < 1 || height < 1 || rgba.size() != static_cast<std::size_t>(width) * height * 4) {
        return "the picture's size does not match its pixels";
    }
    FileCloser out{std::fopen(path.c_str(), "wb")};
    if (out.file == nullptr) {
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    if (!Encode(out.file, width, height, rgba)) {
        return "libpng failed to encode " + path;
    }
    std::FILE* file = out.file;
    out.file = nullptr;
    if (std::fclose(file) != 0) {
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    return {};
}
