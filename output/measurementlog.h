// The measurement log: JSON Lines appended to the file `log` of [file], one
// record a line (docs/log.md describes the records). Each record is written
// with one write and goes to the OS at once, so a kill leaves only whole
// lines but possibly the last; a restart continues the file, first ending a
// line that a kill left cut.
//
// The records are built from plain values that run control hands over. The
// JSON is written by hand: strings escaped (quote, backslash, control
// characters; other bytes, UTF-8 included, as they are), numbers in their
// shortest exact form, NaN and infinities as null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eloran/message.h"
#include "platform/platform.h"

namespace corvane {

// What the log reads of the settings.
struct LogConfig {
    std::string path;        // the log file; empty: no log
    float clockoffset = 0;   // s, known error of the PC clock, taken off the times as on the status line
};

// One JSON object or array being written into a line.
class JsonWriter {
public:
    JsonWriter& open(char bracket);    // '{' or '['
    JsonWriter& close(char bracket);   // '}' or ']'
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(double number);  // null when not finite
    JsonWriter& value(float number);   // shortest form that reads back as this float
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(std::int32_t number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(bool flag);
    template <typename T>
    JsonWriter& field(std::string_view name, const T& v) { return key(name).value(v); }
    const std::string& text() const { return out_; }

private:
    void separate();
    std::string out_;
    bool needcomma_ = false;
};

// A string as a JSON string, quotes included.
std::string jsonstring(std::string_view text);

// "2024-06-15T11:58:20.000Z": the UTC time of a program-scale time (UTC + 22 s
// + leapsecs, s since 1958) less clockoffset (s), to the nearest millisecond.
// Years 1958 .. 9999; times outside, and non-finite ones, are clamped.
std::string logutc(double program, std::int32_t leapsecs, float clockoffset);

// The values of the records. Floating-point values that are not known are
// NaN (written as null, or left out where the record says so).
struct LogStation {
    std::string id;                // "6731M"
    std::int32_t gri = 0;          // 10 us
    std::string letter;
    std::string name;
    float distancekm = 0;          // km
    float emissiondelayms = 0;     // ms
    bool blanked = false;
    bool hidden = false;
};

struct LogStart {
    std::string version;
    std::string settings;          // settings file
    bool live = false;             // mode "live", else "recording"
    std::string file;              // sample file
    double lat = 0, lon = 0;       // degrees
    double sr = 0;                 // nominal sample rate, Hz
    std::int32_t displaysamples = 0;
    float shortintegration = 0;    // s
    std::int32_t longintegration = 0;
    std::string bmp;
    std::string reference;         // reference station id
    std::vector<LogStation> stations;
};

struct LogStationStatus {
    std::string id;
    bool analysed = false;         // false: peak, edge, phase and SNR are null
    float peak = 0;                // amplitude units
    float edge = 0;                // samples
    float phasedeg = 0;            // degrees, 0 .. 360
    float snrdb = 0;               // dB
};

struct LogStatus {
    float max = 0;                 // reference peak as the status line shows it
    float edge = 0;                // reference edge, samples
    double sr = 0;                 // tracked sample rate, Hz
    float lo = 0;                  // oscillator error, fraction
    float lous = 0;                // us
    bool locked = false;
    bool live = false;             // pc is written only in live mode
    float pc = 0;                  // s, sample clock minus PC clock
    std::vector<LogStationStatus> stations;
};

struct LogSyncReference {
    std::string id;
    bool measured = false;
    float peaktime = 0;            // s within the interval: the peak used for matching
    double peak = 0;               // amplitude of that peak; NaN: not known, left out
    double residualms = 0;         // ms; NaN: not known, left out
};

struct LogTaiSync {
    bool match = false;
    double offset = 0;             // s
    double relerror = 0;           // rms
    std::string ut;                // "hh:mm:ss.sss" as the TAI line shows it
    double ambiguityms = 0;        // ms; NaN: the time is not ambiguous, left out
    std::vector<LogSyncReference> references;
    std::int64_t candidates = 0;   // candidates of the search with an error sum below 1
    double runnerup = 0;           // s, offset of the second-best of those; NaN: none, left out
};

struct LogEloranFix {
    std::string result;            // "match" or "disagree"
    std::string station;           // "6731Y"
    double offset = 0;             // s
    double residualms = 0;         // ms
    std::string ut;
};

struct LogEloranMessage {
    std::string station;           // "6731Y"
    std::int32_t msgtype = 0;
    std::int32_t subtype = 0;
    std::vector<eloran::MessageValue> values;  // the kind's logged fields, in order
    std::string words;             // the message bits, hex
};

struct LogEnd {
    std::string reason;            // "end of data", "quit key" or "runtime error"
    std::int32_t status = 0;       // exit status
    std::int32_t error = 0;        // runtime error 1 .. 4; 0: none
    std::string message;           // what failed, for a runtime error
};

// One line each, without the line end; utc from logutc.
std::string startrecord(const LogStart& start, const std::string& utc);
std::string statusrecord(const LogStatus& status, const std::string& utc);
std::string taisyncrecord(const LogTaiSync& sync, const std::string& utc);
std::string eloranfixrecord(const LogEloranFix& fix, const std::string& utc);
std::string eloranmessagerecord(const LogEloranMessage& message, const std::string& utc);
std::string linerecord(std::int32_t line, const std::string& utc);
std::string endrecord(const LogEnd& end, const std::string& utc);

struct MeasurementLog {
    std::string path;
    File file;
    bool on() const { return file.isopen(); }
};

// Opens the configured log for appending (nothing when the path is empty) and
// ends a cut last line. Throws RuntimeError 3 naming the file.
void openlog(MeasurementLog& log, const LogConfig& config);
// Appends record and a line end in one write; nothing when the log is off.
// Throws RuntimeError 3 naming the file.
void writerecord(MeasurementLog& log, const std::string& record);
// The same without throwing (for the end record of a failed run); false when
// the write failed.
bool trywriterecord(MeasurementLog& log, const std::string& record);
// Closes the log; throws RuntimeError 3 naming the file when that fails.
void closelog(MeasurementLog& log);

}  // namespace corvane
