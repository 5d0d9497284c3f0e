// The monitor's measurement log as corvane-plot reads it: JSON Lines, one
// record a line, several runs one after another, possibly spread over several
// files. Times are kept as whole milliseconds since 1970-01-01 00:00 UTC.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace corvane::plot {

// Milliseconds since 1970-01-01T00:00:00Z.
using Millis = std::int64_t;

// "2025-12-07T18:35:31.000Z" (any number of fraction digits, rounded to the
// millisecond; the "Z" may be left out; a space may stand for the "T"), a
// date and minutes "2025-12-07T18:35", or a date alone "2025-12-07" meaning
// its midnight. Years 1970 .. 9999. False when the text is none of these.
bool parseutc(const std::string& text, Millis& out);
// "2025-12-07T18:35:31.000Z".
std::string formatutc(Millis t);
// Pieces of a time for labels: "2025-12-07", "18:35", "18:35:31".
std::string formatdate(Millis t);
std::string formathhmm(Millis t);
std::string formathhmmss(Millis t);

constexpr double missing = std::numeric_limits<double>::quiet_NaN();

struct StationInfo {
    std::string id;  // "6731M"
    std::string name;
    bool hidden = false;  // not drawn in the waterfall
};

struct StationStatus {
    std::string id;
    double peak = missing;       // integrated pulse peak, linear amplitude units
    double edge = missing;       // pulse edge position, samples of the display window
    double phasedeg = missing;   // carrier phase, degrees
    double snrdb = missing;      // dB
    double toaus = missing;      // time of arrival against the prediction, microseconds (newer logs)
    double toasigmaus = missing; // its standard error, microseconds
};

struct StatusRecord {
    Millis utc = 0;
    std::string utctext;  // as the log wrote it
    double sr = missing;    // sample rate, Hz
    double lo = missing;    // local oscillator offset, fraction of the nominal frequency
    double lous = missing;  // the same as a time drift, microseconds
    double pc = missing;    // sample clock minus PC clock, seconds (live mode only)
    std::vector<StationStatus> stations;
};

// A sync or eLoran record, shown as a marker.
struct Event {
    Millis utc = 0;
    std::string type;   // "sync", "eloran" or "end"
    std::string label;  // short text, e.g. "TAI guess" or "eL 6731Y 6"
};

struct LineRecord {
    Millis utc = 0;
    std::int64_t line = 0;  // 1 = bottom row of the waterfall
};

// One run of the monitor: from a start record to the next one. Records before
// any start record form a run with hasstart false.
struct Run {
    bool hasstart = false;
    Millis start = 0;  // utc of the start record, or of the first record
    std::string reference;  // reference station id
    std::string bmp;        // waterfall file name of the run
    std::int64_t displaysamples = 0;  // pixels per station in the waterfall
    double shortintegration = missing;  // seconds between status records, from the start record
    std::vector<StationInfo> stations;
    std::vector<StatusRecord> status;
    std::vector<Event> events;
    std::vector<LineRecord> lines;
};

// A line that was not read, and why.
struct SkippedLine {
    std::string path;
    std::int64_t lineno = 0;  // 1-based
    std::string reason;
};

struct Log {
    std::vector<Run> runs;  // in time order
    std::vector<SkippedLine> skipped;
};

// One file's text as read from path (only for naming it in SkippedLine).
struct LogText {
    std::string path;
    std::string text;
};

// Reads every file's records, puts them in time order (records with equal
// times keep the order of the arguments and lines) and splits them into runs
// at the start records. Blank lines are ignored; a line that is not a JSON
// object with a "type" string and a valid "utc" time is skipped and listed.
// Records of unknown types are ignored.
Log readlog(const std::vector<LogText>& files);

}  // namespace corvane::plot
