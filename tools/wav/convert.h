// corvane-wav: converts a PCM RIFF/WAVE file of any common layout (44-byte
// header, WAVE_FORMAT_EXTENSIBLE, extra chunks, many data chunks interleaved
// with other chunks) into a recording with the monitor's 46-byte header whose
// samples run from byte 46 to the end of the file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane {

// A file that cannot be converted; the text names the file and the reason.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ConvertResult {
    std::uint32_t rate = 0;        // Hz, from the header
    int channels = 0;              // 1 or 2
    int bits = 0;                  // 8 or 16
    std::uint64_t frames = 0;      // frames written
    int datachunks = 0;            // data chunks joined
    std::vector<std::string> notes;  // what was left out, one line each
    std::string timelines;         // a KiwiSDR recording's date and time settings lines, or ""
};

// Converts input into output. The output is written under a temporary name
// beside it and renamed when complete, so a failure never leaves a partial
// file under the output name. Throws ConvertError.
ConvertResult convertrecording(const std::string& input, const std::string& output);

// The settings lines that make the monitor read the converted recording
// (with the date and time of a KiwiSDR recording).
std::string settingslines(const ConvertResult& result, const std::string& output);

}  // namespace corvane
