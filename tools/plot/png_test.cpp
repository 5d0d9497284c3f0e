#include "png.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "bmpread.h"

namespace corvane::plot {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

TEST(Checksums, MatchThePublishedCheckValues) {
    const auto digits = bytes("123456789");
    EXPECT_EQ(crc32(digits.data(), digits.size()), 0xCBF43926u);
    const auto wiki = bytes("Wikipedia");
    EXPECT_EQ(adler32(wiki.data(), wiki.size()), 0x11E60398u);
    EXPECT_EQ(adler32(nullptr, 0), 1u);
    // 65521 is the modulus: 0xFF bytes make both sums wrap many times.
    // a = 1 + 255 * 5553 mod 65521 = 40561, b = sum of the running a values, worked out in closed form:
    // b = 5553 + 255 * 5553 * 5554 / 2 mod 65521.
    const std::vector<std::uint8_t> ones(5553, 0xFF);
    const std::uint64_t a = (1 + 255ull * 5553) % 65521, b = (5553 + 255ull * 5553 * 5554 / 2) % 65521;
    EXPECT_EQ(adler32(ones.data(), ones.size()), (b << 16) | a);
}

TEST(Zlib, StoredBlocksOfAtMost65535BytesWithLengthAndComplement) {
    std::vector<std::uint8_t> data(65535 + 10);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const auto z = zlibstored(data);
    ASSERT_EQ(z.size(), 2 + 5 + 65535 + 5 + 10 + 4u);
    EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);  // header check bits
    EXPECT_EQ(z[2], 0);                      // not final, stored
    EXPECT_EQ(z[3] | z[4] << 8, 65535);
    EXPECT_EQ(z[5] | z[6] << 8, 0);
    const std::size_t second = 7 + 65535;
    EXPECT_EQ(z[second], 1);  // final
    EXPECT_EQ(z[second + 1] | z[second + 2] << 8, 10);
    EXPECT_EQ(z[second + 3] | z[second + 4] << 8, 0xFFFF - 10);
    EXPECT_EQ(z[second + 5], data[65535]);
    EXPECT_EQ(be32(z, z.size() - 4), adler32(data.data(), data.size()));
    // Nothing at all: one empty final block.
    const auto empty = zlibstored({});
    EXPECT_EQ(empty, (std::vector<std::uint8_t>{0x78, 0x01, 1, 0, 0, 0xFF, 0xFF, 0, 0, 0, 1}));
}

TEST(Png, ChunksWithLengthsAndCrcsAndUnfilteredRows) {
    Picture p;
    p.width = 2;
    p.height = 2;
    p.channels = 3;
    p.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    const auto png = encodepng(p);
    ASSERT_GE(png.size(), 8u + 25 + 12 + 12);
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    // IHDR: 13 bytes, width 2, height 2, depth 8, colour type 2.
    EXPECT_EQ(be32(png, 8), 13u);
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    EXPECT_EQ(be32(png, 16), 2u);
    EXPECT_EQ(be32(png, 20), 2u);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
    EXPECT_EQ(be32(png, 29), crc32(png.data() + 12, 17));
    // IDAT: the zlib stream of two rows of a filter byte 0 and 6 bytes.
    const std::size_t idat = 33;
    const std::uint32_t len = be32(png, idat);
    EXPECT_EQ(std::string(png.begin() + idat + 4, png.begin() + idat + 8), "IDAT");
    EXPECT_EQ(len, 2 + 5 + 14 + 4u);
    const std::size_t raw = idat + 8 + 7;
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin() + raw, png.begin() + raw + 14),
              (std::vector<std::uint8_t>{0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 9, 9, 9}));
    // IEND: empty, its CRC the fixed 0xAE426082.
    EXPECT_EQ(be32(png, png.size() - 12), 0u);
    EXPECT_EQ(be32(png, png.size() - 4), 0xAE426082u);

    p.pixels.pop_back();
    EXPECT_THROW(encodepng(p), std::invalid_argument);
}

