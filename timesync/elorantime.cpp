#include "timesync/elorantime.h"

#include <cmath>
#include <cstdio>

#include "acquisition/clock.h"
#include "core/loran.h"
#include "core/numberformat.h"
#include "eloran/message.h"
#include "timesync/taisync.h"

namespace corvane {

namespace {

constexpr double agreementlimit = 1e-3;        // s, modulo the interval
constexpr std::int64_t hour10us = 360000000;   // one hour in 10 us
constexpr std::size_t messageskept = 64;

}  // namespace

std::int64_t nearesthour(std::uint32_t timeinhour, double nowutc) {
    const double now10us = nowutc * 1e5;
    if (!(std::fabs(now10us) < 1e18)) return 0;  // NaN, or beyond any date the messages can carry
    const auto base = static_cast<std::int64_t>(std::floor(now10us / static_cast<double>(hour10us))) * hour10us;
    std::int64_t best = base;
    double bestdistance = INFINITY;
    for (std::int64_t h = base - hour10us; h <= base + hour10us; h += hour10us) {
        const double distance = std::fabs(static_cast<double>(h + timeinhour) - now10us);
        if (distance < bestdistance) {
            bestdistance = distance;
            best = h;
        }
    }
    return best;
}

std::int64_t followinghour(const EloranTime::Hour& hour, std::uint32_t timeinhour) {
    // Half an hour earlier than the subtype 1 time can only be the next hour.
    if (static_cast<std::int64_t>(timeinhour) + hour10us / 2 < static_cast<std::int64_t>(hour.timeinhour))
        return hour.start + hour10us;
    return hour.start;
}

IntervalSplit splitintervals(double predicted, double observed, double interval) {
    IntervalSplit s;
    const double d = predicted - observed;
    const double k = std::floor(d / interval + 0.5);
    if (!std::isfinite(k) || std::fabs(k) > 9e15) return s;
    s.intervals = static_cast<std::int64_t>(k);
    s.residual = d - k * interval;
    return s;
}

void starteloranperiod(EloranTime& state) { state.fixedthisperiod = false; }

void keepeloranfix(EloranTime& state, ClockState& clock, double carried) {
    if (!state.held || !clock.timebase.synced || !(state.heldinterval > 0)) return;
    const IntervalSplit s = splitintervals(carried, clock.timebase.sampleepoch, state.heldinterval);
    if (std::fabs(s.residual) > agreementlimit) {
        state.held = false;
        return;
    }
    moveintervals(clock.timebase, s.intervals, state.heldinterval);
}

std::optional<EloranFix> takeeloranmessage(EloranTime& state, const eloran::ChannelMessage& message,
                                           const eloran::ListenedStation& station, double propagation,
                                           ClockState& clock, float clockoffset) {
    state.messages.push_back(message);
    if (state.messages.size() > messageskept) state.messages.erase(state.messages.begin());
    if (state.hours.size() <= message.entry) state.hours.resize(message.entry + 1);
    EloranTime::Hour& hour = state.hours[message.entry];
    const eloran::Message& m = message.framed.message;
    if (m.type != 6 || (m.subtype != 1 && m.subtype != 2)) return std::nullopt;
    if (m.timeinhour >= hour10us) return std::nullopt;  // not a time within the hour

    const double arrival = message.lastwordtime + griseconds(station.gri);  // buffer time
    std::int64_t utc10us = 0;
    if (m.subtype == 1) {
        hour.known = true;
        hour.start = eloran::hourstart(m.year, m.hourofyear);
        hour.timeinhour = m.timeinhour;
        utc10us = eloran::utctime(m);
    } else {
        state.leapknown = true;
        state.leap = m.leapseconds;
        const double nowutc = utctime(epochofbuffer(clock.timebase) + arrival, clock.leapsecs);
        const std::int64_t start = hour.known ? followinghour(hour, m.timeinhour) : nearesthour(m.timeinhour, nowutc);
        utc10us = eloran::utctime(m, start);
    }
    if (state.fixedthisperiod || !clock.timebase.synced) return std::nullopt;
    state.fixedthisperiod = true;

    const std::int32_t leapsecs = state.leapknown ? state.leap - programscaleoffset : clock.leapsecs;
    // Whole seconds and the rest apart, so that the 10 us stay exact.
    const double tot = programtime(static_cast<double>(utc10us / 100000), leapsecs) +
                       static_cast<double>(utc10us % 100000) * 1e-5;
    const double predicted = tot + propagation;
    const double observed = clock.timebase.sampleepoch + arrival;
    const double interval = phasecodeinterval(station.gri);
    const IntervalSplit s = splitintervals(predicted, observed, interval);
    EloranFix fix;
    fix.station = station.id;
    fix.residual = s.residual * 1000;
    fix.difference = (predicted - observed) * 1000;
    fix.match = std::fabs(s.residual) <= agreementlimit;
    if (fix.match) {
        moveintervals(clock.timebase, s.intervals, interval);
        state.held = true;
        state.heldinterval = interval;
    }
    fix.offset = clock.timebase.sampleepoch - clock.timebase.startepoch;
    fix.ut = uttext(clock.timebase.sampleepoch, clock.leapsecs, clockoffset);
    state.last = fix;
    return fix;
}

std::string eloranreport(const EloranFix& fix) {
    if (fix.match)
        return "eLoran match" + picture(" at ####.## s offset, residual ##.### ms, ", {fix.offset, fix.residual}) +
               " " + fix.ut + " UT";
    char text[160];
    std::snprintf(text, sizeof text,
                  "eLoran %s disagrees with the synchronised time by %.3f ms (%.3f ms modulo the phase code "
                  "interval); time kept",
                  fix.station.c_str(), fix.difference, fix.residual);
    return text;
}

}  // namespace corvane
