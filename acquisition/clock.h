// Clock and time base: the PC clock calibrated against the wall clock's whole
// seconds, the program time scale and the comparison of the two for a block.
//
// The program time scale counts seconds since 1 January 1958 as UTC + 22 s +
// `leapsecs` (the Loran time scale, TAI - 10 s, when `leapsecs` counts every
// leap second since 1999). Times of day are seconds of the local day: the
// operating system's UTC plus 3600 x `utcoffset`, so that a change of the
// system's time zone (daylight saving) moves nothing.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "timebase/timebase.h"

namespace corvane {

// What the clock reads of the settings.
struct ClockConfig {
    std::int32_t utcoffset = 0;       // hours, local time minus UTC
    float clockoffset = 0;            // s, known error of the PC clock
    float timercalavfac = 0.01f;      // 0 .. 1, weight of a reading in the counter calibration
    std::int32_t framebytes = 4;      // bytes per sample frame of the live files
};

struct ClockState {
    std::string date;              // "mm-dd-yyyy", local date of the period start
    std::string time;              // "hh:mm:ss", local time of the period start
    double pcclock = 0;            // latest PC clock reading, s of the local day
    double timercal = 0;           // counter minus local time of day, s
    std::int32_t calconfidence = 0;  // 0 .. 3
    std::int32_t secondofday = 0;  // whole local seconds of the latest reading
    std::int32_t leapsecs = 0;     // leap seconds after 1999 for `date`: 0 .. 5
    std::int32_t daynumber = 0;    // days since 1 January 1958 for `date`
    // Time of day of the start epoch plus the buffer end by sample count, s
    // (grows with the run; real64 keeps it exact to the sample after months).
    double blocktimeofday = 0;
    float pcblocktime = 0;         // time of day of the buffer end by the PC clock
    float pcclockerror = 0;        // pcblocktime - blocktimeofday, -43200 .. 43200
    // Program-scale time of buffer time 0 of the averaging period; its start
    // epoch is the one for `date` and `time`.
    TimeBase timebase;
    double lastestimate = 0;       // estimate of the latest reading (counter - second - 0.5)
};

// One PC clock reading with calibration tracking.
void readpcclock(ClockState& state, const ClockConfig& config, Clock& clock);

// The wall clock's UTC date "mm-dd-yyyy" and time "hh:mm:ss" moved by
// `hours` (any int32), the day carried; a text of another shape is returned
// as it is.
Clock::DateTime shifteddatetime(const Clock::DateTime& utc, std::int32_t hours);

// Waits for the next change of the wall clock's second and re-calibrates.
void secondticksync(ClockState& state, const ClockConfig& config, Clock& clock);

// From the state's `date` and `time`: daynumber, leapsecs and the time base's
// start epoch; live true when they are the PC clock's, false for a start time.
void computestartepoch(ClockState& state, const ClockConfig& config, bool live);

// Exact days since 1 January 1958 (negative before), proleptic Gregorian.
std::int32_t daysince1958(std::int32_t year, std::int32_t month, std::int32_t day);
// Leap seconds after 1999 in force on the given date: 0 .. 5.
std::int32_t leapseconds(std::int32_t year, std::int32_t month);

// PC-clock comparison for the newest block. fileopentime is the PC clock time
// of the file's last sample, bytesleft the bytes still unread, bufend the
// sample time of the buffer end, sr the current sample rate.
void compareclocks(ClockState& state, const ClockConfig& config, float fileopentime,
                   std::int64_t bytesleft, double bufend, double sr);

}  // namespace corvane
