// RIFF/WAVE chunk reader and the recording header layout, shared by the
// monitor (where a recording's samples start, and whether its header agrees
// with the settings) and the recording converter corvane-wav.
//
// A recording of the receiver has a 46-byte header: "RIFF", size, "WAVE", an
// 18-byte "fmt " chunk and a "data" chunk whose payload starts at byte 46 and
// runs to the end of the file.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvane {

// Reads up to size bytes at a byte offset; returns the count read, which is
// less than size only at the end of the file. Failures throw.
using ReadAt = std::function<std::int64_t(std::int64_t offset, void* buffer, std::size_t size)>;

struct WavChunk {
    std::string id;               // four characters
    std::int64_t offset = 0;      // byte offset of the payload
    std::uint32_t size = 0;       // declared payload bytes
    bool truncated = false;       // the payload runs past the end of the file
};

struct WavFormat {
    std::uint16_t formattag = 0;  // 1 PCM, 0xFFFE extensible
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;       // frames per second
    std::uint16_t bits = 0;       // valid bits per sample
    std::uint16_t blockalign = 0; // bytes per frame
    bool pcm = false;             // integer PCM, plain or extensible
};

struct WavLayout {
    bool riffwave = false;        // the file starts with RIFF ... WAVE
    bool hasformat = false;       // a "fmt " chunk came before the first data chunk
    WavFormat format;
    std::vector<WavChunk> chunks; // in file order, as far as walked
    int firstdata = -1;           // index of the first "data" chunk, -1 when none
    bool morechunks = false;      // another chunk follows the first data chunk
    std::string nextid;           // its id, empty when none
    std::string fault;            // why the walk stopped before the end, or empty
};

// Walks the chunks of a file of the given length. With wholefile false it
// stops at the first data chunk (and only looks whether a chunk header
// follows it); with true it walks every chunk to the end of the file.
WavLayout scanwav(const ReadAt& readat, std::int64_t length, bool wholefile);

// Byte offset of a recording's first sample: the payload of the first data
// chunk of a RIFF/WAVE file, else 46 (the receiver's header length).
std::int64_t samplestart(const WavLayout& layout);

// A rate within this fraction of the header's counts as agreeing: users set
// sr to the measured true rate of their receiver.
inline constexpr double ratetolerance = 0.01;

// How the header disagrees with the settings (sr in Hz, samplebytes 1 or 2,
// channels 1 or 2): what the header says and the settings keys that would
// agree with it ("the header says 24000 Hz, 16-bit integer samples, 2
// channels; set sr = 24000 in the settings"), or that the monitor cannot
// read such samples; empty when it agrees or there is no fmt chunk.
std::string headermismatch(const WavLayout& layout, double sr, int samplebytes, int channels);

// Whether the file is a KiwiSDR recording: "kiwi" chunks (GPS time stamps)
// interleaved with the data chunks.
bool kiwisdrlayout(const WavLayout& layout);

// The 46-byte recording header for databytes of sample data (sizes above the
// 32-bit range are written as 0xFFFFFFFF).
std::array<unsigned char, 46> recordingheader(std::uint32_t rate, int channels, int bits,
                                              std::uint64_t databytes);

}  // namespace corvane
