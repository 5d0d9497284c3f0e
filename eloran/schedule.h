// eLoran data channel, sending side: which message a station sends when, and
// the word of each GRI. Used by the simulator and the tests.
//
// GRIs are counted from 1 January 1958 00:00:00 on the Loran time scale (the
// master's transmission times lie at whole GRIs since then); message m fills
// GRIs 30 m .. 30 m + 29, back to back. Its content: every tenth message
// (m mod 10 = 9) is a station message (type 4), latitude and longitude in
// turn; the others are UTC messages, subtype 1 for even m, subtype 2 for odd.
// A UTC message's time is the UTC transmission time of the station's group in
// GRI 30 (m + 1), the GRI right after its last word:
// 30 (m + 1) x GRI + emission delay on the Loran scale, less the leap seconds.
#pragma once

#include <cstdint>
#include <map>

#include "eloran/message.h"
#include "eloran/reedsolomon.h"

namespace corvane::eloran {

struct ScheduleConfig {
    std::int32_t gri = 6731;             // 10 us, > 0
    std::int64_t emissiondelay = 0;      // 10 us, 0 .. gri
    std::int32_t leapseconds = 27;       // Loran time - UTC, s, 0 .. 255
    std::uint16_t stationid = 0;         // 0 .. 1023
    std::uint8_t role = 4;               // 0 .. 5 = M V W X Y Z
    std::int32_t latitude = 0;           // 1e-7 degree
    std::int32_t longitude = 0;          // 1e-7 degree
};

// The message m of the schedule (m >= 0; the UTC fields for years 2000 .. 2063).
Message scheduledmessage(const ScheduleConfig& config, std::int64_t m);

class MessageSchedule {
public:
    explicit MessageSchedule(const ScheduleConfig& config) : config_(config) {}
    // The word sent in GRI `gri` (counted as above, >= 0).
    std::uint8_t word(std::int64_t gri);

private:
    ScheduleConfig config_;
    std::map<std::int64_t, Codeword> cache_;  // the latest messages' words
};

}  // namespace corvane::eloran
