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

#include "stations/geodesy.h"

namespace corvane {

// One entry of the station selection ([stations] of the settings).
struct StationEntry {
    std::int32_t gri = 0;        // 10 us, signed as typed; negative marks a blanking candidate
    std::string letter;          // one upper-case character, or empty
    std::string suffix;          // what followed the letter ("l" in it: long path)
    std::int16_t blanked = 0;    // flag
    float chaindelay = 0;        // ms
};

// One entry of the TAI reference list ([taisync] of the settings).
struct SyncEntry {
    std::int32_t gri = 0;        // 10 us, > 0
    std::string letter;          // one upper-case character
    float value = 0;             // weight: 1 / value seconds of residual count as one unit
    float chaindelay = 0;        // ms
};

// What the station table reads of the settings.
struct StationsConfig {
    GeoPoint receiver{50.0, 10.0};       // degrees, north and east positive
    std::string table = "table.txt";     // station table file
    std::vector<StationEntry> selection; // N entries
    std::vector<SyncEntry> taireferences;
    std::int32_t hidden = 0;             // the last `hidden` stations are not drawn
    std::int32_t blankedstns = 0;        // at most this many stations are blanked
    float blankingdistance = 0;          // km: nearer stations are blanked (up to blankedstns)
};

// A selected station joined with its table record.
struct Station {
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
    GeoPoint position{};           // degrees, from the table record
};

struct SyncStation {
    std::int32_t gri = 0;          // 10 us
    std::string letter;            // upper case
    float value = 0;               // weight in the error sum
    float chaindelay = 0;          // ms
    float emissiondelay = 0;       // ms; 0 when not found
    float distance = 0;            // km, short path; 0 when not found
    bool found = false;            // joined with a table record of its GRI and letter
    // The chain's master: the table record with the same GRI and a master
    // letter (K L M N), whether selected or not.
    bool masterfound = false;
    float masteremissiondelay = 0; // ms, with the entry's chaindelay
    float masterdistance = 0;      // km, short path
};

struct StationTable {
    std::vector<Station> stations;     // N, in selection order
    std::vector<SyncStation> sync;     // TAI reference list
    std::int32_t visiblecount = 0;     // N - hidden, clamped to 0 .. N
    std::int16_t blankedcount = 0;
};

// Reads the table file named by `table` and builds the stations; a table that
// cannot be opened throws RuntimeError "file not found" naming it.
StationTable loadstationtable(const StationsConfig& config);
// Joins the stations with table text already read (no file access).
StationTable buildstationtable(const StationsConfig& config, const std::string& tabletext);
// One line per TAI reference the table file `tablepath` has no record of:
// "TAI reference 6731M is not in the station table \"table.txt\"". Such a
// reference has no emission delay or distance, so it cannot be matched.
// Letter "A" entries are left out: a pulse of the receiver's own (a GPS pulse
// per second on GRI 50000) has emission delay and distance 0 without a record.
std::vector<std::string> unknownreferences(const StationTable& table, const std::string& tablepath);

}  // namespace corvane
