#include "pulses/integrator.h"
#include "pulses/windowlistener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "acquisition/samplereader.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace corvane {
namespace {

// A small world: sr 1024 Hz so that sample times are exact binary fractions.
struct World {
    IntegratorConfig settings;
    double sr = 1024;
    StationTable table;
    ChainTiming timing;
    SampleBuffer buffer;
    PulseIntegrator integrator;

    World(std::int32_t n, std::int32_t d, std::int32_t samples) {
        settings.displaysamples = d;
        table.stations.resize(static_cast<size_t>(n));
        timing.patterns.resize(static_cast<size_t>(n));
        for (std::int32_t s = 0; s < n; ++s) {
            table.stations[static_cast<size_t>(s)].gri = 50000;  // two GRIs = 1 s
            PulsePattern& st = timing.patterns[static_cast<size_t>(s)];
            st.pulsecount = 1;
            st.pulseinterval[0] = 1.0;
            st.phasesign[0] = 1;
            timing.processingorder.push_back(static_cast<std::int16_t>(s));
        }
        timing.blankedsamples = 8;
        buffer.samplere.assign(static_cast<size_t>(samples), 0);
        buffer.sampleim.assign(static_cast<size_t>(samples), 0);
        buffer.samplepower.assign(static_cast<size_t>(samples), 0);
        buffer.overlap = 0;
        buffer.blocklen = samples;
        buffer.blocksamples = samples;
        buffer.bufstart = 0;
        buffer.bufend = samples / 1024.0;
        createintegrator(integrator, n, d);
    }
    // Puts station s's next window at buffer index x (may be fractional).
    void placeat(std::int32_t s, double x) {
        WindowWalk& st = integrator.walks[static_cast<size_t>(s)];
        st.windowstart = st.windowanchor = buffer.bufstart + x / 1024.0;
        st.pulseindex = 0;
    }
    void run() { integrateblock(integrator, table, timing, buffer, settings, sr); }
};

TEST(IntegrateBlock, WindowEndingAtBufendWaitsForTheNextBlock) {
    World w(1, 4, 16);
    for (int i = 0; i < 16; ++i) w.buffer.samplere[static_cast<size_t>(i)] = static_cast<std::int16_t>(i);
    w.placeat(0, 12);  // ends exactly at bufend
    w.run();
    EXPECT_EQ(w.integrator.windowcount[0], 0);
    EXPECT_EQ(w.integrator.sumre[0], 0);
    // Next read: the block moved on by 8 samples, the window now at index 4.
    for (int i = 0; i < 16; ++i) w.buffer.samplere[static_cast<size_t>(i)] = static_cast<std::int16_t>(i + 8);
    w.buffer.bufstart += 8 / 1024.0;
    w.buffer.bufend += 8 / 1024.0;
    w.run();
    EXPECT_EQ(w.integrator.windowcount[0], 1);
    EXPECT_EQ(w.integrator.sumre[0], 12);
    EXPECT_EQ(w.integrator.sumre[3], 15);
    EXPECT_EQ(w.integrator.signsum[0], 1);
}

TEST(IntegrateBlock, WindowStartRoundsHalfToEvenAndKeepsTheResidual) {
    World w(1, 4, 128);
    for (int i = 0; i < 128; ++i) w.buffer.samplere[static_cast<size_t>(i)] = static_cast<std::int16_t>(i);
    PulsePattern& st = w.timing.patterns[0];
    st.pulsecount = 2;
    st.pulseinterval[0] = 1 / 1024.0;
    st.pulseinterval[1] = 1 - 1 / 1024.0;
    st.phasesign[1] = -1;
    w.placeat(0, 100.5);
    w.buffer.bufend = 105 / 1024.0;  // only the first window fits
    w.run();
    EXPECT_EQ(w.integrator.sumre[0], 100);
    EXPECT_FLOAT_EQ(w.integrator.timingresidual[0], 0.5f);
    w.buffer.bufend = 128 / 1024.0;
    w.run();  // x = 101.5 gives 102, subtracted with the sign -1
    EXPECT_EQ(w.integrator.sumre[0], 100 - 102);
    EXPECT_EQ(w.integrator.sumre[3], 103 - 105);
    EXPECT_FLOAT_EQ(w.integrator.timingresidual[0], 0.0f);
    EXPECT_EQ(w.integrator.signsum[0], 0);
    EXPECT_EQ(w.integrator.windowcount[0], 2);
}

TEST(IntegrateBlock, NoiseBlankerRejectsPowerEqualToTheThreshold) {
    World w(1, 2, 16);
    w.settings.nb = 1;
    w.settings.nbinit = 5;
    startperiod(w.integrator, w.timing, w.settings);
    w.buffer.samplere[4] = 7;
    w.buffer.samplepower[4] = 5.0f;   // equal: rejected and counted
    w.buffer.samplere[5] = 9;
    w.buffer.samplepower[5] = 4.99f;  // below: integrated
    w.placeat(0, 4);
    w.run();
    EXPECT_EQ(w.integrator.sumre[0], 0);
    EXPECT_EQ(w.integrator.nbcount[0], 1.0f);
    EXPECT_EQ(w.integrator.sumre[1], 9);
    EXPECT_EQ(w.integrator.nbcount[1], 0.0f);
    EXPECT_FLOAT_EQ(w.integrator.sumpower[0], 5.0f);
    EXPECT_FLOAT_EQ(w.integrator.sumpower[1], 4.99f);
}

TEST(IntegrateBlock, GatingByModeBlankedStationsAndBandcenter) {
    // Every sample has power 100 above the threshold 1.
    auto make = [](std::int16_t nb) {
        World w(2, 2, 32);
        w.settings.nb = nb;
        w.settings.nbinit = 1;
        w.timing.firstblankedsample = 0;
        w.timing.blankedsamples = 0;
        w.table.stations[0].blanked = 1;
        startperiod(w.integrator, w.timing, w.settings);
        for (size_t i = 0; i < 32; ++i) {
            w.buffer.samplere[i] = 3;
            w.buffer.sampleim[i] = 1;
            w.buffer.samplepower[i] = 100;
        }
        w.placeat(0, 2);
        w.placeat(1, 10);
        return w;
    };
    World nb0 = make(0);
    nb0.run();
    EXPECT_EQ(nb0.integrator.sumre[0], 3);
    EXPECT_EQ(nb0.integrator.sumre[2], 3);
    EXPECT_EQ(nb0.integrator.sumpower[2], 0.0f);
    EXPECT_EQ(nb0.integrator.nbcount[2], 0.0f);

    World nb1 = make(1);
    nb1.run();
    EXPECT_EQ(nb1.integrator.sumre[0], 0);
    EXPECT_EQ(nb1.integrator.nbcount[0], 1.0f);
    EXPECT_EQ(nb1.integrator.nbcount[2], 1.0f);

    World nb2 = make(2);  // the blanked station 0 passes ungated
    nb2.run();
    EXPECT_EQ(nb2.integrator.sumre[0], 3);
    EXPECT_EQ(nb2.integrator.sumpower[0], 0.0f);
    EXPECT_EQ(nb2.integrator.nbcount[0], 0.0f);
    EXPECT_EQ(nb2.integrator.sumre[2], 0);
    EXPECT_EQ(nb2.integrator.nbcount[2], 1.0f);
    EXPECT_EQ(nb2.integrator.sumpower[2], 100.0f);

    // A shift of a quarter cycle at the window start: re' = -im, im' = re,
    // and nothing is gated or counted.
    World shifted = make(1);
    shifted.settings.bandcenter = 0.25 / shifted.integrator.walks[1].windowstart;
    shifted.run();
    EXPECT_EQ(shifted.integrator.sumre[2], -1);
    EXPECT_EQ(shifted.integrator.sumim[2], 3);
    for (size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(shifted.integrator.nbcount[p], 0.0f);
        EXPECT_EQ(shifted.integrator.sumpower[p], 0.0f);
    }
}

TEST(IntegrateBlock, BlankedStationClearsItsPulseForLaterStations) {
    World w(3, 24, 64);
    w.timing.firstblankedsample = 3;
    w.timing.blankedsamples = 8;
    w.table.stations[0].blanked = 1;
    w.table.stations[1].blanked = 1;
    for (size_t i = 0; i < 64; ++i) {
        w.buffer.samplere[i] = 1;
        w.buffer.sampleim[i] = 2;
        w.buffer.samplepower[i] = 5;
    }
    w.placeat(0, 20);
    w.placeat(1, 20);
    w.placeat(2, 30);  // not blanked: reads, never writes
    w.run();
    for (size_t i = 0; i < 64; ++i) {
        const bool cleared = i >= 23 && i <= 30;
        EXPECT_EQ(w.buffer.samplere[i], cleared ? 0 : 1) << i;
        EXPECT_EQ(w.buffer.sampleim[i], cleared ? 0 : 2) << i;
        EXPECT_EQ(w.buffer.samplepower[i], cleared ? 0.0f : 5.0f) << i;
    }
    // Station 0 integrated the pulse before clearing it; station 1 found zeros.
    EXPECT_EQ(w.integrator.sumre[3], 1);
    EXPECT_EQ(w.integrator.sumre[24 + 3], 0);
    EXPECT_EQ(w.integrator.sumre[24 + 10], 0);
    EXPECT_EQ(w.integrator.sumre[24 + 11], 1);
    // Station 2's window starts at 30: only its first sample was cleared.
    EXPECT_EQ(w.integrator.sumre[48], 0);
    EXPECT_EQ(w.integrator.sumre[49], 1);
}

TEST(IntegrateBlock, AListenerSeesTheWindowsOfItsStationsBeforeBlanking) {
    struct Seen : WindowListener {
        std::vector<PulseWindow> windows;
        std::vector<std::int16_t> first;  // each window's first sample (re) during the call
        void window(const PulseWindow& w) override {
            windows.push_back(w);
            first.push_back(w.re[0]);
        }
    } seen;
    World w(2, 8, 64);
    w.timing.firstblankedsample = 0;
    w.table.stations[0].blanked = 1;
    w.timing.patterns[0].pulsecount = 2;
    w.timing.patterns[0].pulseinterval[0] = w.timing.patterns[0].pulseinterval[1] = 16 / 1024.0;
    w.timing.patterns[0].phasesign[1] = -1;
    w.table.stations[0].gri = 3125;  // GRI 32 samples, as the pattern
    for (size_t i = 0; i < 64; ++i) w.buffer.samplere[i] = static_cast<std::int16_t>(i);
    attachlistener(w.integrator, &seen, {1});  // station 0 only
    w.placeat(0, 8);
    w.placeat(1, 8);
    w.run();
    // Station 0: windows at 8, 24, 40 (pulses 0, 1, 0), seen with their own
    // samples before they were cleared; station 1 not at all, and it found
    // the first window cleared.
    ASSERT_EQ(seen.windows.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(seen.windows[k].station, 0);
        EXPECT_EQ(seen.windows[k].pulseindex, static_cast<std::int32_t>(k % 2));
        EXPECT_EQ(seen.windows[k].sign, k == 1 ? -1 : 1);
        EXPECT_EQ(seen.windows[k].samples, 8);
        EXPECT_DOUBLE_EQ(seen.windows[k].windowstart, (8 + 16.0 * static_cast<double>(k)) / 1024);
        EXPECT_EQ(seen.first[k], 8 + 16 * static_cast<int>(k));
    }
    EXPECT_EQ(w.integrator.sumre[0], 8 - 24 + 40);
    EXPECT_EQ(w.integrator.sumre[8], 0);
}

TEST(IntegrateBlock, CycleEndReanchorsOnTheGriGrid) {
    World w(1, 4, 16);
    w.table.stations[0].gri = 9940;
    PulsePattern& st = w.timing.patterns[0];
    WindowWalk& walk = w.integrator.walks[0];
    st.pulsecount = 18;
    for (int j = 0; j < 18; ++j) st.pulseinterval[j] = 0.001;
    st.pulseinterval[7] = st.pulseinterval[16] = 0.002;
    st.pulseinterval[8] = st.pulseinterval[17] = (9940 - 900) * 0.00001;
    for (int j = 0; j < 18; ++j) st.phasesign[j] = 1;
    // The buffer begins after the cycle's last window: every window of the
    // cycle is passed over, and the walk stops at the first one of the next.
    walk.windowstart = walk.windowanchor = 0.0123456789;
    w.buffer.bufstart = walk.windowanchor + 0.12;
    w.buffer.bufend = walk.windowanchor + 0.15;
    double summed = walk.windowanchor;
    for (int j = 0; j < 18; ++j) summed += st.pulseinterval[j];
    w.run();
    EXPECT_EQ(walk.pulseindex, 0);
    EXPECT_EQ(walk.windowstart, walk.windowanchor + 2 * (9940 / 100000.0));
    EXPECT_NEAR(walk.windowstart, summed, 1e-12);
    // Nothing was integrated from outside the buffer.
    EXPECT_EQ(w.integrator.windowcount[0], 0);
    EXPECT_EQ(w.integrator.signsum[0], 0);
    EXPECT_EQ(w.integrator.timingresidual[0], 0.0f);
}

// 70000 one-sample windows of -32768 in one block: their sum, -2293760000,
// is beyond the 32-bit scratch rows, which must be flushed every 32767 windows.
TEST(IntegrateBlock, ScratchRowsAreFlushedBeforeTheyOverflow) {
    World w(1, 1, 70001);
    std::fill(w.buffer.samplere.begin(), w.buffer.samplere.end(), std::int16_t{-32768});
    std::fill(w.buffer.sampleim.begin(), w.buffer.sampleim.end(), std::int16_t{32767});
    w.table.stations[0].gri = 0;
    w.timing.patterns[0].pulseinterval[0] = 1 / 1024.0;
    w.placeat(0, 0);
    w.run();
    ASSERT_EQ(w.integrator.windowcount[0], 70000);
    EXPECT_EQ(w.integrator.sumre[0], -2293760000LL);
    EXPECT_EQ(w.integrator.sumim[0], 2293690000LL);
}

TEST(IntegrateBlock, PatternThatDoesNotAdvanceCannotHang) {
    World w(1, 4, 16);
    w.timing.patterns[0].pulseinterval[0] = 0;
    w.table.stations[0].gri = 0;
    w.placeat(0, 2);
    w.run();
    EXPECT_EQ(w.integrator.windowcount[0], 1);
}

TEST(UpdateThresholds, SpreadAndEdgesOfTheRow) {
    World w(2, 6, 16);
    w.settings.nb = 1;
    w.settings.nbinit = 10;
    w.settings.nbfac = 2;
    w.settings.nbupdate = 0.5f;
    startperiod(w.integrator, w.timing, w.settings);
    const float power[6] = {1, 0, 0, 9, 0, 0};
    for (size_t j = 0; j < 6; ++j) {
        w.integrator.sumpower[j] = power[j];
        w.integrator.sumpower[6 + j] = 4;
    }
    w.integrator.windowcount[0] = 2;  // station 1 has no windows
    w.settings.nbspread = 2;
    updatethresholds(w.integrator, w.settings);
    // 0.5 x 10 + 0.5 x 2 x m / 2 = 5 + m / 2
    EXPECT_FLOAT_EQ(w.integrator.nbthreshold[0], 5.5f);  // j = 0 sees 0 .. 2 only
    EXPECT_FLOAT_EQ(w.integrator.nbthreshold[1], 9.5f);
    EXPECT_FLOAT_EQ(w.integrator.nbthreshold[5], 9.5f);
    for (size_t j = 0; j < 6; ++j) {
        EXPECT_EQ(w.integrator.sumpower[j], 0.0f);
        EXPECT_EQ(w.integrator.sumpower[6 + j], 4.0f);
        EXPECT_EQ(w.integrator.nbthreshold[6 + j], 10.0f);
    }

    for (std::int16_t spread : {0, -3}) {  // a negative spread counts as 0
        startperiod(w.integrator, w.timing, w.settings);
        for (size_t j = 0; j < 6; ++j) w.integrator.sumpower[j] = power[j];
        w.settings.nbspread = spread;
        updatethresholds(w.integrator, w.settings);
        EXPECT_FLOAT_EQ(w.integrator.nbthreshold[0], 5.5f);
        EXPECT_FLOAT_EQ(w.integrator.nbthreshold[1], 5.0f);
        EXPECT_FLOAT_EQ(w.integrator.nbthreshold[3], 9.5f);
        EXPECT_FLOAT_EQ(w.integrator.nbthreshold[4], 5.0f);
    }
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST(IntegrateBlock, AHugeJumpOfTheSampleClockIsPassedOverAtOnce) {
    // The buffer lies 1e12 s after the window (a wild clock correction): the
    // walk must not step through every pulse in between, and the windows it
    // passes over are neither integrated nor counted.
    World w(1, 4, 2048);
    for (auto& v : w.buffer.samplere) v = 100;
    w.placeat(0, 0);
    w.buffer.bufstart += 1e12;
    w.buffer.bufend += 1e12;
    w.run();
    const WindowWalk& st = w.integrator.walks[0];
    EXPECT_GE(st.windowstart + 4 / 1024.0, w.buffer.bufend);
    EXPECT_LT(st.windowstart, w.buffer.bufend + 1.0);
    // Only the windows inside the buffer count: one per second of samples.
    EXPECT_LE(w.integrator.windowcount[0], 2);
    EXPECT_EQ(w.integrator.sumre[0], 100 * w.integrator.windowcount[0]);
}

}  // namespace
}  // namespace corvane
