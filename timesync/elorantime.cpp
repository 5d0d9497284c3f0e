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

}  // namespace

std::int64_t nearesthour(std::uint32_t timeinhour, double nowutc) {
    const double now10us = nowutc * static_cast<double>(tenuspersecond);
    if (!(std::fabs(now10us) < 1e18)) return 0;  // NaN, or beyond any date the messages can carry
    const auto base = static_cast<std::int64_t>(std::floor(now10us / static_cast<double>(tenusperhour))) * tenusperhour;
    std::int64_t best = base;
    double bestdistance = INFINITY;
    for (std::int64_t h = base - tenusperhour; h <= base + tenusperhour; h += tenusperhour) {
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
    if (static_cast<std::int64_t>(timeinhour) + tenusperhour / 2 < static_cast<std::int64_t>(hour.timeinhour))
        return hour.start + tenusperhour;
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

namespace {

// The UTC transmission time of a subtype 1 message (10 us since 1958 UTC);
// its hour is kept for the subtype 2 messages after it.
std::int64_t takehourmessage(EloranTime::Hour& hour, const eloran::Message& m) {
    hour.known = true;
    hour.start = eloran::hourstart(m.year, m.hourofyear);
    hour.timeinhour = m.timeinhour;
    return eloran::utctime(m);
}

// The UTC transmission time of a subtype 2 message (10 us since 1958 UTC),
// whose hour comes from the latest subtype 1 message or, before one, from the
// monitor's own time at the arrival (buffer time, s); its leap seconds are kept.
std::int64_t takeleapmessage(EloranTime& state, const EloranTime::Hour& hour, const eloran::Message& m,
                             const ClockState& clock, double arrival) {
    state.leapknown = true;
    state.leap = m.leapseconds;
    const double nowutc = utctime(epochofbuffer(clock.timebase) + arrival, clock.leapsecs);
    const std::int64_t start = hour.known ? followinghour(hour, m.timeinhour) : nearesthour(m.timeinhour, nowutc);
    return eloran::utctime(m, start);
}

// Program time of the arrival predicted from the transmission time (10 us
// since 1958 UTC) and the propagation time (s), with the message's leap
// seconds once one has come, else the program's count `leapsecs`.
double predictedarrival(const EloranTime& state, std::int64_t utc10us, double propagation, std::int32_t leapsecs) {
    const std::int32_t leap = state.leapknown ? state.leap - programscaleoffset : leapsecs;
    // Whole seconds and the rest apart, so that the 10 us stay exact.
    const double tot = programtime(static_cast<double>(utc10us / tenuspersecond), leap) +
                       static_cast<double>(utc10us % tenuspersecond) * 1e-5;
    return tot + propagation;
}

// Compares the predicted arrival (program time) with the observed one (buffer
// time `arrival` on the time base) and, when they agree modulo the phase code
// interval, moves the time base by the whole intervals between them.
EloranFix fixtimebase(EloranTime& state, const eloran::ListenedStation& station, double predicted, double arrival,
                      ClockState& clock, float clockoffset) {
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
    return fix;
}

}  // namespace

std::optional<EloranFix> takeeloranmessage(EloranTime& state, const eloran::ChannelMessage& message,
                                           const eloran::ListenedStation& station, double propagation,
                                           ClockState& clock, float clockoffset) {
    if (state.hours.size() <= message.entry) state.hours.resize(message.entry + 1);
    EloranTime::Hour& hour = state.hours[message.entry];
    const eloran::Message& m = message.framed.message;
    if (!eloran::isutchour(m) && !eloran::isutcleap(m)) return std::nullopt;
    if (m.timeinhour >= tenusperhour) return std::nullopt;  // not a time within the hour

    const double arrival = message.lastwordtime + griseconds(station.gri);  // buffer time
    const std::int64_t utc10us =
        eloran::isutchour(m) ? takehourmessage(hour, m) : takeleapmessage(state, hour, m, clock, arrival);
    if (state.fixedthisperiod || !clock.timebase.synced) return std::nullopt;
    state.fixedthisperiod = true;
    const double predicted = predictedarrival(state, utc10us, propagation, clock.leapsecs);
    return fixtimebase(state, station, predicted, arrival, clock, clockoffset);
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
