#include "tools/demo-publisher/PngImage.h"

#include <cmath>
#include <png.h>

namespace {

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void NoFlush(png_structp) {}

// libpng reports errors by longjmp; nothing here but plain values and pointers
// lives across the setjmp, and the caller owns the output.
bool WriteRgb(png_structp png, png_infop info, std::string* out, int width, int height, png_bytep* rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
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
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(&pixels[static_cast<size_t>(y) * width * 3]);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return "";
    png_infop info = png_create_info_struct(png);
    std::string out;
    bool written = info && WriteRgb(png, info, &out, width, height, rows.data());
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return written ? out : "";
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
            double top = height * (0.55 + 0.12 * layer) + height * 0.08 * std::sin(phase + x * (0.011 + 0.004 * layer));
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
