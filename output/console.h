// The console's status line: it begins with the UTC time stamp of the buffer
// end (and in live mode the sample clock's lead over the PC clock), is
// continued by the steering status, and is rewritten in place every short
// integration.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

class Console;
struct ClockState;
struct Settings;

struct Display {
    std::int32_t utchour = -1;   // UTC hour (0 .. 24) of the latest time stamp; -1 before the first
    std::string timestamp;       // "hh:mm:ss", UTC time of day of the buffer end
};

// Writes the time stamp for buffer end `bufend` (s of sample time), without a
// line end, and in live mode " PC###.##s" with -pcclockerror. The time of day
// is rounded to the hundredth of a second, then cut to the second, so it can
// read 24:00:00 just before midnight. Sample time 0 is placed by the
// synchronised epoch, or while there is none by the start epoch.
void showtimestamp(Display& display, const ClockState& clock, const Settings& settings, double bufend,
                   Console& console);

// Ends the status line so that the next one overwrites it: one row up, to
// column 1, then a line end.
void endstatusline(Console& console);

}  // namespace corvane
