// Block geometry of the sample buffer, fixed once after the settings are read.
//
//   blocklen   frames per read: `fileblocklen` when > 0, else
//              1024 x floor(sr / 5512.5 + 0.5) (22050 Hz: 4096, 48000 Hz: 9216)
//   overlap    samples kept from one block to the next: 256 x (trunc(D / 256) + 1)
//   blockbytes bytes per read: samplebytes x blocklen x channels
//
// Buffer positions are 16-bit, so overlap + blocklen must stay <= 32767;
// `fits` says whether it does (the values are then exact).
#pragma once

#include <cstdint>

namespace corvane {

struct InputConfig;

struct BlockGeometry {
    std::int32_t blocklen = 0;
    std::int32_t overlap = 0;
    std::int32_t blockbytes = 0;
    double requestedblocklen = 0;  // before any clamping, for messages
    bool fits = false;             // 1 <= blocklen and overlap + blocklen <= 32767
};

BlockGeometry computeblockgeometry(const InputConfig& config);

}  // namespace corvane
