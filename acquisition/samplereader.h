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
#include <iosfwd>
#include <string>
#include <vector>

#include "acquisition/clock.h"
#include "platform/platform.h"

namespace corvane {

// What the sample reader reads of the settings.
struct InputConfig {
    std::string samplefile = "audio.dat";  // live file name, or the recording
    std::int16_t wavinput = 0;             // 1: one recording; 0: live files
    std::int16_t samplebytes = 2;          // 1 (8-bit unsigned) or 2 (16-bit signed)
    std::int16_t channels = 2;             // 2 (I and Q) or 1
    std::int32_t fileblocklen = 0;         // frames per read; 0: from sr
    std::int32_t displaysamples = 24;      // D; the overlap kept between blocks exceeds it
    double sr = 22050;                     // nominal sample rate, Hz (for the block length)
    float sleeptime = 0;                   // s between looks for a live file (rounded)
    bool keeppower = false;                // the noise blanker is on: the sample power moves too
    ClockConfig clock;                     // the clock work done at live file changes
};

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

// Live mode: the writer of the sample files is taken to have written a file's
// last sample this long (s) before the PC clock reading at which the file is
// opened; the PC clock time of the last sample is the reading less this lag.
// The TAI synchronisation's re-base of the start epoch onto the PC clock adds
// it back (that re-base starts from PC clock times stamped this way).
inline constexpr double livefilelag = 0.05;

struct SampleReader {
    File file;
    std::int64_t bytesleft = 0;          // bytes of the open file not yet read
    std::int64_t filelength = 0;         // live mode: the open file's length as last seen, bytes
    bool grewnoted = false;              // live mode: the open file's growth has been said
    float fileopentime = 0;              // live mode: PC clock time of the file's last sample
    std::vector<unsigned char> bytes;    // one block of raw bytes
};

// Sizes the buffer from the settings (all zeros). A block geometry that does
// not fit the 16-bit positions throws RuntimeError 1.
void createsamplebuffer(SampleBuffer& buffer, const InputConfig& config);

// Sample time starts again at 0 with the next block: bufstart = -overlap / sr,
// bufend = 0, blocksamples = 0. The contents are kept.
void restartbuffer(SampleBuffer& buffer, double sr);

// Opens the first file. Live mode stamps fileopentime from the PC clock and
// waits for the file (the quit key is polled while waiting; a wait of a
// minute says "waiting for NAME", then once an hour). A folder or a special
// file under the name, a missing folder or a file that cannot be read ends
// the wait with RuntimeError 2 (missing folder) or 3 naming it. A live file
// of length 0 (the end of the run) is deleted at once. Recording mode
// opens at once and skips the header: to the first data chunk of a RIFF/WAVE
// file, else 46 bytes. A header that disagrees with the settings, or more
// chunks after the first data chunk, gives one warning line on warnings.
// Throws RuntimeError when the recording cannot be opened or read, and 2 when
// it holds no whole frame.
void openfirstfile(SampleReader& reader, SampleBuffer& buffer, ClockState& clock,
                   const InputConfig& config, Platform& platform, std::ostream& warnings);

// Moves the overlap, reads and decodes the next block of up to blockbytes
// bytes and stamps its sample time with the current sample rate sr (Hz); at
// the end of a live file reads what it grew by since the open (one line
// says so), then closes and deletes it and waits for the next one.
// The front end runs before (bias of the departing samples) and after (the
// new samples) it. "q" throws QuitRequested; a failed read, close or delete
// throws RuntimeError and leaves the file in place, and so does a file that
// is shorter than its length at the open (it shrank while being read). Only
// the file that was read is deleted: one that is gone already, or whose name
// another file has taken, counts as consumed with a line on the console.
void readblock(SampleReader& reader, SampleBuffer& buffer, ClockState& clock, const InputConfig& config,
               double sr, Platform& platform);

}  // namespace corvane
