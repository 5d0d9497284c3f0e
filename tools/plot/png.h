// A minimal PNG writer for embedding pictures in SVG: 8-bit greyscale or RGB,
// no filtering, the zlib stream made of stored (uncompressed) deflate blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::plot {

// CRC-32 of PNG chunks (polynomial 0xEDB88320, initial and final XOR
// 0xFFFFFFFF). crc32("123456789") = 0xCBF43926.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size);
// Adler-32 of the zlib stream. adler32("Wikipedia") = 0x11E60398.
std::uint32_t adler32(const std::uint8_t* data, std::size_t size);

// The zlib stream (RFC 1950) holding data in stored deflate blocks of at most
// 65535 bytes each; an empty input gives one empty final block.
std::vector<std::uint8_t> zlibstored(const std::vector<std::uint8_t>& data);

// A picture, top row first: width x height pixels of channels bytes each
// (1 grey, 3 red-green-blue).
struct Picture {
    std::int32_t width = 0;   // 1 .. 2^31 - 1
    std::int32_t height = 0;  // 1 .. 2^31 - 1
    std::int32_t channels = 1;
    std::vector<std::uint8_t> pixels;  // width x height x channels bytes
};

// The PNG file of the picture: signature, IHDR, one IDAT, IEND.
std::vector<std::uint8_t> encodepng(const Picture& picture);

// Standard base64 with "=" padding, for a data URI.
std::string base64(const std::vector<std::uint8_t>& data);

}  // namespace corvane::plot
