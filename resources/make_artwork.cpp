// Makes the saver's artwork: the icon (a rainy pane with a drop and the clock,
// at 16, 24, 32, 48 and 256 pixels in 32-bit colour with alpha) and the
// configure dialog's picture, a frame of the scene itself written by
// velmora-snapshot, turned into a BMP.
//
//   velmora-artwork icon velmora.ico
//   velmora-artwork bitmap scene.png about.bmp [shrink]
//
// The scene is rendered larger than the picture and shrunk by averaging, so
// that its thin streaks and the clock's hands stay visible.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Colour with coverage, premultiplied, so that samples average correctly.
struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;
};

void Over(Rgba& p, double r, double g, double b, double a)
{
    a = std::clamp(a, 0.0, 1.0);
    p.r = r * a + p.r * (1 - a);
    p.g = g * a + p.g * (1 - a);
    p.b = b * a + p.b * (1 - a);
    p.a = a + p.a * (1 - a);
}

double SegmentDistance(double x, double y, double x0, double y0, double x1, double y1)
{
    const double dx = x1 - x0, dy = y1 - y0;
    const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - x0 - t * dx, y - y0 - t * dy);
}

// The picture at one point of the unit square (x right, y down): a framed
// pane with rounded corners, transparent outside, showing the sky over a dark
// ground, slanted streaks, a drop on the glass and the clock.
Rgba IconPoint(double x, double y)
{
    Rgba p;
    const double corner = 0.14, half = 0.47;
    const double qx = std::max(std::fabs(x - 0.5) - (half - corner), 0.0);
    const double qy = std::max(std::fabs(y - 0.5) - (half - corner), 0.0);
    if (std::hypot(qx, qy) > corner) {
        return p;
    }
    if (std::fabs(x - 0.5) > 0.41 || std::fabs(y - 0.5) > 0.41) {
        Over(p, 0.22, 0.24, 0.29, 1);
        return p;
    }
    const double horizon = 0.66;
    if (y < horizon - 0.03) {
        const double t = (y - 0.09) / (horizon - 0.09);
        Over(p, (40 + 50 * t) / 255, (60 + 60 * t) / 255, (110 + 50 * t) / 255, 1);
    } else if (y < horizon + 0.03) {
        Over(p, 0.24, 0.27, 0.27, 1);
    } else {
        Over(p, 0.08, 0.10, 0.12, 1);
    }
    const double streaks[][4] = {{0.14, 0.12, 0.22, 0.36}, {0.36, 0.14, 0.43, 0.35}, {0.62, 0.09, 0.67, 0.24},
                                 {0.21, 0.44, 0.28, 0.64}, {0.50, 0.52, 0.58, 0.76}, {0.78, 0.48, 0.84, 0.66}};
    for (const auto& s : streaks) {
        if (SegmentDistance(x, y, s[0], s[1], s[2], s[3]) < 0.016) {
            Over(p, 0.80, 0.84, 0.92, 0.6);
        }
    }
    // The drop, lit from the upper left, with a soft rim.
    const double d = std::hypot(x - 0.37, (y - 0.68) * 0.85) / 0.17;
    if (d < 1) {
        Over(p, 0.60, 0.78, 1.0, 0.85 * (1 - d * d * d * d) + 0.15);
        const double h = std::hypot(x - 0.32, y - 0.62) / 0.05;
        Over(p, 1, 1, 1, 1.2 - h);
    }
    // The clock at the upper right: a pale ring and two hands.
    const double cx = 0.74, cy = 0.27, radius = 0.15;
    if (std::fabs(std::hypot(x - cx, y - cy) - radius) < 0.025) {
        Over(p, 0.92, 0.92, 0.86, 1);
    }
    if (SegmentDistance(x, y, cx, cy, cx, cy - 0.11) < 0.02 ||
        SegmentDistance(x, y, cx, cy, cx + 0.07, cy + 0.04) < 0.024) {
        Over(p, 1, 1, 0.94, 1);
    }
    return p;
}

