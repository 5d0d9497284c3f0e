#include "acquisition/clock.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/calendar.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "core/numberformat.h"
#include "platform/platform.h"

namespace corvane {

namespace {

// The program time scale, UTC + programscaleoffset + leapsecs, reached in
// two steps whose rounding is part of the start epoch: TAI - UTC as it stood
// before 2006 (32 s) added in the whole seconds, then the 10 s TAI - UTC of
// 1972 taken off in real64.
constexpr std::int32_t taiutcbefore2006 = 32;
constexpr double taiutc1972 = 10.0;
static_assert(taiutcbefore2006 - taiutc1972 == programscaleoffset);

// The number at a fixed 1-based character position of a date or time text.
double fieldat(const std::string& text, size_t first, size_t count) {
    if (first - 1 >= text.size()) return 0;
    return readnumber(std::string_view(text).substr(first - 1, count));
}

// Keeps parsed date and time parts in a range where no arithmetic overflows.
std::int32_t part(double v) {
    return toint32(std::fmax(-1000000.0, std::fmin(1000000.0, v)));
}

}  // namespace

void readpcclock(ClockState& state, const ClockConfig& config, Clock& clock) {
    double t = clock.counter();
    std::string now = clock.timetext();
    const double utc = 3600 * fieldat(now, 1, 2) + 60 * fieldat(now, 4, 2) + fieldat(now, 7, 2);
    const double local = utc + 3600.0 * config.utcoffset;
    state.secondofday = part(local - 86400 * std::floor(local / 86400));
    double estimate = t - state.secondofday - 0.5;
    state.lastestimate = estimate;
    if (estimate - state.timercal > 43200) state.timercal += 86400;  // past local midnight
    if (std::fabs(estimate - state.timercal) <= 0.6) {
        state.timercal += (estimate - state.timercal) * config.timercalavfac;
        if (state.calconfidence < 3) ++state.calconfidence;
    } else if (state.calconfidence > 0) {
        --state.calconfidence;
    }
    state.pcclock = t - state.timercal;
}

Clock::DateTime shifteddatetime(const Clock::DateTime& utc, std::int32_t hours) {
    int field[6] = {};
    const std::string text = utc.date + " " + utc.time;
    if (std::sscanf(text.c_str(), "%2d-%2d-%4d %2d:%2d:%2d", &field[0], &field[1], &field[2], &field[3], &field[4],
                    &field[5]) != 6 || field[0] < 1 || field[0] > 12)
        return utc;
    const std::int64_t t = field[3] * 3600LL + field[4] * 60LL + field[5] + 3600LL * hours;
    const std::int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    const std::int64_t s = t - days * 86400;
    const CivilDate d = civilfromdays(daysfromcivil(field[2], field[0], field[1]) + days);
    char date[32], time[16];
    std::snprintf(date, sizeof date, "%02d-%02d-%04lld", d.month, d.day, static_cast<long long>(d.year));
    std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return {date, time};
}

void secondticksync(ClockState& state, const ClockConfig& config, Clock& clock) {
    readpcclock(state, config, clock);
    const std::int32_t remembered = state.secondofday;
    while (state.secondofday == remembered) {
        readpcclock(state, config, clock);
        clock.sleepms(50);
    }
    // A reading that polls every 50 ms falls on average 0.025 s after the tick.
    // The constant is kept in real64 as calibrated; the real32 0.475 would be
    // 5.6 ns short.
    constexpr double tickcorrection = 0.47499999962747097;
    state.timercal = state.lastestimate + tickcorrection;
    state.calconfidence = 3;
}

std::int32_t daysince1958(std::int32_t year, std::int32_t month, std::int32_t day) {
    std::int64_t m = month < 1 ? 1 : month > 12 ? 12 : month;
    // Out-of-range days count on from the first of the month, as the
    // month-table sum does.
    std::int64_t n = daysfromcivil(year, m, 1) + (static_cast<std::int64_t>(day) - 1) - daysfromcivil(1958, 1, 1);
    return static_cast<std::int32_t>(n);
}

std::int32_t leapseconds(std::int32_t year, std::int32_t month) {
    return (year > 2005) + (year > 2008) + (year > 2012 || (year == 2012 && month >= 7)) +
           (year > 2015 || (year == 2015 && month >= 7)) + (year > 2016);
}

void computestartepoch(ClockState& state, const ClockConfig& config, bool live) {
    const std::string& date = state.date;
    std::int32_t year = part(date.size() >= 4 ? readnumber(std::string_view(date).substr(date.size() - 4)) : 0);
    std::int32_t month = part(fieldat(date, 1, 2));
    std::int32_t day = part(fieldat(date, 4, 2));
    state.daynumber = daysince1958(year, month, day);
    state.leapsecs = leapseconds(year, month);

    const std::string& time = state.time;
    std::int64_t hour = part(fieldat(time, 1, 2));
    std::int64_t minute = part(fieldat(time, 4, 2));
    std::int64_t second = part(fieldat(time, 7, 2));
    std::int64_t s = (hour - config.utcoffset) * 3600 + minute * 60 + second + state.leapsecs + taiutcbefore2006;
    float seconds = static_cast<float>(s) + config.clockoffset;
    setstartepoch(state.timebase,
                  static_cast<double>(state.daynumber) * 86400.0 + static_cast<double>(seconds) - taiutc1972, live);
}

void compareclocks(ClockState& state, const ClockConfig& config, float fileopentime,
                   std::int64_t bytesleft, double bufend, double sr) {
    const double epoch = epochofbuffer(state.timebase);
    state.blocktimeofday = epoch - std::floor(epoch / 86400) * 86400 + bufend;
    double pc = fileopentime - (static_cast<double>(bytesleft) / sr) / config.framebytes -
                3600.0 * config.utcoffset + state.leapsecs + config.clockoffset + programscaleoffset;
    if (pc < 0) pc += 86400;
    state.pcblocktime = toreal32(pc);
    double days = std::nearbyint((static_cast<double>(state.pcblocktime) - state.blocktimeofday) / 86400);
    if (!std::isfinite(days)) days = 0;
    state.pcclockerror = toreal32(static_cast<double>(state.pcblocktime) - state.blocktimeofday - 86400 * days);
}

}  // namespace corvane
