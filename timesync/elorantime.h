// Time from the eLoran data channel: a UTC message fixes the whole number of
// phase code intervals that the TAI synchronisation cannot know from one
// station.
//
// A UTC message (type 6) gives the UTC transmission time (TOT) of the
// station's group in the GRI right after its last word; that group arrives at
// buffer time lastwordtime + one GRI. Subtype 1 carries the hour of the year
// and the year; subtype 2 only the time within the hour, so its hour comes from
// the latest subtype 1 message or, before one, is the hour that puts it nearest
// the monitor's own time. Leap seconds (Loran - UTC) come from subtype 2 once
// one has come, else from the program's count. The predicted program time of
// the arrival is programtime(TOT) + propagation time (the TOT includes the
// emission delay); the observed one is sampleepoch + the arrival's buffer
// time. When they agree modulo the phase code interval within 1 ms, sampleepoch
// moves by the whole intervals between them (the integration windows stay
// where they are). Once per averaging period; a new period keeps a fix when its
// synchronisation agrees with it modulo the interval.
// Times are program-scale or buffer seconds unless a name says otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "eloran/channel.h"

namespace corvane {

struct ClockState;

// The result of one attempt, for the console and the measurement log.
struct EloranFix {
    std::string station;          // e.g. "6731Y"
    bool match = false;           // sampleepoch was moved (or already right)
    double offset = 0;            // s, sampleepoch - startepoch after the attempt
    double residual = 0;          // ms, predicted - observed modulo the interval, before the move
    double difference = 0;        // ms, predicted - observed, whole (when they disagree)
    std::string ut;               // UT of buffer time 0 (uttext)
};

struct EloranTime {
    struct Hour {
        bool known = false;       // a subtype 1 message has come
        std::int64_t start = 0;   // its hour start, 10 us since 1958 UTC
        std::uint32_t timeinhour = 0;  // its time within the hour, 10 us
    };
    std::vector<Hour> hours;      // per listened station
    bool leapknown = false;       // a subtype 2 message has come
    std::int32_t leap = 0;        // its leap seconds, Loran - UTC, s
    bool fixedthisperiod = false; // an attempt was made in this period
    bool held = false;            // the latest attempt matched
    double heldinterval = 0;      // s, phase code interval of that station
};

// The hour start (10 us since 1958 UTC) that puts `timeinhour` (10 us) nearest
// to `nowutc` (s since 1958 UTC, 86400 s a day).
std::int64_t nearesthour(std::uint32_t timeinhour, double nowutc);

// The hour start of a subtype 2 time: the latest subtype 1 message's hour,
// one later when the time has wrapped past the end of that hour.
std::int64_t followinghour(const EloranTime::Hour& hour, std::uint32_t timeinhour);

// predicted - observed split into whole intervals and the rest, the rest in
// -interval / 2 .. interval / 2 (s). interval > 0.
struct IntervalSplit {
    std::int64_t intervals = 0;
    double residual = 0;
};
IntervalSplit splitintervals(double predicted, double observed, double interval);

// Period start: the next UTC message attempts a fix again.
void starteloranperiod(EloranTime& state);

// After a period end's synchronisation: when a fix is held, `carried` is the
// previous period's sampleepoch plus its buffer end (the program time of the
// new buffer time 0); sampleepoch is moved by whole intervals onto it when it
// agrees within 1 ms modulo the interval, else the fix is no longer held.
void keepeloranfix(EloranTime& state, ClockState& clock, double carried);

// Takes one message of station `station` (propagation: its propagation time,
// s). Returns the attempt when this message made one (a UTC message, the
// first of the period, after a synchronisation).
std::optional<EloranFix> takeeloranmessage(EloranTime& state, const eloran::ChannelMessage& message,
                                           const eloran::ListenedStation& station, double propagation,
                                           ClockState& clock, float clockoffset);

// "eLoran match at  -0.40 s offset, residual  0.012 ms,  18:35:31.373 UT" or
// "eLoran 6731Y disagrees by ... ms modulo ..., time kept".
std::string eloranreport(const EloranFix& fix);

}  // namespace corvane
