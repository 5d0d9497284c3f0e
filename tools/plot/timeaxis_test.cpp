#include "timeaxis.h"

#include <gtest/gtest.h>

namespace corvane::plot {
namespace {

Millis at(const char* text) {
    Millis t = 0;
    EXPECT_TRUE(parseutc(text, t)) << text;
    return t;
}

std::vector<std::string> labels(const std::vector<TimeTick>& ticks) {
    std::vector<std::string> out;
    for (const TimeTick& t : ticks) out.push_back(t.label + (t.date.empty() ? "" : "|" + t.date));
    return out;
}

TEST(TimeTicks, RoundStepsWithinTheRange) {
    // 18:35:31 .. 18:44:10 with at most 10 ticks: a 1-minute step gives 9
    // ticks 18:36 .. 18:44, so it is the smallest that fits.
    EXPECT_EQ(labels(timeticks(at("2025-12-07T18:35:31Z"), at("2025-12-07T18:44:10Z"), 10)),
              (std::vector<std::string>{"18:36", "18:37", "18:38", "18:39", "18:40", "18:41", "18:42", "18:43", "18:44"}));
    // The same with at most 5: 2 minutes gives 5 (36, 38, 40, 42, 44).
    EXPECT_EQ(timestep(at("2025-12-07T18:35:31Z"), at("2025-12-07T18:44:10Z"), 5), 120000);
    // A tick exactly at either end counts.
    EXPECT_EQ(labels(timeticks(at("2025-12-07T10:00:00Z"), at("2025-12-07T10:00:20Z"), 3)),
              (std::vector<std::string>{"10:00:00", "10:00:10", "10:00:20"}));
    // Ten hours: at most 5 ticks take 2-hour steps (10 .. 18), at most 4
    // take 3-hour steps counted from midnight.
    EXPECT_EQ(timestep(at("2025-12-07T08:10Z"), at("2025-12-07T18:10Z"), 5), 2 * 3600000);
    EXPECT_EQ(labels(timeticks(at("2025-12-07T08:10Z"), at("2025-12-07T18:10Z"), 4)),
              (std::vector<std::string>{"09:00", "12:00", "15:00", "18:00"}));
    // Ten days: whole days, labelled with the date.
    EXPECT_EQ(labels(timeticks(at("2025-12-01T12:00Z"), at("2025-12-11T12:00Z"), 5)),
              (std::vector<std::string>{"2025-12-02", "2025-12-04", "2025-12-06", "2025-12-08", "2025-12-10"}));
}

TEST(TimeTicks, DatesAtTheFirstTickAndAtEachNewDayWhenTheRangeCrossesMidnight) {
    EXPECT_EQ(labels(timeticks(at("2025-12-07T22:50Z"), at("2025-12-08T01:10Z"), 3)),
              (std::vector<std::string>{"23:00|2025-12-07", "00:00|2025-12-08", "01:00"}));
    // A range within one day has no dates on the ticks.
    for (const TimeTick& t : timeticks(at("2025-12-07T00:00Z"), at("2025-12-07T23:59Z"), 8)) EXPECT_EQ(t.date, "");
}

TEST(ValueTicks, OneTwoOrFiveTimesAPowerOfTen) {
    double step = 0;
    EXPECT_EQ(valueticks(0.3, 9.7, 6, step), (std::vector<double>{2, 4, 6, 8}));
    EXPECT_EQ(step, 2);
    EXPECT_EQ(valueticks(-180, 180, 6, step), (std::vector<double>{-100, 0, 100}));
    const std::vector<double> sr = valueticks(11998.9715, 11998.9805, 6, step);
    EXPECT_DOUBLE_EQ(step, 0.002);
    ASSERT_EQ(sr.size(), 5u);
    EXPECT_EQ(formattick(sr[0], step), "11998.972");
    EXPECT_EQ(formattick(sr[4], step), "11998.980");
    EXPECT_EQ(formattick(-9.4e-09, 2e-10), "-9.4e-09");
    EXPECT_EQ(formattick(1e-20, 0.1), "0");
    EXPECT_EQ(formattick(1500, 500), "1500");
    EXPECT_TRUE(valueticks(1, 1, 6, step).empty());
}

}  // namespace
}  // namespace corvane::plot
