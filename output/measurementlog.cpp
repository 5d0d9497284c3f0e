#include "output/measurementlog.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <variant>

#include "core/calendar.h"
#include "core/errors.h"
#include "core/loran.h"

namespace corvane {

namespace {

// Days from 1958-01-01 to 1970-01-01; the last millisecond of 9999.
constexpr std::int64_t days1958to1970 = 4383;
constexpr double lastmillisecond = 2937280.0 * 86400000.0 - 1;  // 2937280 days from 1958 to 10000

template <typename T>
std::string shortest(T v) {
    if (!std::isfinite(v)) return "null";
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

std::string fail(const MeasurementLog& log, const char* action) {
    return std::string("cannot ") + action + " log file \"" + log.path + "\": " + lastoserror();
}

}  // namespace

void JsonWriter::separate() {
    if (needcomma_) out_ += ',';
    needcomma_ = true;
}

JsonWriter& JsonWriter::open(char bracket) {
    separate();
    out_ += bracket;
    needcomma_ = false;
    return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
    out_ += bracket;
    needcomma_ = true;
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    out_ += jsonstring(name);
    out_ += ':';
    needcomma_ = false;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    separate();
    out_ += jsonstring(text);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    separate();
    out_ += shortest(number);
    return *this;
}

JsonWriter& JsonWriter::value(float number) {
    separate();
    out_ += shortest(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

std::string jsonstring(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string logutc(double program, std::int32_t leapsecs, float clockoffset) {
    double ms = std::round((utctime(program, leapsecs) - static_cast<double>(clockoffset)) * 1000);
    if (!(ms >= 0)) ms = 0;  // NaN too
    if (ms > lastmillisecond) ms = lastmillisecond;
    const auto total = static_cast<std::int64_t>(ms);
    const std::int64_t days = total / 86400000;
    const std::int64_t rest = total % 86400000;
    const CivilDate date = civilfromdays(days - days1958to1970);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(date.year),
                  date.month, date.day, static_cast<long long>(rest / 3600000), static_cast<long long>(rest / 60000 % 60),
                  static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
    return text;
}

namespace {

JsonWriter begin(const char* type, const std::string& utc) {
    JsonWriter w;
    w.open('{').field("type", type).field("utc", utc);
    return w;
}

}  // namespace

std::string startrecord(const LogStart& s, const std::string& utc) {
    JsonWriter w = begin("start", utc);
    w.field("version", s.version).field("settings", s.settings).field("mode", s.live ? "live" : "recording");
    w.field("file", s.file).field("lat", s.lat).field("lon", s.lon).field("sr", s.sr);
    w.field("displaysamples", s.displaysamples).field("shortintegration", s.shortintegration);
    w.field("longintegration", s.longintegration).field("bmp", s.bmp).field("reference", s.reference);
    w.key("stations").open('[');
    for (const LogStation& st : s.stations) {
        w.open('{').field("id", st.id).field("gri", st.gri).field("letter", st.letter).field("name", st.name);
        w.field("distance_km", st.distancekm).field("emission_delay_ms", st.emissiondelayms);
        w.field("blanked", st.blanked).field("hidden", st.hidden).close('}');
    }
    w.close(']').close('}');
    return w.text();
}

std::string statusrecord(const LogStatus& s, const std::string& utc) {
    JsonWriter w = begin("status", utc);
    w.field("max", s.max).field("edge", s.edge).field("sr", s.sr).field("lo", s.lo).field("lo_us", s.lous);
    if (s.live) w.field("pc", s.pc);
    w.field("locked", s.locked);
    w.key("stations").open('[');
    const float none = NAN;
    for (const LogStationStatus& st : s.stations) {
        w.open('{').field("id", st.id);
        w.field("peak", st.analysed ? st.peak : none).field("edge", st.analysed ? st.edge : none);
        w.field("phase_deg", st.analysed ? st.phasedeg : none).field("snr_db", st.analysed ? st.snrdb : none);
        w.close('}');
    }
    w.close(']').close('}');
    return w.text();
}

std::string taisyncrecord(const LogTaiSync& s, const std::string& utc) {
    JsonWriter w = begin("sync", utc);
    w.field("method", "tai").field("result", s.match ? "match" : "guess").field("offset_s", s.offset);
    w.field("rel_error", s.relerror).field("ut", s.ut);
    if (std::isfinite(s.ambiguityms)) w.field("ambiguity_ms", s.ambiguityms);
    w.field("candidates", s.candidates);
    if (std::isfinite(s.runnerup)) w.field("runnerup_offset_s", s.runnerup);
    w.key("references").open('[');
    for (const LogSyncReference& r : s.references) {
        w.open('{').field("id", r.id).field("measured", r.measured).field("peak_s", r.peaktime);
        if (std::isfinite(r.peak)) w.field("peak", r.peak);
        if (std::isfinite(r.residualms)) w.field("residual_ms", r.residualms);
        w.close('}');
    }
    w.close(']').close('}');
    return w.text();
}

std::string eloranfixrecord(const LogEloranFix& f, const std::string& utc) {
    JsonWriter w = begin("sync", utc);
    w.field("method", "eloran").field("result", f.result).field("station", f.station);
    w.field("offset_s", f.offset).field("residual_ms", f.residualms).field("ut", f.ut).close('}');
    return w.text();
}

std::string eloranmessagerecord(const LogEloranMessage& m, const std::string& utc) {
    JsonWriter w = begin("eloran", utc);
    w.field("station", m.station).field("msgtype", m.msgtype).field("subtype", m.subtype);
    for (const eloran::MessageValue& v : m.values)
        std::visit([&](const auto& value) { w.field(v.key, value); }, v.value);
    w.field("words", m.words).close('}');
    return w.text();
}

std::string linerecord(std::int32_t line, const std::string& utc) {
    JsonWriter w = begin("line", utc);
    w.field("line", line).close('}');
    return w.text();
}

std::string endrecord(const LogEnd& e, const std::string& utc) {
    JsonWriter w = begin("end", utc);
    w.field("reason", e.reason).field("status", e.status);
    if (e.error != 0) w.field("error", e.error).field("text", errortext(e.error)).field("message", e.message);
    w.close('}');
    return w.text();
}

void openlog(MeasurementLog& log, const LogConfig& config) {
    log.path = config.path;
    if (config.path.empty()) return;
    if (!log.file.open(config.path, File::Mode::append))
        throw RuntimeError(fileioerror, fail(log, "open"));
    const std::int64_t length = log.file.length();
    if (length < 0) throw RuntimeError(fileioerror, fail(log, "read"));
    if (length > 0) {
        char last = 0;
        if (log.file.readat(length - 1, &last, 1) != 1) throw RuntimeError(fileioerror, fail(log, "read"));
        // A run killed while writing left its last line cut: end it, so that
        // the records of this run start on lines of their own.
        if (last != '\n' && !log.file.write("\n", 1)) throw RuntimeError(fileioerror, fail(log, "write"));
    }
}

bool trywriterecord(MeasurementLog& log, const std::string& record) {
    if (!log.on()) return true;
    const std::string line = record + '\n';
    return log.file.write(line.data(), line.size());
}

void writerecord(MeasurementLog& log, const std::string& record) {
    if (!trywriterecord(log, record)) throw RuntimeError(fileioerror, fail(log, "write"));
}

void closelog(MeasurementLog& log) {
    if (log.on() && !log.file.close()) throw RuntimeError(fileioerror, fail(log, "close"));
}

}  // namespace corvane
