#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A small RGB picture, written as a PNG file's bytes.
class PngImage {
public:
    PngImage(int width, int height);

    void Set(int x, int y, uint32_t rgb);
    std::string Encode() const;  // "" when compression fails

    // A banner: a gradient between the two colours with hills and stars.
    static PngImage Banner(int width, int height, uint32_t a, uint32_t b, uint32_t seed);
    // An icon: a disc in the first colour on the second.
    static PngImage Icon(int size, uint32_t a, uint32_t b);

private:
    int width;
    int height;
    std::vector<uint8_t> pixels;  // RGB rows
};
