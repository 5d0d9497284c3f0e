// The time base: the program-scale time of buffer time 0 and how it is known.
//
// Buffer time 0 of an averaging period has two epochs: the start epoch, from
// the start time or the PC clock, and the sample epoch, set by a
// synchronisation and moved by whole phase code intervals when the eLoran data
// channel tells which interval is right. Only this module writes them; the
// other modules change them through the named operations below.
// Times are program-scale seconds (seconds since 1 January 1958 on the Loran
// time scale) unless a name says otherwise.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// How the time base is known, from the least to the most certain.
enum class TimeSource {
    starttime,  // the start time of the settings (recordings)
    pcclock,    // the PC clock (live input)
    taiguess,   // a TAI synchronisation whose offset is a guess
    taimatch,   // a TAI synchronisation that matched
    eloran,     // moved by whole intervals onto an eLoran UTC message
};

struct TimeBase {
    double startepoch = 0;         // s, buffer time 0 by the start time or the PC clock
    // s, buffer time 0 by the latest synchronisation; 0 until there is one.
    double sampleepoch = 0;
    bool synced = false;           // a synchronisation has set sampleepoch
    TimeSource source = TimeSource::starttime;
    double receiverdelay = 0;      // s, delay of the receiver chain; 0 until it is configured
};

// The start epoch from the start time (live false) or the PC clock (live true);
// a synchronisation taken before is kept.
void setstartepoch(TimeBase& base, double startepoch, bool live);

// A new period of a recording: buffer time 0 moves on by `seconds` (>= 0),
// the buffer end of the period that ended.
void advancestartepoch(TimeBase& base, double seconds);

// A synchronisation found buffer time 0 `offset` s after the start epoch;
// matched false when the offset is a guess.
void takesynchronisation(TimeBase& base, double offset, bool matched);

// The sample epoch moves by `count` whole intervals of `interval` s (> 0),
// told by the eLoran data channel.
void moveintervals(TimeBase& base, std::int64_t count, double interval);

// Program-scale seconds of buffer time 0 for time stamps and clock
// comparison: the synchronised epoch, or while there is none the start epoch.
double epochofbuffer(const TimeBase& base);

// "start time", "PC clock", "TAI guess", "TAI match" or "eLoran".
std::string_view sourcename(TimeSource source);

}  // namespace corvane
