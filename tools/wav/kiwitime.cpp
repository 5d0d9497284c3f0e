#include "kiwitime.h"

#include <cmath>
#include <cstdio>

#include "core/calendar.h"

namespace corvane {

namespace {

constexpr std::int64_t secondsperday = 86400;
constexpr std::int64_t secondsperweek = 7 * secondsperday;
constexpr std::int64_t gpsepoch = 315964800;  // 1980-01-06 00:00:00 UTC, s since 1970
constexpr std::int64_t gpsminusutc = 18;      // s, since 2017-01-01

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int64_t floordiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

std::string datetimelines(std::int64_t utc, bool withdate) {
    const std::int64_t days = floordiv(utc, secondsperday), t = utc - days * secondsperday;
    const CivilDate c = civilfromdays(days);
    char text[80];
    std::string lines;
    if (withdate) {
        std::snprintf(text, sizeof text, "date = %02d-%02d-%04lld\n", c.month, c.day, static_cast<long long>(c.year));
        lines += text;
    }
    std::snprintf(text, sizeof text, "time = %02d:%02d:%02d\n", static_cast<int>(t / 3600),
                  static_cast<int>(t / 60 % 60), static_cast<int>(t % 60));
    return lines + text;
}

}  // namespace

KiwiStamp readkiwistamp(const unsigned char* payload) {
    return {payload[0], le32(payload + 2), le32(payload + 6)};
}

bool validkiwistamp(const KiwiStamp& s) {
    return s.fix != 255 && s.seconds < secondsperweek && s.nanoseconds < 1000000000u &&
           (s.fix != 0 || s.seconds != 0 || s.nanoseconds != 0);
}

std::optional<std::int64_t> filenameutc(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto digits = [&](std::size_t at, std::size_t n, std::int64_t& v) {
        v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (name[i] < '0' || name[i] > '9') return false;
            v = v * 10 + (name[i] - '0');
        }
        return true;
    };
    for (std::size_t at = 0; at + 16 <= name.size(); ++at) {
        std::int64_t y, mo, d, h, mi, s;
        if (name[at + 8] != 'T' || name[at + 15] != 'Z') continue;
        if (!digits(at, 4, y) || !digits(at + 4, 2, mo) || !digits(at + 6, 2, d) || !digits(at + 9, 2, h) ||
            !digits(at + 11, 2, mi) || !digits(at + 13, 2, s))
            continue;
        if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) continue;
        return daysfromcivil(y, mo, d) * secondsperday + h * 3600 + mi * 60 + s;
    }
    return std::nullopt;
}

std::string recordingtimelines(std::optional<double> gpsstart, std::optional<std::int64_t> nameutc) {
    if (gpsstart) {
        if (!nameutc) {
            // Without the week only the time of day is known.
            const auto sow = static_cast<std::int64_t>(std::llround(*gpsstart));
            return "; time from the recording's GPS time stamps; the file name gives no date\n" +
                   datetimelines(sow - gpsminusutc, false);
        }
        const std::int64_t gpsname = *nameutc - gpsepoch + gpsminusutc;
        const std::int64_t week = floordiv(gpsname, secondsperweek);
        double best = 0, bestgap = INFINITY;
        for (std::int64_t w = week - 1; w <= week + 1; ++w) {
            const double t = static_cast<double>(w * secondsperweek) + *gpsstart;
            const double gap = std::fabs(t - static_cast<double>(gpsname));
            if (gap < bestgap) {
                bestgap = gap;
                best = t;
            }
        }
        const std::int64_t utc = std::llround(best) + gpsepoch - gpsminusutc;
        return "; date and time from the recording's GPS time stamps (week from the file name)\n" +
               datetimelines(utc, true);
    }
    if (nameutc) return "; date and time from the file name (no GPS fix in the recording)\n" + datetimelines(*nameutc, true);
    return std::string();
}

}  // namespace corvane
