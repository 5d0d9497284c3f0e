// The sample file reader: recordings and live files, block by block, into the
// sample buffer.
//
// Frames (little-endian, I then Q): 16-bit signed, or 8-bit unsigned minus
// 128; one-channel files give Q = 0. Live mode: the receiver hands over a
// complete file named `samplefile` (written under another name and renamed);
// the monitor reads it to its end, deletes it and waits for the next one.
// Recording mode: one file, read from its sample data to its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvane {

struct Settings;
struct ClockState;
struct FrontEnd;

struct SampleBuffer {
    std::vector<std::int16_t> samplere;  // overlap + blocklen
    std::vector<std::int16_t> sampleim;
    std::vector<float> samplepower;      // only kept while `nb` is on
    std::int32_t overlap = 0;
    std::int32_t blocklen = 0;
    std::int32_t blockbytes = 0;
    std::int32_t blocksamples = 0;       // frames of the latest read
    double bufstart = 0;                 // sample time of index 0, s
    double bufend = 0;                   // sample time just after the last valid sample, s
};

struct SampleReader {
    File file;
    std::int64_t bytesleft = 0;          // bytes of the open file not yet read
    float fileopentime = 0;              // live mode: PC clock time of the file's last sample
    std::vector<unsigned char> bytes;    // one block of raw bytes
};

// Sizes the buffer from the settings (all zeros).
void createsamplebuffer(SampleBuffer& buffer, const Settings& settings);

// Sample time starts again at 0 with the next block.
void restartbuffer(SampleBuffer& buffer, double sr);

// Opens the first file: live mode waits for it, recording mode opens at once.
void openfirstfile(SampleReader& reader, SampleBuffer& buffer, ClockState& clock,
                   Settings& settings, Platform& platform);

// Reads, decodes and conditions the next block; see the file comment.
void readblock(SampleReader& reader, SampleBuffer& buffer, FrontEnd& frontend, ClockState& clock,
               Settings& settings, Platform& platform);

}  // namespace corvane
