#include "stations/chaintiming.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "stations/geodesy.h"

namespace corvane {
namespace {

StationTable tableof(std::vector<std::pair<std::int32_t, const char*>> keys, std::vector<int> blanked = {}) {
    StationTable t;
    for (auto [gri, letter] : keys) {
        Station s;
        s.gri = gri;
        s.letter = letter;
        t.stations.push_back(s);
    }
    for (int i : blanked) t.stations[static_cast<size_t>(i)].blanked = 1;
    return t;
}

// The pattern as intervals in units of 10 us, and the signs.
std::vector<long> intervals(const PulsePattern& s) {
    std::vector<long> v;
    for (int j = 0; j < s.pulsecount; ++j) v.push_back(std::lround(s.pulseinterval[j] * 100000));
    return v;
}
std::vector<int> signs(const PulsePattern& s) { return std::vector<int>(s.phasesign, s.phasesign + s.pulsecount); }

TEST(PulsePatterns, ByLetterAndSinglePulses) {
    StationTable t = tableof({{7499, "M"}, {7499, "X"}, {7499, "A"}, {7499, "B"}});
    ChainTiming timing;
    ChainTimingConfig settings;
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(intervals(timing.patterns[0]), (std::vector<long>{100, 100, 100, 100, 100, 100, 100, 200, 6599,
                                                           100, 100, 100, 100, 100, 100, 100, 200, 6599}));
    EXPECT_EQ(signs(timing.patterns[0]), (std::vector<int>{1, 1, -1, -1, 1, -1, 1, -1, 1, 1, -1, -1, 1, 1, 1, 1, 1, -1}));
    EXPECT_EQ(intervals(timing.patterns[1]),
              (std::vector<long>{100, 100, 100, 100, 100, 100, 100, 6799, 100, 100, 100, 100, 100, 100, 100, 6799}));
    EXPECT_EQ(signs(timing.patterns[1]), (std::vector<int>{1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, -1, -1}));
    EXPECT_EQ(intervals(timing.patterns[2]), std::vector<long>{14998});
    EXPECT_EQ(signs(timing.patterns[2]), std::vector<int>{1});
    EXPECT_EQ(intervals(timing.patterns[3]), (std::vector<long>{7499, 7499}));
    EXPECT_EQ(signs(timing.patterns[3]), (std::vector<int>{1, -1}));

    settings.singlepulses = 4;
    buildpulsepatterns(t, timing, settings);
    for (const PulsePattern& s : timing.patterns) {
        ASSERT_EQ(s.pulsecount, 4);
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(s.pulseinterval[j], 0.037495, 1e-12);
        EXPECT_EQ(signs(s), (std::vector<int>{1, -1, 1, -1}));
    }
}

TEST(PulsePatterns, OrderAndBlankingWeights) {
    StationTable t = tableof({{7499, "X"}, {7499, "M"}, {7499, "Y"}}, {1});
    ChainTiming timing;
    ChainTimingConfig settings;
    settings.sr = 48000;  // blanked samples 3 .. 10: 8
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(timing.processingorder, (std::vector<std::int16_t>{1, 0, 2}));
    EXPECT_EQ(timing.patterns[1].blankweight, 1);
    EXPECT_NEAR(timing.patterns[0].blankweight, 1 - 8.0 * 18 / 48000 / 7499 * 50000, 1e-6);  // about 0.98
    EXPECT_EQ(timing.patterns[2].blankweight, timing.patterns[0].blankweight);

    // The blanked range is clamped into the window; first above last blanks nothing.
    settings.firstblankedsample = -5;
    settings.lastblankedsample = 100;
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(timing.firstblankedsample, 0);
    EXPECT_EQ(timing.lastblankedsample, 23);
    EXPECT_EQ(timing.blankedsamples, 24);
    settings.firstblankedsample = 12;
    settings.lastblankedsample = 4;
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(timing.blankedsamples, 0);
    EXPECT_EQ(timing.patterns[0].blankweight, 1);

    // Blanking wider than the signal leaves a small positive weight.
    settings.displaysamples = 30000;
    settings.lastblankedsample = 29999;
    settings.firstblankedsample = 0;
    StationTable wide = tableof({{1000, "M"}, {1000, "X"}, {1000, "Y"}}, {0, 1});
    buildpulsepatterns(wide, timing, settings);
    EXPECT_FLOAT_EQ(timing.patterns[2].blankweight, 0.01f);
}

TEST(TimingPeriod, ArrivalAndFirstWindow) {
    StationTable t = tableof({{7499, "M"}, {6731, "X"}});
    t.stations[1].emissiondelay = 12.5f;  // ms
    t.stations[1].distance = 700;         // km
    ChainTiming timing;
    ChainTimingConfig settings;
    buildpulsepatterns(t, timing, settings);
    const double sr = settings.sr;
    starttimingperiod(t, timing, settings, -256 / sr, 256, 0);  // synchronisation off
    const Arrival& m = timing.arrivals[0];
    EXPECT_EQ(m.arrivalphase, 0);
    EXPECT_NEAR(m.firstwindow, -6 / sr, 1e-12);  // 6 samples before buffer time 0
    const float delay = static_cast<float>(0.0125 + 700e3 / static_cast<double>(propagationspeed(1.008f)));
    EXPECT_FLOAT_EQ(timing.arrivals[1].arrivaldelay, delay);
    EXPECT_NEAR(timing.arrivals[1].firstwindow, delay - 6 / sr, 1e-9);

    // With an epoch and a later buffer: the first window on the station's
    // grid at or after buffer index `overlap`, less 6 samples.
    const double P = 0.14998, epoch = 1.9e9 + 0.123;
    starttimingperiod(t, timing, settings, 5.0, 256, epoch);
    EXPECT_NEAR(m.arrivalphase, P - std::fmod(epoch, P), 1e-6);
    const double earliest = 5.0 + 250 / sr;
    EXPECT_TRUE(m.firstwindow >= earliest - 1e-9 && m.firstwindow < earliest + P) << m.firstwindow;
    const double cycles = (m.firstwindow + 6 / sr - m.arrivalphase) / P;
    EXPECT_NEAR(cycles, std::round(cycles), 1e-6);
}

TEST(TimingPeriod, ChainExceptionsAndFoldCount) {
    ChainTiming timing;
    ChainTimingConfig settings;
    StationTable t = tableof({{6000, "M"}, {6000, "X"}, {7499, "M"}, {6000, "Y"}});
    buildpulsepatterns(t, timing, settings);
    starttimingperiod(t, timing, settings, 0, 0, 0);
    EXPECT_EQ(timing.arrivals[0].arrivaldelay, 0);
    EXPECT_FLOAT_EQ(timing.arrivals[1].arrivaldelay, -0.04f);
    EXPECT_NEAR(timing.arrivals[1].arrivalphase, 0.08, 1e-7);  // reduced into [0, two GRIs)
    EXPECT_FLOAT_EQ(timing.arrivals[3].arrivaldelay, 0.04f);
    EXPECT_EQ(timing.foldcount, -2);
    t.stations.push_back(t.stations[0]);  // four GRI 6000 stations
    buildpulsepatterns(t, timing, settings);
    starttimingperiod(t, timing, settings, 0, 0, 0);
    EXPECT_EQ(timing.foldcount, 0);

    StationTable c = tableof({{7950, "M"}, {7950, "W"}, {7950, "X"}, {7950, "Y"}, {7950, "Z"}, {7950, "Z"},
                              {7950, "Z"}, {7950, "Z"}, {7950, "Z"}, {6000, "M"}, {6000, "X"}, {6000, "Y"}});
    buildpulsepatterns(c, timing, settings);
    starttimingperiod(c, timing, settings, 0, 0, 0);
    const float expected[9] = {0, 0, 0, -0.00106f, 0.00106f, -0.00106f, 0.00106f, -0.00106f, 0.00106f};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(timing.arrivals[static_cast<size_t>(i)].arrivaldelay, expected[i]) << i;
    EXPECT_EQ(timing.foldcount, -8);
}

TEST(TimingPeriod, DailySteps) {
    StationTable t = tableof({{5990, "M"}, {6731, "M"}});
    for (Station& s : t.stations) s.emissiondelay = 2;
    ChainTimingConfig settings;
    settings.gri5990step = 0.25;
    ChainTiming timing;
    buildpulsepatterns(t, timing, settings);
    const std::vector<double> shifts = applydailysteps(t, timing, settings);
    EXPECT_DOUBLE_EQ(shifts[0], 0.00025);
    EXPECT_FLOAT_EQ(timing.arrivals[0].emissiondelay, 2.25f);
    EXPECT_EQ(shifts[1], 0);  // gri6731step 0
    EXPECT_EQ(timing.arrivals[1].emissiondelay, 2);
}

}  // namespace
}  // namespace corvane
