#include "pulseshape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

namespace corvane::sim {
namespace {

constexpr double pi = 3.14159265358979323846;

TEST(PulseShape, EnvelopePeaksAtSixtyFiveMicroseconds) {
    EXPECT_DOUBLE_EQ(loranenvelope(65e-6), 1.0);
    EXPECT_LT(loranenvelope(64e-6), 1.0);
    EXPECT_LT(loranenvelope(66e-6), 1.0);
    EXPECT_EQ(loranenvelope(0), 0);
    EXPECT_EQ(loranenvelope(-1e-6), 0);
    EXPECT_LT(loranenvelope(800e-6), 1e-6);

    // Band-limited to 25 kHz the peak stays within 2 us of 65 us.
    double pass = 0, stop = 0;
    ASSERT_TRUE(bandedges(192000, 0, pass, stop));
    double best = 0, at = 0;
    for (double t = 40e-6; t < 90e-6; t += 0.25e-6) {
        double v = bandlimitedenvelope(t, pass, stop);
        if (v > best) best = v, at = t;
    }
    EXPECT_NEAR(at, 65e-6, 2e-6);
    EXPECT_NEAR(best, 1.0, 0.05);
}

TEST(PulseShape, TableInterpolatesFractionalStarts) {
    double pass = 0, stop = 0;
    ASSERT_TRUE(bandedges(48000, 0, pass, stop));
    EXPECT_DOUBLE_EQ(stop, 24000);
    EXPECT_DOUBLE_EQ(pass, 12000);
    PulseShape shape = buildpulseshape(48000, pass, stop);
    for (double fraction : {0.0, 0.013, 0.5, 0.77, 0.999}) {
        for (int i = -3; i < 20; i += 2) {
            double t = (i - fraction) / 48000;
            EXPECT_NEAR(pulsevalue(shape, i, fraction), bandlimitedenvelope(t, pass, stop), 2e-4)
                << "i " << i << " fraction " << fraction;
        }
    }
    EXPECT_EQ(pulsevalue(shape, -shape.pre - 1, 0.5), 0);
    EXPECT_EQ(pulsevalue(shape, shape.length, 0.5), 0);
    // The tabulated span holds the whole pulse: its ends are negligible.
    EXPECT_LT(std::fabs(pulsevalue(shape, -shape.pre, 0.0)), 1e-3);
    EXPECT_LT(std::fabs(pulsevalue(shape, shape.length - shape.pre - 1, 0.0)), 1e-4);
}

TEST(PulseShape, BandEdgesLeaveRoomForTheOscillatorOffset) {
    double pass = 0, stop = 0;
    ASSERT_TRUE(bandedges(22050, 1000, pass, stop));
    EXPECT_DOUBLE_EQ(stop, 10025);
    ASSERT_TRUE(bandedges(192000, 0, pass, stop));
    EXPECT_DOUBLE_EQ(stop, 25000);
    EXPECT_FALSE(bandedges(8000, 2500, pass, stop));
}

// The sampled pulse's spectrum (sum of x[n] e^{-j 2 pi f n / rate}) equals
// rate x the band-limited continuous spectrum without aliased images: at
// 22050 Hz, where the raw envelope still holds -24 dB at the band edge, the
// band from the stop edge to half the rate stays empty and the pass band
// matches the analytic spectrum.
TEST(PulseShape, SampledPulseDoesNotAlias) {
    const double rate = 22050;
    double pass = 0, stop = 0;
    ASSERT_TRUE(bandedges(rate, 0, pass, stop));
    PulseShape shape = buildpulseshape(rate, pass, stop);
    const double fraction = 0.37;
    auto dtft = [&](double f, bool raw) {
        std::complex<double> sum = 0;
        for (int i = -shape.pre; i < shape.length - shape.pre; ++i) {
            double v = raw ? loranenvelope((i - fraction) / rate) : pulsevalue(shape, i, fraction);
            sum += v * std::polar(1.0, -2 * pi * f * i / rate);
        }
        return sum / rate;
    };
    const double tau = pulsetau;
    auto analytic = [&](double f) {
        std::complex<double> d(2.0, 2 * pi * f * tau);
        return 2 * std::exp(2.0) * tau / (d * d * d) * std::polar(1.0, -2 * pi * f * fraction / rate);
    };
    const double dc = std::abs(analytic(0));
    double worstraw = 0;
    for (double f = 0; f <= rate / 2; f += 125) {
        EXPECT_LT(std::abs(dtft(f, false) - analytic(f) * lowpassgain(f, pass, stop)), 1e-4 * dc) << f;
        worstraw = std::max(worstraw, std::abs(dtft(f, true) - analytic(f)));
    }
    // The unfiltered envelope, sampled, carries images near half the rate.
    EXPECT_GT(worstraw, 1e-2 * dc);
}

}  // namespace
}  // namespace corvane::sim
