// Makes the saver's artwork: the icon (a rainy pane with a drop and the clock,
// 32 x 32 in 16 and in 256 colours) and the configure dialog's picture, a
// frame of the scene itself written by velmora-snapshot, turned into a BMP.
//
//   velmora-artwork icon velmora.ico
//   velmora-artwork bitmap scene.png about.bmp [shrink]
//
// The scene is rendered larger than the picture and shrunk by averaging, so
// that its thin streaks and the clock's hands stay visible.
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr int kIconSize = 32;

// The picture, in full colour; transparency is not used (the icon is a square pane).
std::vector<Rgb> DrawIcon()
{
    std::vector<Rgb> pixels(kIconSize * kIconSize);
    auto blend = [&](int x, int y, Rgb c, double a) {
        if (x < 0 || y < 0 || x >= kIconSize || y >= kIconSize || a <= 0) {
            return;
        }
        a = a > 1 ? 1 : a;
        Rgb& p = pixels[y * kIconSize + x];
        p.r = static_cast<std::uint8_t>(p.r + (c.r - p.r) * a);
        p.g = static_cast<std::uint8_t>(p.g + (c.g - p.g) * a);
        p.b = static_cast<std::uint8_t>(p.b + (c.b - p.b) * a);
    };
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            // Sky gradient above a dark ground, the horizon at two thirds.
            double t = y / double(kIconSize - 1);
            Rgb c = y < 21 ? Rgb{static_cast<std::uint8_t>(40 + 50 * t), static_cast<std::uint8_t>(60 + 60 * t),
                                 static_cast<std::uint8_t>(110 + 50 * t)}
                           : Rgb{20, 26, 30};
            if (y >= 20 && y <= 22) {
                c = Rgb{60, 70, 70};
            }
            pixels[y * kIconSize + x] = c;
        }
    }
    // Slanted streaks.
    const int streaks[][3] = {{3, 1, 8}, {11, 4, 7}, {20, 0, 6}, {6, 14, 7}, {15, 17, 8}, {25, 12, 6}};
    for (const auto& s : streaks) {
        for (int i = 0; i < s[2]; ++i) {
            blend(s[0] + i / 3, s[1] + i, Rgb{200, 210, 230}, 0.6);
        }
    }
    // A drop on the pane, lit from the upper left.
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            double dx = x - 11.5, dy = (y - 22.0) * 0.85;
            double d = std::sqrt(dx * dx + dy * dy);
            blend(x, y, Rgb{150, 200, 255}, 5.5 - d);
            double hx = x - 10.0, hy = y - 20.0;
            blend(x, y, Rgb{255, 255, 255}, 1.6 - std::sqrt(hx * hx + hy * hy));
        }
    }
    // The clock at the upper right: a pale ring, two hands.
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            double d = std::hypot(x - 24.5, y - 7.5);
            blend(x, y, Rgb{235, 235, 220}, 1.0 - std::fabs(d - 5.5));
        }
    }
    for (int i = 0; i <= 4; ++i) {
        blend(24, 7 - i, Rgb{255, 255, 240}, 1);
        blend(24 + i * 3 / 4, 7 + i * 2 / 4, Rgb{255, 255, 240}, 1);
    }
    return pixels;
}

std::vector<Rgb> Palette16()
{
    return {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
            {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
}

std::vector<Rgb> Palette256()
{
    std::vector<Rgb> palette = Palette16();
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                palette.push_back(Rgb{static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                                      static_cast<std::uint8_t>(b * 51)});
            }
        }
    }
    while (palette.size() < 256) {
        auto v = static_cast<std::uint8_t>(8 + (palette.size() - 232) * 10);
        palette.push_back(Rgb{v, v, v});
    }
    return palette;
}

int Nearest(const std::vector<Rgb>& palette, Rgb c)
{
    int best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        long dr = c.r - palette[i].r, dg = c.g - palette[i].g, db = c.b - palette[i].b;
        long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
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

// One icon image: BITMAPINFOHEADER (double height for the mask), palette,
// colour rows bottom-up, then the all-opaque AND mask.
std::vector<std::uint8_t> IconImage(const std::vector<Rgb>& pixels, int bits)
{
    const std::vector<Rgb> palette = bits == 4 ? Palette16() : Palette256();
    const int rowBytes = (kIconSize * bits / 8 + 3) & ~3;
    const int maskRow = 4;
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, kIconSize);
    Put32(out, kIconSize * 2);
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(bits));
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>((rowBytes + maskRow) * kIconSize));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (const Rgb& c : palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = kIconSize - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < kIconSize; ++x) {
            int index = Nearest(palette, pixels[y * kIconSize + x]);
            if (bits == 8) {
                row[x] = static_cast<std::uint8_t>(index);
            } else {
                row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    out.insert(out.end(), static_cast<std::size_t>(maskRow * kIconSize), 0);
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
    const std::vector<Rgb> pixels = DrawIcon();
    const std::vector<std::uint8_t> images[] = {IconImage(pixels, 4), IconImage(pixels, 8)};
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, 2);
    std::uint32_t offset = 6 + 16 * 2;
    for (int i = 0; i < 2; ++i) {
        out.push_back(kIconSize);
        out.push_back(kIconSize);
        out.push_back(i == 0 ? 16 : 0);
        out.push_back(0);
        Put16(out, 1);
        Put16(out, i == 0 ? 4 : 8);
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
