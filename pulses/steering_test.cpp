#include "pulses/steering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "acquisition/samplereader.h"
#include "core/numeric.h"
#include "pulses/fold.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "pulses/periodhealth.h"
#include "pulses/referencepulse.h"
#include "pulses/sampleclock.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace corvane {
namespace {

// The short-integration steps of the pulse processing, called in the order
// run control calls them.
struct World {
    struct Config {
        PulseConfig pulse;
        SampleClockConfig clock;
        SteeringConfig steering;
        FoldConfig fold;
        HealthConfig health;
    } config;
    StationTable table;
    ChainTiming timing;
    PulseIntegrator integrator;
    PulseAnalysis reference;
    SampleClock sampleclock{22050, 22050};
    Oscillator oscillator;
    LongIntegration rows;
    PeriodHealth health;
    FrontEnd frontend;
    SampleBuffer buffer;
    float pcclockerror = 0;
    std::vector<std::string> commands;
    std::int32_t d;

    explicit World(std::int32_t n = 1, std::int32_t window = 24) : d(window) {
        config.health.live = false;
        table.stations.resize(static_cast<size_t>(n));
        timing.patterns.resize(static_cast<size_t>(n));
        for (std::int32_t s = 0; s < n; ++s) {
            table.stations[static_cast<size_t>(s)].gri = 50000;
            timing.patterns[static_cast<size_t>(s)].pulsecount = 1;
        }
        timing.firstblankedsample = 3;
        timing.lastblankedsample = 10;
        createintegrator(integrator, n, window);
        createpulseanalysis(reference, window);
        createoscillator(oscillator, config.steering);
        createlongintegration(rows, n, window);
        buffer.bufstart = 10;
        buffer.bufend = 20;
    }
    void shortintegration(float seconds) {
        config.clock.shortintegration = seconds;
        config.steering.shortintegration = seconds;
    }
    void resynclimit(float limit) {
        config.steering.resynclimit = limit;
        config.health.resynclimit = limit;
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
        if (integrator.windowsamples >= smallestanalysedwindow) {
            analysepulse(reference, integrator, 0, config.pulse);
            if (config.clock.srcorr != 0) tracksampleclock(sampleclock, buffer, reference.edge, config.clock);
        }
        trackoscillator(oscillator, reference, sampleclock, config.steering);
        const std::string command = steeringcommand(oscillator, config.steering);
        if (!command.empty()) commands.push_back(command);
        followreference(rows, reference, config.fold);
        if (config.fold.notch100khz != 0) updatebias(rows, takebias(frontend));
        fold(rows, integrator, table, timing, config.fold, sampleclock.sr);
        judgeshortintegration(health, reference.peak, pcclockerror, config.health);
    }
};

const std::vector<double> rising = {0, 0, 10, 30, 50, 80, 100, 90, 70};

TEST(ReferenceAnalysis, PeakEdgePhaseAndClockCorrection) {
    World w;
    w.shortintegration(30);
    w.pulse(rising, 1, 1);
    w.integrator.timingresidual[0] = 0.4f;
    w.step();
    const float amp = std::sqrt(2.0f);
    EXPECT_FLOAT_EQ(w.reference.peak, 100 * amp);
    EXPECT_FLOAT_EQ(w.reference.edgefraction, 0.5f);  // level 40 between 30 and 50 (x amp)
    EXPECT_FLOAT_EQ(w.reference.edge, 5.3f);       // 5 + 0.5 - 0.4 / 2
    EXPECT_FLOAT_EQ(w.reference.edgere, 40);
    EXPECT_NEAR(w.reference.phase, pi32 / 4, 1e-6);
    // The edge 0.3 samples late: the clock jumps back, the rate rises.
    EXPECT_NEAR(w.buffer.bufstart, 10 - 0.3 / 22050, 1e-9);
    EXPECT_NEAR(w.buffer.bufend, 20 - 0.3 / 22050, 1e-9);
    EXPECT_NEAR(w.sampleclock.sr, 22050 + 0.3 / 30, 1e-6);

    // On the diagonal below the real axis the phase is 7/4 pi, not 3/4 pi.
    w.pulse(rising, 1, -1);
    w.step();
    EXPECT_NEAR(w.reference.phase, 7 * pi32 / 4, 1e-5);
    w.pulse(rising, -1, 0);
    w.step();
    EXPECT_NEAR(w.reference.phase, pi32, 1e-6);
}

TEST(ReferenceAnalysis, SampleRateStaysNearItsConfiguredValue) {
    World w;
    w.shortintegration(0.001f);  // a huge loop gain
    w.pulse({0, 0, 0, 0, 0, 0, 0, 0, 100}, 1, 0);  // edge far late
    w.step();
    EXPECT_DOUBLE_EQ(w.sampleclock.sr, 22050 * 1.001);
    w.config.clock.srcorr = -1;
    for (int i = 0; i < 3; ++i) {
        w.pulse({0, 0, 0, 0, 0, 0, 0, 0, 100}, 1, 0);
        w.step();
    }
    EXPECT_DOUBLE_EQ(w.sampleclock.sr, 22050 * 0.999);
}

TEST(ReferenceAnalysis, SearchClampedInWindowsOfSevenSkippedBelow) {
    // Positions 2 .. 6: the peak 50 at 6, the edge at level 20 halfway from 4 to 5.
    World seven(1, 7);
    seven.config.clock.srcorr = 0;
    seven.pulse({0, 0, 10, 30, 50}, 1, 0);
    seven.step();
    EXPECT_FLOAT_EQ(seven.reference.peak, 50);
    EXPECT_FLOAT_EQ(seven.reference.edge, 4.5f);

    World w(1, 6);
    w.pulse({0, 0, 10, 30}, 1, 0);
    w.step();
    EXPECT_EQ(w.reference.peak, 0.0f);
    EXPECT_EQ(w.sampleclock.sr, 22050);
    EXPECT_EQ(w.buffer.bufend, 20);
    // The fold still ran.
    EXPECT_FLOAT_EQ(w.rows.longre[4], 10);
    EXPECT_EQ(w.integrator.sumre[4], 0);
    EXPECT_EQ(w.integrator.windowcount[0], 0);
}

TEST(OscillatorTracking, PhaseStepWrapsIntoHalfACycle) {
    World w;
    w.config.clock.srcorr = 0;
    w.shortintegration(10);
    w.oscillator.lastrefcycles = 0.1f;
    w.reference.phase = 0.8f * 2 * pi32;  // reference without windows: kept
    w.step();
    EXPECT_NEAR(w.oscillator.fracfreq, -0.3 / 10 / 100000, 1e-12);
    EXPECT_FLOAT_EQ(w.oscillator.lastrefcycles, 0.8f);
}

TEST(OscillatorTracking, LocksAfterFourGoodFoldsAndLosesIt) {
    World w;
    w.config.clock.srcorr = 0;
    w.resynclimit(60);
    w.config.steering.srloavini = 7;
    w.config.steering.srlooffset = 1e-7f;  // 3 us of drift per fold
    for (int fold = 1; fold <= 5; ++fold) {
        w.pulse(rising, 1, 0);
        w.step();
        EXPECT_EQ(w.oscillator.lockcount, std::min(fold, 4));
        if (fold < 4) {
            EXPECT_EQ(w.oscillator.driftus, 0.0f);
            EXPECT_EQ(w.oscillator.shownfdrift, 0.0f);
            EXPECT_EQ(w.oscillator.srloavg, 7.0f);
        }
    }
    EXPECT_NEAR(w.oscillator.driftus, -6.0, 1e-4);
    EXPECT_EQ(w.oscillator.shownfdrift, w.oscillator.driftus);
    EXPECT_EQ(w.health.resynccount, 0);

    w.pulse(rising, 0.5, 0);  // peak 50, below the limit
    w.step();
    EXPECT_EQ(w.oscillator.lockcount, 0);
    EXPECT_EQ(w.oscillator.driftus, 0.0f);
    EXPECT_NEAR(w.oscillator.shownfdrift, -6.0, 1e-4);  // stays as last shown
    EXPECT_EQ(w.health.resynccount, 1);
    w.pulse(rising, 1, 0);
    w.step();
    EXPECT_EQ(w.health.resynccount, 0);
}

TEST(OscillatorTracking, SrcorrZeroLeavesRateAndBufferTimes) {
    World w;
    w.config.clock.srcorr = 0;
    w.config.steering.srlooffset = 2e-6f;
    w.config.steering.srlofactor = 5;
    w.pulse({0, 0, 0, 0, 0, 0, 0, 0, 100}, 1, 0);
    w.step();
    EXPECT_EQ(w.sampleclock.sr, 22050);
    EXPECT_EQ(w.buffer.bufstart, 10);
    EXPECT_EQ(w.buffer.bufend, 20);
    EXPECT_FLOAT_EQ(w.oscillator.srlodrift, 2e-6f * 1000000 * 30);
}

TEST(Steering, CommandCarriesTheClampedFrequency) {
    World w;
    w.config.clock.srcorr = 0;
    for (int fold = 0; fold < 5; ++fold) {  // locked, but no pllcommand given
        w.pulse(rising, 1, 0);
        w.step();
    }
    EXPECT_TRUE(w.commands.empty());
    w.config.steering.pllenabled = 1;
    w.config.steering.pllcommand = "tonegen1 /testsig=";
    w.pulse(rising, 1, 0);
    w.step();
    ASSERT_EQ(w.commands.size(), 1u);
    EXPECT_EQ(w.commands[0], "tonegen1 /testsig=  0");

    w.config.steering.pllhigh = 1000;
    w.config.steering.pllcenter = 899.9876543;
    w.pulse(rising, 1, 0);
    w.step();
    EXPECT_EQ(w.commands.back(), "tonegen1 /testsig=  899.98765");

    w.config.steering.pllhigh = 100;
    w.config.steering.plllow = 200;  // crossed: the lower limit wins
    w.step();
    EXPECT_EQ(w.commands.back(), "tonegen1 /testsig=  200");
}

// The steering law, worked by hand: tone = pllcenter - driftus x pllfactort
// - (fracfreq - pllfavg) x pllfactorf + (pllfavg - srloavg) x ffactor, with
// pllfavg and srloavg running means updated first.
TEST(Steering, TheLawOfTheToneFrequency) {
    SteeringConfig c;
    c.pllenabled = 1;
    c.pllcommand = "tone";
    c.pllhigh = 2000;
    c.pllcenter = 900;
    c.pllfactort = 10;
    c.pllfactorf = 2e9f;
    c.pllaveragef = 0.25f;
    c.shortintegration = 30;
    Oscillator o;
    o.lockcount = 4;
    o.driftus = 2;
    o.fracfreq = 1e-9f;
    o.pllfavg = 3e-9f;
    // pllfavg = 0.25 x 1e-9 + 0.75 x 3e-9 = 2.5e-9;
    // 900 - 2 x 10 - (1e-9 - 2.5e-9) x 2e9 = 900 - 20 + 3.
    EXPECT_EQ(steeringcommand(o, c).substr(0, 8), "tone  88");
    EXPECT_NEAR(o.pllfavg, 2.5e-9, 1e-16);
    EXPECT_NEAR(o.pllfreq, 883, 1e-4);

    // srloavg = 6 us x 0.5 / 30 s / 1e6 + 0.5 x 1e-7 = 1.5e-7; pllfavg moves to
    // 0.25 x 1e-9 + 0.75 x 2.5e-9 = 2.125e-9:
    // 900 - 20 - (1e-9 - 2.125e-9) x 2e9 + (2.125e-9 - 1.5e-7) x 1e8
    // = 880 + 2.25 - 14.7875.
    c.ffactor = 1e8f;
    c.srloavfac = 0.5f;
    o.srlodrift = 6;
    o.srloavg = 1e-7f;
    steeringcommand(o, c);
    EXPECT_NEAR(o.srloavg, 1.5e-7, 1e-13);
    EXPECT_NEAR(o.pllfreq, 880 + 2.25 - 14.7875, 1e-4);

    // Dither: uniform within +-plldither about the undithered 880.
    c.ffactor = 0;
    c.plldither = 0.5f;
    o.fracfreq = o.pllfavg = 0;
    double low = 1e9, high = -1e9;
    for (int i = 0; i < 200; ++i) {
        steeringcommand(o, c);
        low = std::min(low, o.pllfreq);
        high = std::max(high, o.pllfreq);
    }
    EXPECT_GE(low, 879.5);
    EXPECT_LE(high, 880.5);
    EXPECT_LT(low, 879.7);
    EXPECT_GT(high, 880.3);
}

// phasereference 90 degrees, the reference's edge carrier at (3, 4): the
// working rotation is (0 x 3 - 1 x 4, 0 x 4 + 1 x 3) / 5 = (-0.8, 0.6), and a
// sample 10 + 0i folds to (-0.8 x 10, -0.6 x 10).
TEST(Fold, PhaseReferenceTurnsTheFollowedRotation) {
    World w;
    w.config.fold.notch100khz = 0;
    const float ninety[2] = {0, 1};
    startfoldperiod(w.rows, ninety);
    PulseAnalysis edge;
    edge.edgere = 3;
    edge.edgeim = 4;
    edge.edgeamp = 5;
    followreference(w.rows, edge, w.config.fold);
    EXPECT_FLOAT_EQ(w.rows.workrotation[0], -0.8f);
    EXPECT_FLOAT_EQ(w.rows.workrotation[1], 0.6f);
    w.integrator.windowcount[0] = 2;
    w.integrator.sumre[5] = 20;
    fold(w.rows, w.integrator, w.table, w.timing, w.config.fold, 22050);
    EXPECT_FLOAT_EQ(w.rows.longre[5], -8);
    EXPECT_FLOAT_EQ(w.rows.longim[5], -6);
}

// Without the notch the configured offset (2, -1) is taken off at
// 4 / pulsecount of its value: with 8 pulses (1, -0.5) from every position.
TEST(Fold, ConfiguredBiasWithoutTheNotch) {
    World w;
    w.config.fold.notch100khz = 0;
    w.config.fold.phasecorr = 0;
    w.config.fold.biasreal = 2;
    w.config.fold.biasimag = -1;
    w.timing.patterns[0].pulsecount = 8;
    w.integrator.windowcount[0] = 2;
    w.integrator.sumre[3] = 20;
    fold(w.rows, w.integrator, w.table, w.timing, w.config.fold, 22050);
    EXPECT_FLOAT_EQ(w.rows.longre[3], 20 / 2 - 1);
    EXPECT_FLOAT_EQ(w.rows.longim[3], 0.5f);
    EXPECT_FLOAT_EQ(w.rows.longre[4], -1);
    EXPECT_FLOAT_EQ(w.rows.longim[4], 0.5f);
}

TEST(Fold, BlankedStationChangesTheBiasOfLaterStations) {
    auto run = [](World& w, std::int32_t blankedindex) {
        w.config.clock.srcorr = 0;
        w.config.fold.notch100khz = 0;
        w.config.fold.phasecorr = 0;
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
    EXPECT_FLOAT_EQ(first.rows.longre[24 + 0], -4 * wr);
    EXPECT_FLOAT_EQ(first.rows.longre[48 + 23], -4 * wr);
    EXPECT_FLOAT_EQ(first.rows.longre[0], 0);
    World last(3);
    run(last, 2);
    for (size_t p = 0; p < 48; ++p) EXPECT_EQ(last.rows.longre[p], 0.0f) << p;
}

TEST(Fold, NormalisesRotatesAndCorrectsNoiseBlankerLosses) {
    World w(2);
    w.config.clock.srcorr = 0;
    w.config.fold.notch100khz = 1;
    w.config.fold.nb = 1;
    w.config.fold.nbcorr = 1;
    w.frontend.biassumre = 40;
    w.frontend.biassumim = 0;
    w.frontend.biascount = 4;  // bias 10 + 0i
    w.timing.patterns[1].blankweight = 0.5f;
    w.pulse(rising, 0, 1, 2, 0);  // reference at 90 degrees: rotated onto the real axis
    w.integrator.windowcount[1] = 4;
    w.integrator.signsum[1] = 2;
    w.integrator.sumre[24 + 7] = 400;
    w.integrator.nbcount[24 + 7] = 2;   // half the windows lost: doubled
    w.integrator.timingresidual[1] = 1;
    float rotation[2] = {1, 0};
    startfoldperiod(w.rows, rotation);
    w.step();
    EXPECT_NEAR(w.rows.workrotation[0], 0, 1e-6);
    EXPECT_NEAR(w.rows.workrotation[1], 1, 1e-6);
    EXPECT_NEAR(w.rows.longre[8], 100, 1e-4);  // the reference peak turned real
    EXPECT_NEAR(w.rows.longim[8], 0, 1e-4);
    // Station 1: W = 2, offset q x bias = (2 / 2) x 10; (400 / 2 - 10) / (1 - 2 / 4) = 380,
    // then rotated by -90 degrees.
    EXPECT_NEAR(w.rows.longim[24 + 7], -380, 1e-3);
    EXPECT_NEAR(w.rows.longre[24 + 6], 0, 1e-6);
    EXPECT_NEAR(w.rows.longim[24 + 6], 10, 1e-6);
    EXPECT_FLOAT_EQ(w.rows.longresidual[1], 0.25f);
    EXPECT_EQ(w.integrator.nbcount[24 + 7], 0.0f);
    EXPECT_EQ(w.frontend.biascount, 0.0f);
    EXPECT_EQ(w.integrator.signsum[1], 0);
}

TEST(Health, LiveClockErrorMakesAFoldBad) {
    World w;
    w.config.clock.srcorr = 0;
    w.config.health.live = true;
    w.config.health.clockerrorlimit = 0.5f;
    w.pcclockerror = -0.75f;
    w.step();
    w.step();
    EXPECT_EQ(w.health.resynccount, 2);
    w.config.health.live = false;  // recordings have no PC clock to compare
    w.step();
    EXPECT_EQ(w.health.resynccount, 1);
}

// The lost-reference watch: three short integrations in a row with the rate
// at its limit (20000 Hz +- 20 Hz), said once until the watch is reset.
TEST(SampleClock, RateAtItsLimitThreeTimesInARowIsSaidOnce) {
    RateLimitWatch watch;
    auto at = [&](double sr) { return watchratelimit(watch, SampleClock{20000, sr}); };
    EXPECT_FALSE(at(20020));
    EXPECT_FALSE(at(20020));
    EXPECT_FALSE(at(20019.9));  // just inside: the count starts again
    EXPECT_FALSE(at(19980));
    EXPECT_FALSE(at(20020));
    EXPECT_TRUE(at(19980));
    EXPECT_FALSE(at(19980));
    watch = {};
    EXPECT_FALSE(at(20020));
    EXPECT_FALSE(at(20020));
    EXPECT_TRUE(at(20020));
}

}  // namespace
}  // namespace corvane
