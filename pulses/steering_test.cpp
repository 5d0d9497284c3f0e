#include "pulses/steering.h"

#include <gtest/gtest.h>

#include <cmath>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "app/settings.h"
#include "output/console.h"
#include "platform/testing.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "stations/stationtable.h"

namespace corvane {
namespace {

constexpr float pi32 = 3.14159265f;

struct World {
    Settings settings;
    StationTable table;
    PulseIntegrator integrator;
    Steering steering;
    FrontEnd frontend;
    SampleBuffer buffer;
    ClockState clock;
    Display display;
    testing::FakePlatform platform;
    std::int32_t lockcount = 0;
    std::int32_t resynccount = 0;
    double configuredsr = 22050;
    std::int32_t d;

    explicit World(std::int32_t n = 1, std::int32_t window = 24) : d(window) {
        settings.wavinput = 1;
        settings.displaysamples = window;
        table.stations.resize(static_cast<size_t>(n));
        for (Station& st : table.stations) {
            st.gri = 50000;
            st.pulsecount = 1;
        }
        createintegrator(integrator, n, window);
        createsteering(steering, n, window, settings);
        buffer.bufstart = 10;
        buffer.bufend = 20;
    }
    // A reference pulse of the given envelope at positions 2 .., carrier
    // phase (re, im) per unit, over `count` windows.
    void pulse(const std::vector<double>& envelope, double re, double im, std::int32_t count = 2,
               std::int32_t s = 0) {
        integrator.windowcount[static_cast<size_t>(s)] = count;
        for (size_t k = 0; k < envelope.size(); ++k) {
            const size_t p = static_cast<size_t>(s * d) + 2 + k;
            integrator.sumre[p] = std::llround(envelope[k] * re * count);
            integrator.sumim[p] = std::llround(envelope[k] * im * count);
        }
    }
    void step() {
        shortintegrationstep(steering, integrator, table, frontend, buffer, clock, settings, configuredsr,
                             lockcount, resynccount, platform);
    }
};

const std::vector<double> rising = {0, 0, 10, 30, 50, 80, 100, 90, 70};

TEST(ReferenceAnalysis, PeakEdgePhaseAndClockCorrection) {
    World w;
    w.settings.shortintegration = 30;
    w.pulse(rising, 1, 1);
    w.integrator.timingresidual[0] = 0.4f;
    w.step();
    const float amp = std::sqrt(2.0f);
    EXPECT_FLOAT_EQ(w.steering.refpeak, 100 * amp);
    EXPECT_FLOAT_EQ(w.steering.edgefraction, 0.5f);  // level 40 between 30 and 50 (x amp)
    EXPECT_FLOAT_EQ(w.steering.refedge, 5.3f);       // 5 + 0.5 - 0.4 / 2
    EXPECT_FLOAT_EQ(w.steering.refedgere, 40);
    EXPECT_NEAR(w.steering.refphase, pi32 / 4, 1e-6);
    // The edge 0.3 samples late: the clock jumps back, the rate rises.
    EXPECT_NEAR(w.buffer.bufstart, 10 - 0.3 / 22050, 1e-9);
    EXPECT_NEAR(w.buffer.bufend, 20 - 0.3 / 22050, 1e-9);
    EXPECT_NEAR(w.settings.sr, 22050 + 0.3 / 30, 1e-6);

    // On the diagonal below the real axis the phase is 7/4 pi, not 3/4 pi.
    w.pulse(rising, 1, -1);
    w.step();
    EXPECT_NEAR(w.steering.refphase, 7 * pi32 / 4, 1e-5);
    w.pulse(rising, -1, 0);
    w.step();
    EXPECT_NEAR(w.steering.refphase, pi32, 1e-6);
}

TEST(ReferenceAnalysis, SampleRateStaysNearItsConfiguredValue) {
    World w;
    w.settings.shortintegration = 0.001f;  // a huge loop gain
    w.pulse({0, 0, 0, 0, 0, 0, 0, 0, 100}, 1, 0);  // edge far late
    w.step();
    EXPECT_DOUBLE_EQ(w.settings.sr, 22050 * 1.001);
    w.settings.srcorr = -1;
    for (int i = 0; i < 3; ++i) {
        w.pulse({0, 0, 0, 0, 0, 0, 0, 0, 100}, 1, 0);
        w.step();
    }
    EXPECT_DOUBLE_EQ(w.settings.sr, 22050 * 0.999);
}

TEST(ReferenceAnalysis, SkippedForWindowsShorterThanEleven) {
    World w(1, 10);
    w.pulse({0, 0, 10, 30, 50, 80, 100, 90}, 1, 0);
    w.step();
    EXPECT_EQ(w.steering.refpeak, 0.0f);
    EXPECT_EQ(w.settings.sr, 22050);
    EXPECT_EQ(w.buffer.bufend, 20);
    // The fold still ran.
    EXPECT_FLOAT_EQ(w.steering.longre[8], 100);
    EXPECT_EQ(w.integrator.sumre[6], 0);
    EXPECT_EQ(w.integrator.windowcount[0], 0);
}

TEST(OscillatorTracking, PhaseStepWrapsIntoHalfACycle) {
    World w;
    w.settings.srcorr = 0;
    w.settings.shortintegration = 10;
    w.steering.lastrefcycles = 0.1f;
    w.steering.refphase = 0.8f * 2 * pi32;  // reference without windows: kept
    w.step();
    EXPECT_NEAR(w.steering.fracfreq, -0.3 / 10 / 100000, 1e-12);
    EXPECT_FLOAT_EQ(w.steering.lastrefcycles, 0.8f);
}

TEST(OscillatorTracking, LocksAfterFourGoodFoldsAndLosesIt) {
    World w;
    w.settings.srcorr = 0;
    w.settings.resynclimit = 60;
    w.settings.srloavini = 7;
    w.settings.srlooffset = 1e-7f;  // 3 us of drift per fold
    for (int fold = 1; fold <= 5; ++fold) {
        w.pulse(rising, 1, 0);
        w.step();
        EXPECT_EQ(w.lockcount, std::min(fold, 4));
        if (fold < 4) {
            EXPECT_EQ(w.steering.driftus, 0.0f);
            EXPECT_EQ(w.steering.shownfdrift, 0.0f);
            EXPECT_EQ(w.steering.srloavg, 7.0f);
        }
    }
    EXPECT_NEAR(w.steering.driftus, -6.0, 1e-4);
    EXPECT_EQ(w.steering.shownfdrift, w.steering.driftus);
    EXPECT_EQ(w.resynccount, 0);

    w.pulse(rising, 0.5, 0);  // peak 50, below the limit
    w.step();
    EXPECT_EQ(w.lockcount, 0);
    EXPECT_EQ(w.steering.driftus, 0.0f);
    EXPECT_NEAR(w.steering.shownfdrift, -6.0, 1e-4);  // stays as last shown
    EXPECT_EQ(w.resynccount, 1);
    w.pulse(rising, 1, 0);
    w.step();
    EXPECT_EQ(w.resynccount, 0);
}

TEST(OscillatorTracking, SrcorrZeroLeavesRateAndBufferTimes) {
    World w;
    w.settings.srcorr = 0;
    w.settings.srlooffset = 2e-6f;
    w.settings.srlofactor = 5;
    w.pulse({0, 0, 0, 0, 0, 0, 0, 0, 100}, 1, 0);
    w.step();
    EXPECT_EQ(w.settings.sr, 22050);
    EXPECT_EQ(w.buffer.bufstart, 10);
    EXPECT_EQ(w.buffer.bufend, 20);
    EXPECT_FLOAT_EQ(w.steering.srlodrift, 2e-6f * 1000000 * 30);
}

TEST(Steering, CommandCarriesTheClampedFrequency) {
    World w;
    w.settings.srcorr = 0;
    for (int fold = 0; fold < 5; ++fold) {  // locked, but no pllcommand given
        w.pulse(rising, 1, 0);
        w.step();
    }
    EXPECT_TRUE(w.platform.fakecommands.lines.empty());
    w.settings.pllenabled = 1;
    w.settings.pllcommand = "tonegen1 /testsig=";
    w.pulse(rising, 1, 0);
    w.step();
    ASSERT_EQ(w.platform.fakecommands.lines.size(), 1u);
    EXPECT_EQ(w.platform.fakecommands.lines[0], "tonegen1 /testsig=  0");

    w.settings.pllhigh = 1000;
    w.settings.pllcenter = 899.9876543;
    w.pulse(rising, 1, 0);
    w.step();
    EXPECT_EQ(w.platform.fakecommands.lines.back(), "tonegen1 /testsig=  899.98765");

    w.settings.pllhigh = 100;
    w.settings.plllow = 200;  // crossed: the lower limit wins
    w.step();
    EXPECT_EQ(w.platform.fakecommands.lines.back(), "tonegen1 /testsig=  200");
}

TEST(Fold, BlankedStationChangesTheBiasOfLaterStations) {
    auto run = [](World& w, std::int32_t blankedindex) {
        w.settings.srcorr = 0;
        w.settings.notch100khz = 0;
        w.settings.phasecorr = 0;
        Station& b = w.table.stations[static_cast<size_t>(blankedindex)];
        b.blanked = 1;
        for (std::int32_t s = 0; s < 3; ++s) w.integrator.windowcount[static_cast<size_t>(s)] = 2;
        for (std::int32_t j = 3; j <= 10; ++j) w.integrator.sumre[static_cast<size_t>(blankedindex * 24 + j)] = 1000;
        w.step();
    };
    World first(3);
    run(first, 0);
    // k = 4 x 1 / 22050 / 50000 x 50000 / 2; bias -k x 8000 per window.
    const float wr = static_cast<float>(-4.0 / 22050 / 2 * 8000);
    EXPECT_FLOAT_EQ(first.steering.longre[24 + 0], -4 * wr);
    EXPECT_FLOAT_EQ(first.steering.longre[48 + 23], -4 * wr);
    EXPECT_FLOAT_EQ(first.steering.longre[0], 0);
    World last(3);
    run(last, 2);
    for (size_t p = 0; p < 48; ++p) EXPECT_EQ(last.steering.longre[p], 0.0f) << p;
}

TEST(Fold, NormalisesRotatesAndCorrectsNoiseBlankerLosses) {
    World w(2);
    w.settings.srcorr = 0;
    w.settings.notch100khz = 1;
    w.settings.nb = 1;
    w.settings.nbcorr = 1;
    w.frontend.biassumre = 40;
    w.frontend.biassumim = 0;
    w.frontend.biascount = 4;  // bias 10 + 0i
    w.table.stations[1].blankweight = 0.5f;
    w.pulse(rising, 0, 1, 2, 0);  // reference at 90 degrees: rotated onto the real axis
    w.integrator.windowcount[1] = 4;
    w.integrator.signsum[1] = 2;
    w.integrator.sumre[24 + 7] = 400;
    w.integrator.nbcount[24 + 7] = 2;   // half the windows lost: doubled
    w.integrator.timingresidual[1] = 1;
    float rotation[2] = {1, 0};
    startsteeringperiod(w.steering, rotation);
    w.step();
    EXPECT_NEAR(w.steering.workrotation[0], 0, 1e-6);
    EXPECT_NEAR(w.steering.workrotation[1], 1, 1e-6);
    EXPECT_NEAR(w.steering.longre[8], 100, 1e-4);  // the reference peak turned real
    EXPECT_NEAR(w.steering.longim[8], 0, 1e-4);
    // Station 1: W = 2, offset q x bias = (2 / 2) x 10; (400 / 2 - 10) / (1 - 2 / 4) = 380,
    // then rotated by -90 degrees.
    EXPECT_NEAR(w.steering.longim[24 + 7], -380, 1e-3);
    EXPECT_NEAR(w.steering.longre[24 + 6], 0, 1e-6);
    EXPECT_NEAR(w.steering.longim[24 + 6], 10, 1e-6);
    EXPECT_FLOAT_EQ(w.steering.longresidual[1], 0.25f);
    EXPECT_EQ(w.integrator.nbcount[24 + 7], 0.0f);
    EXPECT_EQ(w.frontend.biascount, 0.0f);
    EXPECT_EQ(w.integrator.signsum[1], 0);
}

TEST(Health, LiveClockErrorMakesAFoldBad) {
    World w;
    w.settings.srcorr = 0;
    w.settings.wavinput = 0;
    w.settings.clockerrorlimit = 0.5f;
    w.clock.pcclockerror = -0.75f;
    w.step();
    w.step();
    EXPECT_EQ(w.resynccount, 2);
    w.settings.wavinput = 1;  // recordings have no PC clock to compare
    w.step();
    EXPECT_EQ(w.resynccount, 1);
}

TEST(StatusLine, RecordingAndLiveModeTextByteForByte) {
    World w;
    w.settings.srcorr = 0;
    w.settings.shortintegration = 10;
    w.clock.startepoch = 22 + 23000.0 * 86400;
    w.steering.refpeak = 1234.4f;  // the reference has no windows: kept
    w.steering.refedge = 5.255f;
    w.steering.refphase = 0.25f * 2 * pi32;  // a quarter cycle since the last fold
    showtimestamp(w.display, w.clock, w.settings, 45296, w.platform.console);
    w.step();
    EXPECT_EQ(w.platform.fakeconsole.transcript,
              "12:34:56 max 1234 edge 5.26 SR 22050.0000Hz LO +2.5E-07     0.00us{up}\n");

    w.platform.fakeconsole.transcript.clear();
    w.settings.wavinput = 0;
    w.clock.pcclockerror = 0.25f;
    w.steering.refpeak = 123456;  // wider than its picture
    w.settings.sr = 22050.12346;
    showtimestamp(w.display, w.clock, w.settings, 45297, w.platform.console);
    w.step();
    EXPECT_EQ(w.platform.fakeconsole.transcript,
              "12:34:57 PC -0.25s max%123456 edge 5.26 SR 22050.1235Hz LO +0.0E+00     0.00us{up}\n");
}

}  // namespace
}  // namespace corvane
