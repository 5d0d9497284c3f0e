// The stations of a run: every selected station joined with its record of the
// station table file, the TAI reference entries, and the visible and blanked
// counts.
//
// Station table file: a stream of comma-separated fields, 15 per record:
//   GRI (10 us), unused integer, letter, name, latitude degrees, minutes,
//   seconds, hemisphere ("S" negative), longitude degrees, minutes, seconds,
//   hemisphere ("W" negative), emission delay (us), unused number, power (kW).
// A line end also ends a field, so a record may run over several lines.
// Blanks and tabs before a field are skipped; a number ends at a blank; a
// text may be double-quoted to hold commas. Lines holding only blanks are
// skipped, and a line whose first field is not a positive number (a header
// or a comment) is skipped to its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class Console;
struct Settings;

struct Station {
    // From the selection and the table.
    std::int32_t gri = 0;          // 10 us, positive
    std::string letter;            // upper case
    std::string suffix;            // what followed the letter in the selection key
    std::int16_t blanked = 0;      // flag: pulses are cleared for later stations
    float chaindelay = 0;          // ms
    std::string name;              // empty when not in the table
    float emissiondelay = 0;       // ms: table delay / 1000 + chaindelay
    float power = 0;               // kW
    float distance = 0;            // km, short or long path; 0 when not found
    bool found = false;            // joined with a table record

    // Chain timing: pulse pattern, fixed for the run.
    std::int32_t pulsecount = 0;   // pulses per phase code interval, 1 .. 18
    double pulseinterval[18] = {}; // s from pulse j to pulse j + 1
    std::int16_t phasesign[18] = {};  // +1 or -1
    float blankweight = 1;         // share of the signal left after blanking

    // Chain timing: per averaging period.
    float arrivaldelay = 0;        // s: emission delay + propagation time + chain exceptions
    double arrivalphase = 0;       // s, in [0, two GRIs)
    double windowstart = 0;        // s, buffer time of the next window's first sample
    double windowanchor = 0;       // s, windowstart at the period start
    std::int32_t pulseindex = 0;   // next pulse of the pattern
};

struct SyncStation {
    std::int32_t gri = 0;          // 10 us
    std::string letter;            // upper case
    float value = 0;               // weight in the error sum
    float chaindelay = 0;          // ms
    float emissiondelay = 0;       // ms; 0 when not found
    float distance = 0;            // km, short path; 0 when not found
};

struct StationTable {
    std::vector<Station> stations;     // N, in selection order
    std::vector<SyncStation> sync;     // TAI reference list
    std::int32_t visiblecount = 0;     // N - hidden, clamped to 0 .. N
    std::int16_t blankedcount = 0;
};

// Reads the table file named by `table` and builds the stations; a table that
// cannot be opened throws RuntimeError "file not found" naming it.
StationTable loadstationtable(const Settings& settings);
// Joins the stations with table text already read (no file access).
StationTable buildstationtable(const Settings& settings, const std::string& tabletext);

// One line per station: GRI, letter, name, emission delay, power, distance,
// " (hidden)", " (blanked)", suffix.
void showstationlist(const StationTable& table, Console& console);
// The station list file: two CR LF lines per visible station.
std::string stationlisttext(const StationTable& table);
// Writes the station list file; a failure throws RuntimeError "file I/O error".
void writestationlist(const StationTable& table, const std::string& path = "stations.txt");
// The blanked count and the TAI reference stations; the line is left open.
void showsyncsummary(const StationTable& table, Console& console);

}  // namespace corvane
