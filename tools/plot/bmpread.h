// Reads the monitor's waterfall bitmap: an uncompressed BMP with a 40-byte
// (or longer) info header, 8 bits per pixel with a palette or 24 bits (blue,
// green, red), rows bottom-up (positive height) or top-down (negative).
#pragma once

#include <string>

#include "png.h"

namespace corvane::plot {

// The picture top row first: greyscale (1 channel) when every used palette
// entry is grey, otherwise red-green-blue. Throws std::runtime_error with the
// reason ("not a BMP file", "compressed", "truncated: ...") on anything else.
// A bitmap of height 0 (no line written yet) is refused as well.
Picture readbmp(const std::string& bytes);

}  // namespace corvane::plot