TEST(Base64, TheRfcExamples) {
    EXPECT_EQ(base64(bytes("")), "");
    EXPECT_EQ(base64(bytes("f")), "Zg==");
    EXPECT_EQ(base64(bytes("fo")), "Zm8=");
    EXPECT_EQ(base64(bytes("foo")), "Zm9v");
    EXPECT_EQ(base64(bytes("foobar")), "Zm9vYmFy");
    EXPECT_EQ(base64({0xFB, 0xFF}), "+/8=");
}

std::string le(std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
}

// A BMP header for width x height (negative: top-down) and bits per pixel.
std::string bmpheader(std::int32_t width, std::int32_t height, int bits, std::uint32_t offset, std::uint32_t size) {
    return "BM" + le(size, 4) + le(0, 4) + le(offset, 4) + le(40, 4) + le(static_cast<std::uint32_t>(width), 4) +
           le(static_cast<std::uint32_t>(height), 4) + le(1, 2) + le(static_cast<std::uint32_t>(bits), 2) + le(0, 4) +
           le(0, 4) + le(0, 4) + le(0, 4) + le(0, 4) + le(0, 4);
}

TEST(Bmp, RowsComeOutTopFirstWithoutTheirPadding) {
    // 24 bits, 2 x 2: rows of 6 bytes padded to 8; bottom row first in the file.
    const std::string rows = std::string("\x01\x02\x03\x04\x05\x06\0\0", 8) + std::string("\x0a\x0b\x0c\x0d\x0e\x0f\0\0", 8);
    const Picture p = readbmp(bmpheader(2, 2, 24, 54, 70) + rows);
    EXPECT_EQ(p.channels, 3);
    // Top row = second row in the file; blue-green-red turned into red-green-blue.
    EXPECT_EQ(p.pixels, (std::vector<std::uint8_t>{0x0c, 0x0b, 0x0a, 0x0f, 0x0e, 0x0d, 3, 2, 1, 6, 5, 4}));
    // The same rows stored top-down.
    EXPECT_EQ(readbmp(bmpheader(2, -2, 24, 54, 70) + rows).pixels,
              (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 0x0c, 0x0b, 0x0a, 0x0f, 0x0e, 0x0d}));
    // A line missing at the end.
    EXPECT_THROW(readbmp(bmpheader(2, 3, 24, 54, 78) + rows), std::runtime_error);
}

TEST(Bmp, GreyPaletteGivesOneChannelAColouredOneRgb) {
    std::string grey;
    for (int i = 0; i < 256; ++i) grey += std::string(3, static_cast<char>(255 - i)) + '\0';
    const std::string pixels("\x00\x01\x02\x03\x10\x11\x12\x13", 8);  // 4 x 2, bottom row first
    const Picture g = readbmp(bmpheader(4, 2, 8, 54 + 1024, 54 + 1024 + 8) + grey + pixels);
    EXPECT_EQ(g.channels, 1);
    EXPECT_EQ(g.pixels, (std::vector<std::uint8_t>{0xef, 0xee, 0xed, 0xec, 0xff, 0xfe, 0xfd, 0xfc}));
    std::string colour = grey;
    colour[4 * 0x11] = 7;  // entry 0x11: blue 7, green and red 0xee
    const Picture c = readbmp(bmpheader(4, 2, 8, 54 + 1024, 54 + 1024 + 8) + colour + pixels);
    EXPECT_EQ(c.channels, 3);
    ASSERT_EQ(c.pixels.size(), 24u);
    EXPECT_EQ(std::vector<std::uint8_t>(c.pixels.begin(), c.pixels.begin() + 6),
              (std::vector<std::uint8_t>{0xef, 0xef, 0xef, 0xee, 0xee, 7}));
    EXPECT_THROW(readbmp(bmpheader(4, 0, 8, 54 + 1024, 54 + 1024) + grey), std::runtime_error);
    EXPECT_THROW(readbmp(bmpheader(4, 2, 16, 54, 70) + pixels + pixels), std::runtime_error);
    EXPECT_THROW(readbmp("BM"), std::runtime_error);
}

}  // namespace
}  // namespace corvane::plot
