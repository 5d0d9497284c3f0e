#include "png.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace corvane::plot {

namespace {

std::array<std::uint32_t, 256> crctable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = crctable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t a = 1, b = 0;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<std::uint8_t> zlibstored(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out;
    out.reserve(data.size() + data.size() / 65535 * 5 + 16);
    out.push_back(0x78);  // deflate, 32 KiB window
    out.push_back(0x01);  // no dictionary, fastest; 0x7801 is a multiple of 31
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(data.size() - pos, 65535);
        const bool last = pos + n == data.size();
        out.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 stored
        out.push_back(static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(~n));
        out.push_back(static_cast<std::uint8_t>(~n >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                   data.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < data.size());
    put32(out, adler32(data.data(), data.size()));
    return out;
}

std::vector<std::uint8_t> encodepng(const Picture& p) {
    if (p.width < 1 || p.height < 1 || (p.channels != 1 && p.channels != 3))
        throw std::invalid_argument("encodepng: empty picture or unsupported channel count");
    const std::size_t rowbytes = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.channels);
    if (p.pixels.size() != rowbytes * static_cast<std::size_t>(p.height))
        throw std::invalid_argument("encodepng: pixel count does not match the size");
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put32(header, static_cast<std::uint32_t>(p.width));
    put32(header, static_cast<std::uint32_t>(p.height));
    header.push_back(8);                       // bit depth
    header.push_back(p.channels == 1 ? 0 : 2);  // greyscale or truecolour
    header.push_back(0);                       // deflate
    header.push_back(0);                       // adaptive filtering
    header.push_back(0);                       // no interlace
    chunk(out, "IHDR", header);
    // Each row: filter type 0 (none), then its bytes.
    std::vector<std::uint8_t> raw;
    raw.reserve((rowbytes + 1) * static_cast<std::size_t>(p.height));
    for (std::int32_t y = 0; y < p.height; ++y) {
        raw.push_back(0);
        const auto row = p.pixels.begin() + static_cast<std::ptrdiff_t>(rowbytes * static_cast<std::size_t>(y));
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowbytes));
    }
    chunk(out, "IDAT", zlibstored(raw));
    chunk(out, "IEND", {});
    return out;
}

std::string base64(const std::vector<std::uint8_t>& data) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t v = (static_cast<std::uint32_t>(data[i]) << 16) | (data[i + 1] << 8) | data[i + 2];
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += digits[(v >> 6) & 63];
        out += digits[v & 63];
    }
    if (i < data.size()) {
        std::uint32_t v = static_cast<std::uint32_t>(data[i]) << 16;
        if (i + 1 < data.size()) v |= static_cast<std::uint32_t>(data[i + 1]) << 8;
        out += digits[v >> 18];
        out += digits[(v >> 12) & 63];
        out += i + 1 < data.size() ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace corvane::plot
