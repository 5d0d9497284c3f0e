#include "plotlog.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "core/calendar.h"

namespace corvane::plot {

namespace {

using json = nlohmann::json;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).

bool leap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Reads exactly n digits at pos.
bool digits(const std::string& s, std::size_t& pos, int n, std::int64_t& value) {
    if (pos + static_cast<std::size_t>(n) > s.size()) return false;
    value = 0;
    for (int i = 0; i < n; ++i) {
        const char c = s[pos + static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += static_cast<std::size_t>(n);
    return true;
}

bool expect(const std::string& s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

struct Parts {
    std::int64_t year;
    int month, day, hour, minute, second, millis;
};

Parts split(Millis t) {
    Parts p{};
    std::int64_t days = t / 86400000;
    std::int64_t rest = t % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    const CivilDate date = civilfromdays(days);
    p.year = date.year;
    p.month = date.month;
    p.day = date.day;
    p.hour = static_cast<int>(rest / 3600000);
    p.minute = static_cast<int>(rest / 60000 % 60);
    p.second = static_cast<int>(rest / 1000 % 60);
    p.millis = static_cast<int>(rest % 1000);
    return p;
}

double number(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return missing;
    const double v = it->get<double>();
    return std::isfinite(v) ? v : missing;
}

std::string text(const json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool flag(const json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_boolean() && it->get<bool>();
}

// A number as a short label: "6", "0.012".
std::string shortnumber(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string synclabel(const json& j) {
    std::string method = text(j, "method"), result = text(j, "result");
    if (method == "tai") method = "TAI";
    if (method == "eloran") method = "eLoran";
    std::string label = method + (result.empty() ? "" : " " + result);
    const std::string station = text(j, "station");
    if (!station.empty()) label += " " + station;
    return label;
}

std::string eloranlabel(const json& j) {
    std::string label = "eL " + text(j, "station");
    const double type = number(j, "msgtype");
    if (!std::isnan(type)) label += " t" + shortnumber(type);
    return label;
}

// A record read from a line, before the records are sorted into runs.
struct Entry {
    Millis utc;
    std::size_t order;  // position among all lines read, to keep ties stable
    json record;
};

}  // namespace

bool parseutc(const std::string& s, Millis& out) {
    std::size_t pos = 0;
    std::int64_t y, mo, d, h = 0, mi = 0, sec = 0, ms = 0;
    if (!digits(s, pos, 4, y) || !expect(s, pos, '-') || !digits(s, pos, 2, mo) || !expect(s, pos, '-') ||
        !digits(s, pos, 2, d))
        return false;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1) return false;
    static const int monthdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d > monthdays[mo - 1] + (mo == 2 && leap(y) ? 1 : 0)) return false;
    if (pos < s.size() && (s[pos] == 'T' || s[pos] == ' ')) {
        ++pos;
        if (!digits(s, pos, 2, h) || !expect(s, pos, ':') || !digits(s, pos, 2, mi)) return false;
        if (pos < s.size() && s[pos] == ':') {
            ++pos;
            if (!digits(s, pos, 2, sec)) return false;
            if (pos < s.size() && s[pos] == '.') {
                ++pos;
                // Fraction digits: milliseconds, rounded half up from the next digit.
                std::int64_t scale = 100;
                bool any = false;
                int roundup = -1;
                while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
                    const int digit = s[pos] - '0';
                    if (scale > 0) {
                        ms += digit * scale;
                        scale /= 10;
                    } else if (roundup < 0) {
                        roundup = digit >= 5 ? 1 : 0;
                    }
                    any = true;
                    ++pos;
                }
                if (!any) return false;
                if (roundup == 1) ++ms;
            }
        }
        if (h > 23 || mi > 59 || sec > 60) return false;
    }
    if (pos < s.size() && s[pos] == 'Z') ++pos;
    if (pos != s.size()) return false;
    out = ((daysfromcivil(y, mo, d) * 24 + h) * 60 + mi) * 60000 + sec * 1000 + ms;
    return true;
}

std::string formatutc(Millis t) {
    const Parts p = split(t);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02dT%02d:%02d:%02d.%03dZ", static_cast<long long>(p.year), p.month,
                  p.day, p.hour, p.minute, p.second, p.millis);
    return buf;
}

std::string formatdate(Millis t) {
    const Parts p = split(t);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d", static_cast<long long>(p.year), p.month, p.day);
    return buf;
}

std::string formathhmm(Millis t) {
    const Parts p = split(t);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", p.hour, p.minute);
    return buf;
}

std::string formathhmmss(Millis t) {
    const Parts p = split(t);
    char buf[12];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buf;
}

Log readlog(const std::vector<LogText>& files) {
    Log log;
    std::vector<Entry> entries;
    std::size_t order = 0;
    for (const LogText& file : files) {
        std::size_t pos = 0;
        std::int64_t lineno = 0;
        while (pos < file.text.size()) {
            std::size_t end = file.text.find('\n', pos);
            if (end == std::string::npos) end = file.text.size();
            std::string line = file.text.substr(pos, end - pos);
            pos = end + 1;
            ++lineno;
            if (lineno == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            json record = json::parse(line, nullptr, false);
            std::string reason;
            Millis utc = 0;
            if (record.is_discarded())
                reason = "not JSON";
            else if (!record.is_object())
                reason = "not a JSON object";
            else if (text(record, "type").empty())
                reason = "no \"type\"";
            else if (!parseutc(text(record, "utc"), utc))
                reason = "no valid \"utc\"";
            if (!reason.empty()) {
                log.skipped.push_back({file.path, lineno, reason});
                continue;
            }
            entries.push_back({utc, order++, std::move(record)});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.utc < b.utc; });

    for (const Entry& e : entries) {
        const json& j = e.record;
        const std::string type = text(j, "type");
        if (type == "start" || log.runs.empty()) {
            log.runs.emplace_back();
            log.runs.back().start = e.utc;
        }
        Run& run = log.runs.back();
        if (type == "start") {
            run.hasstart = true;
            run.reference = text(j, "reference");
            run.bmp = text(j, "bmp");
            const double d = number(j, "displaysamples");
            run.displaysamples = d >= 1 && d <= 1e6 ? static_cast<std::int64_t>(d) : 0;
            const double interval = number(j, "shortintegration");
            run.shortintegration = interval > 0 ? interval : missing;
            const auto st = j.find("stations");
            if (st != j.end() && st->is_array())
                for (const json& s : *st)
                    if (s.is_object() && !text(s, "id").empty())
                        run.stations.push_back({text(s, "id"), text(s, "name"), flag(s, "hidden")});
        } else if (type == "status") {
            StatusRecord r;
            r.utc = e.utc;
            r.utctext = text(j, "utc");
            r.sr = number(j, "sr");
            r.lo = number(j, "lo");
            r.lous = number(j, "lo_us");
            r.pc = number(j, "pc");
            const auto st = j.find("stations");
            if (st != j.end() && st->is_array())
                for (const json& s : *st)
                    if (s.is_object() && !text(s, "id").empty())
                        r.stations.push_back({text(s, "id"), number(s, "peak"), number(s, "edge"),
                                              number(s, "phase_deg"), number(s, "snr_db"),
                                              number(s, "toa_us"), number(s, "toa_sigma_us")});
            run.status.push_back(std::move(r));
        } else if (type == "sync") {
            run.events.push_back({e.utc, type, synclabel(j)});
        } else if (type == "eloran") {
            run.events.push_back({e.utc, type, eloranlabel(j)});
        } else if (type == "end") {
            const std::string reason = text(j, "reason");
            if (reason != "end of data") {
                std::string label = "end: " + reason;
                const std::string errtext = text(j, "text");
                if (!errtext.empty()) label += " (" + errtext + ")";
                run.events.push_back({e.utc, type, label});
            }
        } else if (type == "line") {
            const double n = number(j, "line");
            if (n >= 1 && n <= 1e12 && n == std::floor(n)) run.lines.push_back({e.utc, static_cast<std::int64_t>(n)});
        }
    }
    return log;
}

}  // namespace corvane::plot
