#include "timesync/elorantime.h"

#include <gtest/gtest.h>

#include "acquisition/clock.h"

namespace corvane {
namespace {

constexpr std::int64_t hour10us = 360000000;

TEST(EloranTime, HourOfASubtype2Time) {
    // Nearest to the monitor's time: 59:00 into the hour seen at 10:00:30 is
    // 09:59:00; 00:30 seen then is 10:00:30; 01:00 seen at 09:59:50 is 10:01.
    EXPECT_EQ(nearesthour(59 * 6000000, 10 * 3600 + 30), 9 * hour10us);
    EXPECT_EQ(nearesthour(30 * 100000, 10 * 3600 + 30), 10 * hour10us);
    EXPECT_EQ(nearesthour(60 * 100000, 9 * 3600 + 3590), 10 * hour10us);
    // After a subtype 1 at 05:59:58, a subtype 2 at 00:02 is in hour 6, one
    // at 59:59 still in hour 5.
    EloranTime::Hour h{true, 5 * hour10us, 35998 * 10000};
    EXPECT_EQ(followinghour(h, 2 * 100000), 6 * hour10us);
    EXPECT_EQ(followinghour(h, 3599 * 100000), 5 * hour10us);
}

TEST(EloranTime, SplitsADifferenceIntoWholeIntervals) {
    const IntervalSplit a = splitintervals(10.0, 9.7308, 0.13462);  // 2 intervals less 40 us
    EXPECT_EQ(a.intervals, 2);
    EXPECT_NEAR(a.residual, -40e-6, 1e-9);
    const IntervalSplit b = splitintervals(5.0, 5.0 + 7 * 0.13462 - 1e-4, 0.13462);
    EXPECT_EQ(b.intervals, -7);
    EXPECT_NEAR(b.residual, 1e-4, 1e-9);
}

// 2025-12-07 18:00:00 UTC is 2143821600 s after 1958-01-01; hour 8178 of 2025.
constexpr double hour8178 = 2143821600.0;
constexpr double propagation = 314e-6;
constexpr double interval = 0.13462;  // GRI 6731

eloran::ChannelMessage utcmessage(int subtype, std::uint32_t timeinhour, double lastwordtime) {
    eloran::ChannelMessage m;
    m.framed.message.type = 6;
    m.framed.message.subtype = subtype;
    m.framed.message.timeinhour = timeinhour;
    m.framed.message.year = 25;
    m.framed.message.hourofyear = 8178;
    m.framed.message.leapseconds = 27;
    m.lastwordtime = lastwordtime;
    return m;
}

TEST(EloranTime, MovesSampleEpochByWholeIntervalsOncePerPeriod) {
    const eloran::ListenedStation st{1, 6731, "6731Y"};
    ClockState clock;
    clock.leapsecs = 5;
    clock.timebase.synced = true;
    // Arrival at buffer time 4 + 0.06731 s of the group sent at 18:00:38.22870
    // UTC = program time hour8178 + 38.2287 + 27; the clock three intervals
    // late and 0.2 ms early of that.
    const double predicted = hour8178 + 38.2287 + 27 + propagation;
    clock.timebase.sampleepoch = predicted - 4.06731 - 3 * interval + 0.0002;
    clock.timebase.startepoch = clock.timebase.sampleepoch - 1.5;
    const double before = clock.timebase.sampleepoch;
    EloranTime state;
    starteloranperiod(state);
    auto fix = takeeloranmessage(state, utcmessage(1, 3822870, 4.0), st, propagation, clock, 0);
    ASSERT_TRUE(fix.has_value());
    EXPECT_TRUE(fix->match);
    EXPECT_NEAR(fix->residual, -0.2, 1e-3);
    EXPECT_NEAR(clock.timebase.sampleepoch - before, 3 * interval, 1e-6);
    EXPECT_NEAR(fix->offset, 1.5 + 3 * interval, 1e-6);
    EXPECT_EQ(eloranreport(*fix).substr(0, 48), "eLoran match at    1.90 s offset, residual -0.20");
    // The next message of the period makes no attempt.
    EXPECT_FALSE(takeeloranmessage(state, utcmessage(2, 4024800, 6.0193), st, propagation, clock, 0));

    // A new period whose synchronisation is half an interval off: they
    // disagree and sampleepoch stays.
    starteloranperiod(state);
    clock.timebase.sampleepoch += 0.5 * interval;
    const double kept = clock.timebase.sampleepoch;
    fix = takeeloranmessage(state, utcmessage(1, 4226730, 8.0386), st, propagation, clock, 0);
    ASSERT_TRUE(fix.has_value());
    EXPECT_FALSE(fix->match);
    EXPECT_EQ(clock.timebase.sampleepoch, kept);
}

TEST(EloranTime, Subtype2AloneTakesTheNearestHourAndItsLeapSeconds) {
    const eloran::ListenedStation st{0, 6731, "6731Y"};
    ClockState clock;
    clock.leapsecs = 4;  // the program's own count one short
    clock.timebase.synced = true;
    const double predicted = hour8178 + 40.248 + 27 + propagation;
    clock.timebase.sampleepoch = predicted - 2.06731 + 5 * interval;  // five intervals early
    clock.timebase.startepoch = clock.timebase.sampleepoch;
    EloranTime state;
    auto fix = takeeloranmessage(state, utcmessage(2, 4024800, 2.0), st, propagation, clock, 0);
    ASSERT_TRUE(fix.has_value());
    EXPECT_TRUE(fix->match);
    EXPECT_NEAR(fix->residual, 0, 1e-3);
    EXPECT_NEAR(clock.timebase.sampleepoch - clock.timebase.startepoch, -5 * interval, 1e-6);
}

TEST(EloranTime, APeriodEndKeepsAFixOnlyWhenTheNewSynchronisationAgrees) {
    EloranTime state;
    state.held = true;
    state.heldinterval = interval;
    ClockState clock;
    clock.timebase.synced = true;
    const double carried = 2.1e9 + 12.5;  // the old epoch plus the old buffer end
    clock.timebase.sampleepoch = carried - 2 * interval + 0.0004;
    keepeloranfix(state, clock, carried);
    EXPECT_NEAR(clock.timebase.sampleepoch, carried + 0.0004, 1e-6);
    EXPECT_TRUE(state.held);
    clock.timebase.sampleepoch = carried + 0.3 * interval;  // a fraction off: dropped
    keepeloranfix(state, clock, carried);
    EXPECT_EQ(clock.timebase.sampleepoch, carried + 0.3 * interval);
    EXPECT_FALSE(state.held);
}

TEST(EloranTime, NoAttemptBeforeASynchronisation) {
    ClockState clock;
    EloranTime state;
    EXPECT_FALSE(takeeloranmessage(state, utcmessage(1, 0, 1.0), {0, 6731, "6731Y"}, propagation, clock, 0));
}

}  // namespace
}  // namespace corvane