// Straight (not premultiplied) BGRA rows, top row first.
std::vector<std::uint8_t> DrawIcon(int size)
{
    constexpr int kSamples = 8; // per axis: smooth edges even at 16 pixels
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgba sum;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Rgba s = IconPoint((px + (sx + 0.5) / kSamples) / size, (py + (sy + 0.5) / kSamples) / size);
                    sum.r += s.r;
                    sum.g += s.g;
                    sum.b += s.b;
                    sum.a += s.a;
                }
            }
            const double a = sum.a / (kSamples * kSamples);
            auto channel = [&](double premultiplied) {
                return static_cast<std::uint8_t>(
                    std::lround(a > 0 ? 255 * std::clamp(premultiplied / sum.a, 0.0, 1.0) : 0.0));
            };
            std::uint8_t* out = &pixels[(static_cast<std::size_t>(py) * size + px) * 4];
            out[0] = channel(sum.b);
            out[1] = channel(sum.g);
            out[2] = channel(sum.r);
            out[3] = static_cast<std::uint8_t>(std::lround(255 * a));
        }
    }
    return pixels;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon image as a DIB: BITMAPINFOHEADER (double height for the mask),
// BGRA rows bottom-up, then the AND mask, set where the image is fully
// transparent for programs that ignore alpha.
std::vector<std::uint8_t> DibImage(const std::vector<std::uint8_t>& pixels, int size)
{
    const int maskRow = ((size + 31) / 32) * 4;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>((size * 4 + maskRow) * size));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = size - 1; y >= 0; --y) {
        const std::uint8_t* row = &pixels[static_cast<std::size_t>(y) * size * 4];
        out.insert(out.end(), row, row + size * 4);
    }
    for (int y = size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(maskRow), 0);
        for (int x = 0; x < size; ++x) {
            if (pixels[(static_cast<std::size_t>(y) * size + x) * 4 + 3] == 0) {
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// The 256-pixel image as PNG, which is how icons store their largest size.
std::vector<std::uint8_t> PngImage(const std::vector<std::uint8_t>& pixels, int size)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t bytes = 0;
    if (!png_image_write_get_memory_size(image, bytes, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    std::vector<std::uint8_t> out(bytes);
    if (!png_image_write_to_memory(&image, out.data(), &bytes, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    out.resize(bytes);
    return out;
}

bool WriteFile(const char* path, const std::vector<std::uint8_t>& bytes)
{
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

int MakeIcon(const char* path)
{
    const int sizes[] = {16, 24, 32, 48, 256};
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        const std::vector<std::uint8_t> pixels = DrawIcon(size);
        images.push_back(size == 256 ? PngImage(pixels, size) : DibImage(pixels, size));
        if (images.back().empty()) {
            std::fprintf(stderr, "cannot encode the %d-pixel image\n", size);
            return 1;
        }
    }
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(sizes[i] & 0xFF)); // 0 means 256
        out.push_back(static_cast<std::uint8_t>(sizes[i] & 0xFF));
        out.push_back(0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<std::uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        out.insert(out.end(), image.begin(), image.end());
    }
    return WriteFile(path, out) ? 0 : 1;
}

int PngToBmp(const char* input, const char* output, std::uint32_t shrink)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, input)) {
        std::fprintf(stderr, "cannot read %s\n", input);
        return 1;
    }
    image.format = PNG_FORMAT_BGR;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        std::fprintf(stderr, "cannot decode %s\n", input);
        return 1;
    }
    const std::uint32_t width = image.width / shrink, height = image.height / shrink;
    std::vector<std::uint8_t> small(static_cast<std::size_t>(width) * height * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                std::uint32_t sum = 0;
                for (std::uint32_t sy = 0; sy < shrink; ++sy) {
                    for (std::uint32_t sx = 0; sx < shrink; ++sx) {
                        sum += pixels[((y * shrink + sy) * image.width + x * shrink + sx) * 3 + c];
                    }
                }
                small[(y * width + x) * 3 + c] = static_cast<std::uint8_t>(sum / (shrink * shrink));
            }
        }
    }
    pixels.swap(small);
    const std::uint32_t rowBytes = (width * 3 + 3) & ~3u;
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + rowBytes * height);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, height);
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, rowBytes * height);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (std::uint32_t y = height; y-- > 0;) {
        const std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * width * 3;
        out.insert(out.end(), row, row + width * 3);
        out.insert(out.end(), rowBytes - width * 3, 0);
    }
    return WriteFile(output, out) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "icon") {
        return MakeIcon(argv[2]);
    }
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "bitmap") {
        const long shrink = argc == 5 ? std::strtol(argv[4], nullptr, 10) : 1;
        if (shrink >= 1 && shrink <= 16) {
            return PngToBmp(argv[2], argv[3], static_cast<std::uint32_t>(shrink));
        }
    }
    std::fprintf(stderr, "usage: velmora-artwork icon OUT.ico | bitmap IN.png OUT.bmp [SHRINK 1-16]\n");
    return 2;
}
