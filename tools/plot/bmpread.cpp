#include "bmpread.h"

#include <cstdint>
#include <stdexcept>

namespace corvane::plot {

namespace {

std::uint32_t le(const std::string& b, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

}  // namespace

Picture readbmp(const std::string& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') throw std::runtime_error("not a BMP file");
    const std::uint32_t offset = le(b, 10, 4), infosize = le(b, 14, 4);
    const std::int32_t width = static_cast<std::int32_t>(le(b, 18, 4));
    const std::int32_t rawheight = static_cast<std::int32_t>(le(b, 22, 4));
    const std::uint32_t bits = le(b, 28, 2), compression = le(b, 30, 4);
    std::uint32_t colours = le(b, 46, 4);
    if (infosize < 40) throw std::runtime_error("not a BMP file with a 40-byte info header");
    if (compression != 0) throw std::runtime_error("compressed BMP files are not read");
    if (bits != 8 && bits != 24) throw std::runtime_error("BMP with " + std::to_string(bits) + " bits per pixel is not read (8 or 24)");
    if (width <= 0 || width > 1000000) throw std::runtime_error("BMP width " + std::to_string(width) + " out of range");
    if (rawheight == 0 || rawheight == INT32_MIN) throw std::runtime_error("BMP holds no line yet");
    const bool bottomup = rawheight > 0;
    const std::int64_t height = bottomup ? rawheight : -static_cast<std::int64_t>(rawheight);
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits / 8 + 3) / 4 * 4;
    if (offset > b.size() || (b.size() - offset) / stride < static_cast<std::uint64_t>(height))
        throw std::runtime_error("truncated: " + std::to_string(height) + " lines of " + std::to_string(stride) +
                                 " bytes do not fit in " + std::to_string(b.size()) + " bytes");

    Picture p;
    p.width = width;
    p.height = static_cast<std::int32_t>(height);
    // Palette: BGRA entries right after the info header.
    std::uint8_t palette[256][3] = {};
    bool grey = bits == 8;
    if (bits == 8) {
        if (colours == 0 || colours > 256) colours = 256;
        const std::uint64_t palstart = 14 + static_cast<std::uint64_t>(infosize);
        if (palstart + 4ull * colours > offset) throw std::runtime_error("truncated: the palette overlaps the pixels");
        for (std::uint32_t i = 0; i < colours; ++i) {
            const std::size_t at = static_cast<std::size_t>(palstart + 4ull * i);
            palette[i][0] = static_cast<std::uint8_t>(b[at + 2]);
            palette[i][1] = static_cast<std::uint8_t>(b[at + 1]);
            palette[i][2] = static_cast<std::uint8_t>(b[at]);
            if (palette[i][0] != palette[i][1] || palette[i][1] != palette[i][2]) grey = false;
        }
    }
    p.channels = grey ? 1 : 3;
    p.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(p.channels));
    std::size_t out = 0;
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t filerow = bottomup ? height - 1 - y : y;
        const std::size_t row = static_cast<std::size_t>(offset + static_cast<std::uint64_t>(filerow) * stride);
        for (std::int32_t x = 0; x < width; ++x) {
            if (bits == 8) {
                const std::uint8_t index = static_cast<std::uint8_t>(b[row + static_cast<std::size_t>(x)]);
                if (grey) {
                    p.pixels[out++] = palette[index][0];
                } else {
                    for (int c = 0; c < 3; ++c) p.pixels[out++] = palette[index][c];
                }
            } else {
                const std::size_t at = row + 3 * static_cast<std::size_t>(x);
                p.pixels[out++] = static_cast<std::uint8_t>(b[at + 2]);
                p.pixels[out++] = static_cast<std::uint8_t>(b[at + 1]);
                p.pixels[out++] = static_cast<std::uint8_t>(b[at]);
            }
        }
    }
    return p;
}

}  // namespace corvane::plot
