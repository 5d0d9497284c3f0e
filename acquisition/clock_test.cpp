#include "acquisition/clock.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/testing.h"

namespace corvane {
namespace {

TEST(Clock, DayNumbersAreExactFrom1958) {
    EXPECT_EQ(daysince1958(1958, 1, 1), 0);
    EXPECT_EQ(daysince1958(2001, 1, 1), 15706);
    EXPECT_EQ(daysince1958(2000, 3, 1), 15400);
    EXPECT_EQ(daysince1958(2000, 2, 29), 15399);  // the old formula was one day high here
    EXPECT_EQ(daysince1958(1972, 1, 1), 5113);
    EXPECT_EQ(daysince1958(1960, 3, 1), 790);
}

TEST(Clock, LeapSecondsIncludeThoseAfter2012) {
    EXPECT_EQ(leapseconds(2012, 12), 3);
    EXPECT_EQ(leapseconds(2012, 6), 2);
    EXPECT_EQ(leapseconds(2009, 1), 2);
    EXPECT_EQ(leapseconds(2005, 12), 0);
    EXPECT_EQ(leapseconds(2015, 6), 3);
    EXPECT_EQ(leapseconds(2015, 7), 4);
    EXPECT_EQ(leapseconds(2017, 1), 5);
    EXPECT_EQ(leapseconds(2026, 12), 5);
}

TEST(Clock, StartEpoch) {
    ClockConfig s;
    ClockState c;
    c.date = "01-01-2001";
    c.time = "00:30:00";
    s.utcoffset = 1;
    computestartepoch(c, s, false);
    EXPECT_EQ(c.daynumber, 15706);
    EXPECT_EQ(c.leapsecs, 0);
    // s = -1800 + 0 + 32, used unchanged although negative.
    EXPECT_DOUBLE_EQ(c.timebase.startepoch, 15706.0 * 86400 + (-1800 + 32) - 10);

    // Loran time is UTC + 27 s since 2017: program scale = UTC + 22 + 5.
    c.date = "12-07-2025";
    c.time = "18:35:31";
    s.utcoffset = 0;
    s.clockoffset = 0.25f;
    computestartepoch(c, s, false);
    EXPECT_EQ(c.leapsecs, 5);
    double utc = daysince1958(2025, 12, 7) * 86400.0 + 18 * 3600 + 35 * 60 + 31;
    EXPECT_DOUBLE_EQ(c.timebase.startepoch, utc + 27 + 0.25);
}

TEST(Clock, GarbageDateAndTimeStayFinite) {
    ClockConfig s;
    ClockState c;
    c.date = "99999999999999999999";
    c.time = "xx";
    computestartepoch(c, s, false);
    EXPECT_TRUE(std::isfinite(c.timebase.startepoch));
}

TEST(Clock, ReadingCalibratesAndConfidenceFollowsAgreement) {
    ClockConfig s;
    ClockState c;
    testing::FakeClock clock;
    clock.now = 5000.5;
    clock.offset = 1000;  // local time of day = 4000.5 s
    c.timercal = 1000;
    c.calconfidence = 3;
    readpcclock(c, s, clock);
    EXPECT_EQ(c.secondofday, 4000);
    EXPECT_EQ(c.calconfidence, 3);
    EXPECT_NEAR(c.pcclock, 4000.5, 1e-9);

    // One reading a second off lowers the confidence and keeps the calibration.
    clock.offset = 999;
    readpcclock(c, s, clock);
    EXPECT_EQ(c.calconfidence, 2);
    EXPECT_DOUBLE_EQ(c.timercal, 1000);
}

TEST(Clock, ReadingAcrossLocalMidnight) {
    ClockConfig s;
    ClockState c;
    testing::FakeClock clock;
    clock.offset = 1000;
    clock.now = 1000 + 86399.7;  // just before midnight
    readpcclock(c, s, clock);
    c.timercal = 1000;
    c.calconfidence = 3;
    clock.now = 1000 + 86400.6;  // just after: the wall clock restarts at 0
    readpcclock(c, s, clock);
    EXPECT_EQ(c.secondofday, 0);
    EXPECT_EQ(c.calconfidence, 3);
    EXPECT_NEAR(c.timercal, 1000 + 86400, 0.01);
    EXPECT_NEAR(c.pcclock, 0.6, 0.01);
}

// The wall clock reads UTC; the local day is UTC + utcoffset hours, so the
// calibration of a UTC + 2 monitor crosses its midnight at 22:00 UTC.
TEST(Clock, LocalTimeIsTheSystemUtcPlusTheOffset) {
    ClockConfig s;
    s.utcoffset = 2;
    ClockState c;
    testing::FakeClock clock;
    clock.offset = 1000;
    clock.now = 1000 + 22 * 3600 - 0.4;  // 21:59:59.6 UTC, 23:59:59.6 local
    readpcclock(c, s, clock);
    EXPECT_EQ(c.secondofday, 86399);
    c.timercal = 1000 - 2 * 3600;
    c.calconfidence = 3;
    clock.now += 1;
    readpcclock(c, s, clock);
    EXPECT_EQ(c.secondofday, 0);
    EXPECT_EQ(c.calconfidence, 3);
    EXPECT_NEAR(c.pcclock, 0.6, 0.01);
    s.utcoffset = -5;
    readpcclock(c, s, clock);
    EXPECT_EQ(c.secondofday, 17 * 3600);  // 22:00:00.6 UTC is 17:00 local

    // Dates carry over the day, the month, a leap day and the year.
    auto shifted = [](const char* date, const char* time, std::int32_t hours) {
        const Clock::DateTime t = shifteddatetime({date, time}, hours);
        return t.date + " " + t.time;
    };
    EXPECT_EQ(shifted("12-31-2024", "23:30:05", 1), "01-01-2025 00:30:05");
    EXPECT_EQ(shifted("03-01-2024", "01:00:00", -2), "02-29-2024 23:00:00");
    EXPECT_EQ(shifted("03-01-2023", "01:00:00", -2), "02-28-2023 23:00:00");
    EXPECT_EQ(shifted("06-15-2024", "12:00:00", 0), "06-15-2024 12:00:00");
    EXPECT_EQ(shifted("06-15-2024", "12:00:00", -36), "06-14-2024 00:00:00");
    EXPECT_EQ(shifted("06-15-2024", "12:00:00", 24 * 365), "06-15-2025 12:00:00");
    EXPECT_EQ(shifted("", "12:00:00", 5), " 12:00:00");  // no date: left as it is
}

TEST(Clock, SecondTickSyncWaitsForTheNextSecond) {
    ClockConfig s;
    ClockState c;
    testing::FakeClock clock;
    clock.offset = 1000;
    clock.now = 1000 + 100.3;
    secondticksync(c, s, clock);
    EXPECT_EQ(c.calconfidence, 3);
    EXPECT_EQ(c.secondofday, 101);
    // The counter at the first reading of second 101 was 1101.05 (polled every 50 ms).
    EXPECT_NEAR(c.timercal, 1101.05 - 101 - 0.5 + 0.475, 1e-6);
    // The tick correction is the real64 0.47499999962747097; the real32 0.475
    // (0.4749999940395355) would be 5.6 ns off.
    EXPECT_NEAR(c.timercal - c.lastestimate, 0.47499999962747097, 1e-9);
    ASSERT_FALSE(clock.sleeps.empty());
    EXPECT_EQ(clock.sleeps.front(), 50);
}

TEST(Clock, ComparisonAcrossMidnight) {
    ClockConfig s;
    s.framebytes = 4;
    ClockState c;
    c.leapsecs = 0;
    c.timebase.startepoch = 86400.0 * 100;  // midnight
    // PC clock says 86399.5 - 22 local, samples say 0.2 s after midnight.
    compareclocks(c, s, 86399.5f - 22, 0, 0.2, 22050);
    EXPECT_DOUBLE_EQ(c.blocktimeofday, 0.2);
    EXPECT_NEAR(c.pcclockerror, -0.7, 1e-3);

    // Unread bytes lie after the buffer end: 22050 frames of 4 bytes are 1 s.
    compareclocks(c, s, 1000.0f, 88200, 0, 22050);
    EXPECT_NEAR(c.pcblocktime, 1000 - 1 + 22, 1e-3);
}

TEST(Clock, ComparisonStaysExactAfter200Days) {
    ClockConfig s;
    ClockState c;
    c.timebase.startepoch = 86400.0 * 100;  // midnight
    // 200 days and 3600.3 s of samples; the PC clock agrees (3600.3 s of the
    // day, 22 s program-scale offset taken off).
    const double bufend = 200 * 86400.0 + 3600.3;
    compareclocks(c, s, 3600.3f - 22, 0, bufend, 22050);
    EXPECT_DOUBLE_EQ(c.blocktimeofday, bufend);
    // In real32 the time of day would be 17283600 (steps of 2 s): 0.3 s off.
    EXPECT_NEAR(c.pcclockerror, 0, 1e-3);
}

}  // namespace
}  // namespace corvane
