// The start time of a KiwiSDR recording for the monitor's [file] date and
// time: from the recording's GPS time stamps when the receiver had a GPS fix,
// else from the UTC time in the file name (kiwirecorder names its files
// YYYYMMDDTHHMMSSZ_FREQ_..., e.g. 20251207T183531Z_100000_G7UAK_iq.wav).
//
// A "kiwi" chunk stamps the data chunk after it: 10 bytes little-endian, the
// fix byte (255: no GPS fix), an unused byte, the GPS seconds of the week
// (0 .. 604799) and the nanoseconds. The GPS week is not in the chunk: it is
// the week that puts the stamp nearest the file name's time (a recording
// started within half a week of its name), so the file name is needed for the
// date. GPS time runs 18 s ahead of UTC (since 2017).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

struct KiwiStamp {
    int fix = 255;                   // 255: no fix
    std::uint32_t seconds = 0;       // GPS seconds of the week
    std::uint32_t nanoseconds = 0;
};

// The stamp of a kiwi chunk payload (at least 10 bytes).
KiwiStamp readkiwistamp(const unsigned char* payload);

// A stamp from a receiver with a GPS fix: fix byte not 255, fields in range,
// not all zero (the header chunk before the first data chunk).
bool validkiwistamp(const KiwiStamp& stamp);

// UTC seconds since 1970 from the file name's YYYYMMDDTHHMMSSZ (folders are
// skipped); nothing when the name carries none.
std::optional<std::int64_t> filenameutc(const std::string& path);

// The settings lines: a comment saying the source, then "date = mm-dd-yyyy"
// and "time = hh:mm:ss" (UTC, to the nearest second). gpsstart is the GPS
// second of the week of the first sample (from the first valid stamp less
// the samples before it), when the recording has a fix. Empty when neither
// source gives a time.
std::string recordingtimelines(std::optional<double> gpsstart, std::optional<std::int64_t> nameutc);

}  // namespace corvane
