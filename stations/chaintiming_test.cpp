#include "stations/chaintiming.h"

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "stations/geodesy.h"

namespace corvane {
namespace {

Station station(std::int32_t gri, const std::string& letter, std::int16_t blanked = 0) {
    Station s;
    s.gri = gri;
    s.letter = letter;
    s.blanked = blanked;
    return s;
}

StationTable tableof(std::vector<Station> stations) {
    StationTable t;
    t.stations = std::move(stations);
    t.visiblecount = static_cast<std::int32_t>(t.stations.size());
    return t;
}

std::vector<double> intervals(const Station& s) {
    return std::vector<double>(s.pulseinterval, s.pulseinterval + s.pulsecount);
}
std::vector<int> signs(const Station& s) { return std::vector<int>(s.phasesign, s.phasesign + s.pulsecount); }

TEST(PulsePatterns, MasterAndSecondary) {
    StationTable t = tableof({station(7499, "M"), station(7499, "X")});
    ChainTiming timing;
    Settings settings;
    buildpulsepatterns(t, timing, settings);

    const Station& m = t.stations[0];
    ASSERT_EQ(m.pulsecount, 18);
    std::vector<double> expected;
    for (int half = 0; half < 2; ++half) {
        expected.insert(expected.end(), 7, 0.001);
        expected.push_back(0.002);
        expected.push_back(0.06599);
    }
    std::vector<double> got = intervals(m);
    for (size_t j = 0; j < expected.size(); ++j) EXPECT_NEAR(got[j], expected[j], 1e-12) << j;
    EXPECT_EQ(signs(m), (std::vector<int>{1, 1, -1, -1, 1, -1, 1, -1, 1, 1, -1, -1, 1, 1, 1, 1, 1, -1}));
    EXPECT_NEAR(std::accumulate(got.begin(), got.end(), 0.0), 0.14998, 1e-12);

    const Station& x = t.stations[1];
    ASSERT_EQ(x.pulsecount, 16);
    expected.clear();
    for (int half = 0; half < 2; ++half) {
        expected.insert(expected.end(), 7, 0.001);
        expected.push_back(0.06799);
    }
    got = intervals(x);
    for (size_t j = 0; j < expected.size(); ++j) EXPECT_NEAR(got[j], expected[j], 1e-12) << j;
    EXPECT_EQ(signs(x), (std::vector<int>{1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, -1, -1}));
    EXPECT_NEAR(std::accumulate(got.begin(), got.end(), 0.0), 0.14998, 1e-12);
    EXPECT_FLOAT_EQ(timing.propagationspeed, propagationspeed(1.008f));
}

TEST(PulsePatterns, SinglePulses) {
    StationTable t = tableof({station(7499, "A"), station(7499, "B"), station(8000, "")});
    ChainTiming timing;
    Settings settings;
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(t.stations[0].pulsecount, 1);  // one pulse every two GRIs
    EXPECT_NEAR(t.stations[0].pulseinterval[0], 0.14998, 1e-12);
    EXPECT_EQ(signs(t.stations[0]), std::vector<int>{1});
    EXPECT_EQ(t.stations[1].pulsecount, 2);  // one pulse per GRI
    EXPECT_NEAR(t.stations[1].pulseinterval[0], 0.07499, 1e-12);
    EXPECT_NEAR(t.stations[1].pulseinterval[1], 0.07499, 1e-12);
    EXPECT_EQ(signs(t.stations[1]), (std::vector<int>{1, -1}));
    EXPECT_EQ(t.stations[2].pulsecount, 1);

    // singlepulses overrides every letter.
    StationTable four = tableof({station(7499, "M"), station(7499, "X"), station(6731, "B")});
    settings.singlepulses = 4;
    buildpulsepatterns(four, timing, settings);
    for (const Station& s : four.stations) {
        ASSERT_EQ(s.pulsecount, 4) << s.letter;
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(s.pulseinterval[j], s.gri * 0.000005, 1e-12);
        EXPECT_EQ(signs(s), (std::vector<int>{1, -1, 1, -1}));
    }
}

TEST(PulsePatterns, ProcessingOrderAndBlanking) {
    StationTable t = tableof({station(7499, "M"), station(7499, "X", 1), station(7499, "Y"), station(6731, "M", 1)});
    ChainTiming timing;
    Settings settings;
    settings.sr = 48000;
    settings.firstblankedsample = 3;
    settings.lastblankedsample = 10;  // 8 samples
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(timing.processingorder, (std::vector<std::int16_t>{1, 3, 0, 2}));
    EXPECT_EQ(timing.blankedsamples, 8);
    EXPECT_FLOAT_EQ(t.stations[1].blankweight, 1);
    const double afterx = 1 - 8.0 * 16 / 48000 / 7499 * 50000;
    EXPECT_NEAR(t.stations[3].blankweight, afterx, 1e-6);
    const double afterm = afterx * (1 - 8.0 * 18 / 48000 / 6731 * 50000);
    EXPECT_NEAR(t.stations[0].blankweight, afterm, 1e-6);
    EXPECT_NEAR(t.stations[2].blankweight, afterm, 1e-6);

    // The example: one blanked master, 8 blanked samples at 48000 Hz.
    StationTable one = tableof({station(7499, "M", 1), station(7499, "X")});
    buildpulsepatterns(one, timing, settings);
    EXPECT_NEAR(one.stations[1].blankweight, 1 - 8.0 * 18 / 48000 / 7499 * 50000, 1e-6);
    EXPECT_NEAR(one.stations[1].blankweight, 0.98, 0.001);
}

TEST(PulsePatterns, BlankedRangeIsClamped) {
    ChainTiming timing;
    Settings settings;
    settings.displaysamples = 24;
    settings.firstblankedsample = -5;
    settings.lastblankedsample = 100;
    StationTable t = tableof({station(7499, "M", 1), station(7499, "X")});
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(settings.firstblankedsample, 0);
    EXPECT_EQ(settings.lastblankedsample, 23);
    EXPECT_EQ(timing.blankedsamples, 24);

    // First above last: nothing blanked, weight stays 1.
    settings.firstblankedsample = 12;
    settings.lastblankedsample = 4;
    buildpulsepatterns(t, timing, settings);
    EXPECT_EQ(timing.blankedsamples, 0);
    EXPECT_FLOAT_EQ(t.stations[1].blankweight, 1);

    // Blanking that covers more than the whole signal leaves a small weight.
    settings.displaysamples = 30000;
    settings.firstblankedsample = 0;
    settings.lastblankedsample = 29999;
    settings.sr = 22050;
    StationTable wide = tableof({station(1000, "M", 1), station(1000, "X", 1), station(1000, "Y")});
    buildpulsepatterns(wide, timing, settings);
    EXPECT_FLOAT_EQ(wide.stations[1].blankweight, 0.01f);
    EXPECT_FLOAT_EQ(wide.stations[2].blankweight, 0.01f);
}

TEST(TimingPeriod, FirstWindowWithoutSynchronisation) {
    StationTable t = tableof({station(7499, "M"), station(6731, "X")});
    t.stations[1].emissiondelay = 12.5f;  // ms
    t.stations[1].distance = 700;         // km
    ChainTiming timing;
    Settings settings;
    buildpulsepatterns(t, timing, settings);
    const std::int32_t overlap = 256;
    const double sr = settings.sr;
    t.stations[0].windowstart = 99;
    t.stations[0].pulseindex = 5;
    starttimingperiod(t, timing, settings, -overlap / sr, overlap, 0);

    const Station& m = t.stations[0];
    EXPECT_EQ(m.arrivaldelay, 0);
    EXPECT_EQ(m.arrivalphase, 0);
    EXPECT_NEAR(m.windowstart, -6 / sr, 1e-12);
    EXPECT_EQ(m.windowanchor, m.windowstart);
    EXPECT_EQ(m.pulseindex, 0);

    const Station& x = t.stations[1];
    const float delay = static_cast<float>(0.0125 + 700e3 / static_cast<double>(propagationspeed(1.008f)));
    EXPECT_FLOAT_EQ(x.arrivaldelay, delay);
    EXPECT_NEAR(x.arrivalphase, delay, 1e-12);  // less than two GRIs
    EXPECT_NEAR(x.windowstart, delay - 6 / sr, 1e-12);
    EXPECT_EQ(timing.foldcount, 0);
}

TEST(TimingPeriod, EpochAndLaterBuffer) {
    StationTable t = tableof({station(7499, "M")});
    t.stations[0].emissiondelay = 10;  // ms
    ChainTiming timing;
    Settings settings;
    buildpulsepatterns(t, timing, settings);
    const double P = 0.14998, sr = settings.sr;
    const double epoch = 1.9e9 + 0.123;
    starttimingperiod(t, timing, settings, 5.0, 256, epoch);
    const Station& m = t.stations[0];
    double expectedphase = std::fmod(0.01 - epoch, P);
    if (expectedphase < 0) expectedphase += P;
    EXPECT_NEAR(m.arrivalphase, expectedphase, 1e-6);
    EXPECT_GE(m.arrivalphase, 0);
    EXPECT_LT(m.arrivalphase, P);
    // The first window lies at or after buffer index `overlap`, less 6 samples,
    // and on the station's phase code grid.
    const double earliest = 5.0 + (256 - 6) / sr;
    EXPECT_GE(m.windowstart, earliest - 1e-9);
    EXPECT_LT(m.windowstart, earliest + P);
    const double cycles = (m.windowstart + 6 / sr - m.arrivalphase) / P;
    EXPECT_NEAR(cycles, std::round(cycles), 1e-6);
}

TEST(TimingPeriod, ChainExceptions) {
    ChainTiming timing;
    Settings settings;
    StationTable three = tableof({station(6000, "M"), station(6000, "X"), station(7499, "M"), station(6000, "Y")});
    buildpulsepatterns(three, timing, settings);
    starttimingperiod(three, timing, settings, 0, 0, 0);
    EXPECT_EQ(three.stations[0].arrivaldelay, 0);
    EXPECT_FLOAT_EQ(three.stations[1].arrivaldelay, -0.04f);
    EXPECT_FLOAT_EQ(three.stations[3].arrivaldelay, 0.04f);
    EXPECT_NEAR(three.stations[1].arrivalphase, 0.12 - 0.04, 1e-7);  // reduced into [0, P)
    EXPECT_EQ(timing.count6000, 3);
    EXPECT_EQ(timing.foldcount, -2);

    StationTable two = tableof({station(6000, "M"), station(6000, "X")});
    buildpulsepatterns(two, timing, settings);
    starttimingperiod(two, timing, settings, 0, 0, 0);
    EXPECT_EQ(timing.foldcount, 0);
    StationTable four = tableof({station(6000, "M"), station(6000, "X"), station(6000, "Y"), station(6000, "Z")});
    buildpulsepatterns(four, timing, settings);
    starttimingperiod(four, timing, settings, 0, 0, 0);
    EXPECT_EQ(timing.foldcount, 0);

    std::vector<Station> nine;
    for (int i = 0; i < 9; ++i) nine.push_back(station(7950, i == 0 ? "M" : "X"));
    StationTable t7950 = tableof(nine);
    t7950.stations.push_back(station(6000, "M"));
    t7950.stations.push_back(station(6000, "X"));
    t7950.stations.push_back(station(6000, "Y"));
    settings.xrcdelay7950 = 1.06f;
    buildpulsepatterns(t7950, timing, settings);
    starttimingperiod(t7950, timing, settings, 0, 0, 0);
    const float expected[9] = {0, 0, 0, -0.00106f, 0.00106f, -0.00106f, 0.00106f, -0.00106f, 0.00106f};
    for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(t7950.stations[i].arrivaldelay, expected[i]) << i;
    EXPECT_EQ(timing.count7950, 9);
    EXPECT_EQ(timing.foldcount, -8);
    t7950.stations.pop_back();
    starttimingperiod(t7950, timing, settings, 0, 0, 0);
    EXPECT_EQ(timing.foldcount, -6);
}

TEST(TimingPeriod, DailySteps) {
    StationTable t = tableof({station(5990, "M"), station(6731, "M"), station(7499, "M")});
    for (Station& s : t.stations) {
        s.windowstart = 1;
        s.windowanchor = 0.5;
        s.emissiondelay = 2;
    }
    Settings settings;
    settings.gri5990step = 0.25;
    applydailysteps(t, settings);
    EXPECT_DOUBLE_EQ(t.stations[0].windowstart, 1.00025);
    EXPECT_DOUBLE_EQ(t.stations[0].windowanchor, 0.50025);
    EXPECT_FLOAT_EQ(t.stations[0].emissiondelay, 2.25f);
    EXPECT_EQ(t.stations[1].windowstart, 1);  // gri6731step 0: unchanged
    EXPECT_EQ(t.stations[1].emissiondelay, 2);
    settings.gri6731step = -1;
    applydailysteps(t, settings);
    EXPECT_DOUBLE_EQ(t.stations[1].windowstart, 0.999);
    EXPECT_FLOAT_EQ(t.stations[1].emissiondelay, 1);
    EXPECT_EQ(t.stations[2].windowstart, 1);
    EXPECT_EQ(t.stations[2].emissiondelay, 2);
}

}  // namespace
}  // namespace corvane
