#include "tools/demo-publisher/PngImage.h"

#include <cmath>
#include <zlib.h>

namespace {

void PutU32Big(std::string& out, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void Chunk(std::string& png, const char* type, const std::string& data) {
    PutU32Big(png, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    PutU32Big(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                               static_cast<uInt>(body.size()))));
}

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        double ca = (a >> shift) & 0xff, cb = (b >> shift) & 0xff;
        out |= static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    }
    return out;
}

}  // namespace

PngImage::PngImage(int width, int height)
    : width(width), height(height), pixels(static_cast<size_t>(width) * height * 3, 0) {}

void PngImage::Set(int x, int y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    size_t at = (static_cast<size_t>(y) * width + x) * 3;
    pixels[at] = (rgb >> 16) & 0xff;
    pixels[at + 1] = (rgb >> 8) & 0xff;
    pixels[at + 2] = rgb & 0xff;
}

std::string PngImage::Encode() const {
    std::string raw;
    raw.reserve(pixels.size() + height);
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(reinterpret_cast<const char*>(&pixels[static_cast<size_t>(y) * width * 3]),
                   static_cast<size_t>(width) * 3);
    }
    uLongf size = compressBound(raw.size());
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  raw.size(), 9) != Z_OK)
        return "";
    packed.resize(size);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    PutU32Big(header, static_cast<uint32_t>(width));
    PutU32Big(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", packed);
    Chunk(png, "IEND", "");
    return png;
}

PngImage PngImage::Banner(int width, int height, uint32_t a, uint32_t b, uint32_t seed) {
    PngImage image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Set(x, y, Mix(a, b, (0.7 * x / width + 0.3 * y / height) * 0.8));
    uint32_t x32 = seed | 1;
    for (int i = 0; i < width / 6; ++i) {
        x32 ^= x32 << 13;
        x32 ^= x32 >> 17;
        x32 ^= x32 << 5;
        image.Set(static_cast<int>(x32 % width), static_cast<int>((x32 >> 12) % (height / 2)), 0xfff6d8);
    }
    for (int layer = 0; layer < 3; ++layer) {
        uint32_t shade = Mix(a, 0x0b0f14, 0.45 + 0.2 * layer);
        double phase = seed % 17 + layer * 1.7;
        for (int x = 0; x < width; ++x) {
            double top = height * (0.55 + 0.12 * layer) +
                         height * 0.08 * std::sin(phase + x * (0.011 + 0.004 * layer));
            for (int y = static_cast<int>(top); y < height; ++y)
                image.Set(x, y, shade);
        }
    }
    return image;
}

PngImage PngImage::Icon(int size, uint32_t a, uint32_t b) {
    PngImage image(size, size);
    double r = size * 0.42, c = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.Set(x, y, std::hypot(x - c, y - c) <= r ? a : b);
    return image;
}
