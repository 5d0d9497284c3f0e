#include "pulses/frontend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "acquisition/samplereader.h"

namespace corvane {
namespace {

constexpr std::int32_t overlap = 4;

struct Bench {
    FrontEndConfig settings;
    SampleBuffer buffer;
    FrontEnd frontend;
    explicit Bench(int channels = 2) {
        settings.channels = static_cast<std::int16_t>(channels);
        buffer.overlap = overlap;
        buffer.blocklen = 30000;
        buffer.samplere.assign(overlap + 30000, 0);
        buffer.sampleim.assign(overlap + 30000, 0);
        buffer.samplepower.assign(overlap + 30000, 0);
    }
    // Conditions a new block of n samples of value (re, im).
    void block(std::int32_t n, std::int16_t re, std::int16_t im) {
        buffer.blocksamples = n;
        for (std::int32_t i = overlap; i < overlap + n; ++i) {
            buffer.samplere[i] = re;
            buffer.sampleim[i] = im;
        }
        conditionblock(frontend, buffer, settings);
    }
    std::complex<double> at(std::int32_t j) const {
        return {static_cast<double>(buffer.samplere[overlap + j]), static_cast<double>(buffer.sampleim[overlap + j])};
    }
};

TEST(FrontEnd, PassesSamplesUnchangedByDefault) {
    Bench b;
    initfrontend(b.frontend, b.settings);
    b.block(10, -123, 456);
    EXPECT_EQ(b.at(9), std::complex<double>(-123, 456));
    EXPECT_EQ(b.buffer.samplere[0], 0);  // the overlap is left alone
}

TEST(FrontEnd, ScalingRoundsHalfToEvenAndClamps) {
    Bench mono(1);
    mono.settings.filescale = 2;
    initfrontend(mono.frontend, mono.settings);
    mono.block(3, 1000, 0);
    EXPECT_EQ(mono.at(0), std::complex<double>(2000, 0));

    Bench b;
    b.settings.filescale = 1.5f;
    initfrontend(b.frontend, b.settings);
    b.block(1, 3, 1);  // 4.5 -> 4, 1.5 -> 2
    EXPECT_EQ(b.at(0), std::complex<double>(4, 2));
    b.settings.filescale = 2;
    b.block(1, 20000, -20000);
    EXPECT_EQ(b.at(0), std::complex<double>(32767, -32768));
    b.settings.filescale = 3e38f;  // products beyond the real32 range
    b.block(1, 2, -2);
    EXPECT_EQ(b.at(0), std::complex<double>(32767, -32768));
}

TEST(FrontEnd, OscillatorShiftsDownAndReanchorsEvery100Samples) {
    Bench b;
    b.settings.looffset = 1000;
    initfrontend(b.frontend, b.settings);
    b.block(60, 1000, 0);
    b.block(60, 1000, 0);  // the count of 100 runs on across blocks
    EXPECT_EQ(b.frontend.locount, 20);
    EXPECT_NEAR(b.frontend.lophase, 100000.0 / 22050 - 4, 1e-6);  // 0.5351...

    const double w = 2 * std::numbers::pi * 1000 / 22050;
    // Block two, index 38 is sample 98 of the run: 98 steps from (1, 0).
    EXPECT_LT(std::abs(b.at(38) - std::polar(1000.0, -98 * w)), 1.5);
    // Sample 99 re-anchors on lophase 0; the next ones turn on from there.
    EXPECT_EQ(b.at(39), std::complex<double>(1000, 0));
    EXPECT_LT(std::abs(b.at(40) - std::polar(1000.0, -w)), 1.5);
    b.block(80, 1000, 0);  // sample 199 re-anchors on the advanced phase
    EXPECT_LT(std::abs(b.at(79) - std::polar(1000.0, -100 * w)), 1.5);
}

TEST(FrontEnd, OneChannelShiftFillsTheImaginaryPart) {
    Bench b(1);
    b.settings.looffset = 5512.5;  // a quarter turn per sample
    b.settings.filescale = 2;      // carried by the rotor, applied once
    initfrontend(b.frontend, b.settings);
    b.block(3, 100, 0);
    EXPECT_EQ(b.at(0), std::complex<double>(200, 0));
    EXPECT_EQ(b.at(1), std::complex<double>(0, -200));
    EXPECT_EQ(b.at(2), std::complex<double>(-200, 0));
}

TEST(FrontEnd, DriftAdvancesTheOffset) {
    Bench b;
    b.settings.lodrift = 0.5f;
    initfrontend(b.frontend, b.settings);
    b.block(100, 300, 0);  // the shift runs from the first block on
    EXPECT_NEAR(b.frontend.looffset, 50.0 / 22050, 1e-12);
    b.block(22000, 300, 0);
    EXPECT_NEAR(b.frontend.looffset, 221 * 50.0 / 22050, 1e-9);  // about 0.5 Hz after 1 s
}

TEST(FrontEnd, BiasSumsLeaveOutStrongSamplesWithTheBlanker) {
    Bench b;
    b.settings.nb = 1;
    b.settings.nbfac = 1;
    initfrontend(b.frontend, b.settings);
    b.block(8, 30, -40);
    EXPECT_EQ(b.buffer.samplepower[overlap + 7], 2500.0f);
    // Equal power everywhere: nothing lies below the mean.
    for (int k = 0; k < 8; ++k) b.buffer.samplepower[k] = 2500;
    accumulatebias(b.frontend, b.buffer, b.settings);
    EXPECT_EQ(b.frontend.biassumre, 0);
    EXPECT_EQ(b.frontend.biassumim, 0);
    EXPECT_EQ(b.frontend.biascount, 8);

    // One strong sample raises the threshold above the rest.
    for (int k = 0; k < 4; ++k) {
        b.buffer.samplere[k] = static_cast<std::int16_t>(k == 3 ? 1000 : 5);
        b.buffer.sampleim[k] = -2;
        b.buffer.samplepower[k] = k == 3 ? 1e6f : 29;
    }
    b.buffer.blocksamples = 4;
    accumulatebias(b.frontend, b.buffer, b.settings);
    EXPECT_EQ(b.frontend.biassumre, 15);
    EXPECT_EQ(b.frontend.biassumim, -6);
    EXPECT_EQ(b.frontend.biascount, 12);

    b.settings.nb = 0;  // without the blanker every sample counts
    accumulatebias(b.frontend, b.buffer, b.settings);
    EXPECT_EQ(b.frontend.biassumre, 15 + 1015);

    b.buffer.blocksamples = 0;  // a restarted buffer: nothing departs
    accumulatebias(b.frontend, b.buffer, b.settings);
    EXPECT_EQ(b.frontend.biascount, 16);

    // The fold takes the mean and the sums start again; without departed
    // samples the estimate is not fresh.
    const BiasEstimate bias = takebias(b.frontend);
    EXPECT_TRUE(bias.fresh);
    EXPECT_FLOAT_EQ(bias.re, 1030.0f / 16);
    EXPECT_FLOAT_EQ(bias.im, -6.0f / 16 - 8.0f / 16);
    EXPECT_FALSE(takebias(b.frontend).fresh);
}

}  // namespace
}  // namespace corvane
