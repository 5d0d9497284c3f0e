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

// What the status line reads of the settings.
struct DisplayConfig {
    float clockoffset = 0;   // s, known error of the PC clock
    bool live = true;        // live mode: the PC clock comparison follows the time stamp
};

// The values of the steering status that completes the status line.
struct StatusValues {
    float refpeak = 0;       // reference envelope peak, sample units
    float refedge = 0;       // reference edge position, samples
    double sr = 0;           // tracked sample rate, Hz
    float fracfreq = 0;      // oscillator error, fraction of 100 kHz
    float shownfdrift = 0;   // oscillator time error while locked, us
};

struct Display {
    std::int32_t utchour = -1;   // UTC hour (0 .. 24) of the latest time stamp; -1 before the first
    std::string timestamp;       // "hh:mm:ss", UTC time of day of the buffer end
    std::string stamptext;       // the time stamp as written (with the PC clock part in live mode)
};

// Writes the time stamp for buffer end `bufend` (s of sample time), without a
// line end, and in live mode " PC###.##s" with -pcclockerror. The time of day
// is rounded to the hundredth of a second, then cut to the second, so it can
// read 24:00:00 just before midnight. Sample time 0 is placed by the
// synchronised epoch, or while there is none by the start epoch.
void showtimestamp(Display& display, const ClockState& clock, const DisplayConfig& config, double bufend,
                   Console& console);

// The rest of the status line: " max##### edge##.## ", "SR #####.####Hz ",
// "LO +#.#^^^^######.##us", then endstatusline.
void showstatus(const StatusValues& values, Console& console);

// The text showstatus writes before it ends the line.
std::string statustext(const StatusValues& values);

// A line above the status line: `line` at column 1, padded with blanks to the
// length of the status line so nothing of it remains, a line end, then the
// latest status line (display's time stamp and `status`) again when one has
// been shown (status not null).
void showlineabove(const std::string& line, const Display& display, const StatusValues* status,
                   Console& console);

// Ends the status line so that the next one overwrites it: one row up, to
// column 1, then a line end.
void endstatusline(Console& console);

}  // namespace corvane
