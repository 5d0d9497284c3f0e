#include "synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "acquisition/clock.h"
#include "core/errors.h"

namespace corvane::sim {
namespace {

constexpr double pi = 3.14159265358979323846;

std::vector<std::complex<double>> run(Synth& synth, std::int64_t frames, std::int32_t block = 4096) {
    std::vector<std::complex<double>> out;
    std::vector<double> re, im;
    while (frames > 0) {
        std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(frames, block));
        synthesize(synth, n, re, im);
        for (std::int32_t i = 0; i < n; ++i) out.emplace_back(re[i], im[i]);
        frames -= n;
    }
    return out;
}

// Sample index (fractional, parabolic refinement) of the largest magnitude
// in [from, to).
double peakat(const std::vector<std::complex<double>>& z, std::size_t from, std::size_t to) {
    std::size_t best = from;
    for (std::size_t i = from; i < to; ++i)
        if (std::abs(z[i]) > std::abs(z[best])) best = i;
    double a = std::abs(z[best - 1]), b = std::abs(z[best]), c = std::abs(z[best + 1]);
    return static_cast<double>(best) + 0.5 * (a - c) / (a - 2 * b + c);
}

TEST(Synth, PatternsFollowThePhaseCodes) {
    PulsePattern p;
    ASSERT_TRUE(transmitpattern(7499, 'M', p));
    EXPECT_EQ(p.count, 18);
    const int master[18] = {1, 1, -1, -1, 1, -1, 1, -1, 1, 1, -1, -1, 1, 1, 1, 1, 1, -1};
    for (int j = 0; j < 18; ++j) EXPECT_EQ(p.sign[j], master[j]) << j;
    EXPECT_DOUBLE_EQ(p.offset[7], 7e-3);
    EXPECT_DOUBLE_EQ(p.offset[8], 9e-3);   // the ninth pulse, 2 ms after the eighth
    EXPECT_DOUBLE_EQ(p.offset[9], 0.07499);
    EXPECT_DOUBLE_EQ(p.offset[17], 0.07499 + 9e-3);

    ASSERT_TRUE(transmitpattern(7499, 'X', p));
    EXPECT_EQ(p.count, 16);
    const int secondary[16] = {1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, -1, -1};
    for (int j = 0; j < 16; ++j) EXPECT_EQ(p.sign[j], secondary[j]) << j;
    EXPECT_DOUBLE_EQ(p.offset[7], 7e-3);
    EXPECT_DOUBLE_EQ(p.offset[8], 0.07499);

    EXPECT_TRUE(transmitpattern(9007, 'K', p));
    EXPECT_FALSE(transmitpattern(7499, 'A', p));
    EXPECT_FALSE(transmitpattern(7499, 'm', p));
    EXPECT_THROW(makesynth(48000, {{7499, 'B', 0, 0.1}}, {}, {}, 1), RuntimeError);
}

TEST(Synth, GroundWaveAmplitude) {
    EXPECT_DOUBLE_EQ(groundwaveamplitude(0.1, 1000, 1000, 8), 0.1);
    EXPECT_NEAR(groundwaveamplitude(0.1, 4000, 1000, 8), 0.2, 1e-12);
    EXPECT_NEAR(groundwaveamplitude(0.1, 1000, 2000, 0), 0.05, 1e-12);
    EXPECT_NEAR(groundwaveamplitude(0.1, 1000, 2000, 20), 0.005, 1e-12);
    EXPECT_TRUE(std::isfinite(groundwaveamplitude(0.1, 1000, 0, 8)));
    EXPECT_EQ(groundwaveamplitude(0.1, -5, 100, 8), 0);
}

TEST(Synth, ProgramTimeScale) {
    // 1 Jan 2024 00:00:00 UTC: 24106 days since 1958, UTC + 22 s + 5 leap seconds.
    StartTime t = programtime(2024, 1, 1, 0, 0, 0.25);
    EXPECT_EQ(t.seconds, 24106LL * 86400 + 27);
    EXPECT_DOUBLE_EQ(t.fraction, 0.25);
    EXPECT_EQ(programtime(2005, 6, 1, 12, 0, 0).seconds, daysince1958(2005, 6, 1) * 86400LL + 43200 + 22);
}

// A master at a known date: its first group after the start arrives at the
// next multiple of two GRIs since 1958 on the Loran time scale plus its delay,
// with the phase code's signs and the carrier phase of its arrival time.
TEST(Synth, ArrivalOnTheLoranTimeScale) {
    const double rate = 192000;
    const StartTime start = programtime(2024, 1, 1, 0, 0, 0);
    const double delay = 0.0123456;
    Synth synth = makesynth(rate, {{7499, 'M', delay, 0.5}}, {}, start, 7);
    auto z = run(synth, static_cast<std::int64_t>(0.2 * rate));

    const std::int64_t p10 = 2 * 7499;
    const std::int64_t r = (start.seconds * 100000) % p10;
    const double first = static_cast<double>((p10 - r) % p10) * 1e-5 + delay;  // s after the start
    const double expect = first - (first > 0.14998 ? 0.14998 : 0);  // earliest group inside the stream
    ASSERT_GT(expect, 0.002);
    // The band-limited pulse peaks where the tabulated shape peaks.
    double shapepeak = 0, best = 0;
    for (double t = 40e-6; t < 110e-6; t += 0.1e-6) {
        double v = bandlimitedenvelope(t, synth.shape.passedge, synth.shape.stopedge);
        if (v > best) best = v, shapepeak = t;
    }
    PulsePattern p;
    transmitpattern(7499, 'M', p);
    std::complex<double> ref;
    for (int j = 0; j < 9; ++j) {
        double t = expect + p.offset[j];
        std::size_t n = static_cast<std::size_t>(t * rate);
        double peak = peakat(z, n, n + 40) / rate - shapepeak;
        EXPECT_NEAR(peak, t, 0.5e-6) << "pulse " << j;
        std::complex<double> v = z[static_cast<std::size_t>(std::lround((t + shapepeak) * rate))];
        if (j == 0) ref = v;
        // Same carrier phase within the group, sign by the phase code.
        EXPECT_NEAR(std::arg(v / ref * static_cast<double>(p.sign[0] * p.sign[j])), 0, 0.02) << "pulse " << j;
    }
    // Carrier: sign x (-j) exp(-j 2 pi 100 kHz T) with T the arrival time
    // (the envelope at the peak sample is real and positive).
    double carrier = -pi / 2 - 2 * pi * 100000 * delay;
    EXPECT_NEAR(std::remainder(std::arg(ref) - carrier, 2 * pi), 0, 0.01);
    EXPECT_NEAR(std::abs(ref), 0.5 * best, 0.01);
}

TEST(Synth, SampleRateErrorStretchesTheTimeAxis) {
    const double rate = 48000;
    Impairments imp;
    imp.ppm = 500;  // 48024 samples per true second
    const StartTime start = programtime(2024, 1, 1, 0, 0, 0);
    Synth fast = makesynth(rate, {{7499, 'M', 0.0, 0.5}}, imp, start, 1);
    Synth exact = makesynth(rate, {{7499, 'M', 0.0, 0.5}}, {}, start, 1);
    const std::int64_t frames = static_cast<std::int64_t>(1.5 * rate);
    auto a = run(fast, frames), b = run(exact, frames);
    // The group nearest 1.2 s.
    const std::int64_t p10 = 2 * 7499;
    double t = static_cast<double>((p10 - (start.seconds * 100000) % p10) % p10) * 1e-5;
    while (t < 1.2) t += 0.14998;
    std::size_t n = static_cast<std::size_t>(t * rate);
    double shift = peakat(a, n, n + 120) - peakat(b, n - 10, n + 110);
    EXPECT_NEAR(shift, t * rate * 500e-6, 0.05);
}

TEST(Synth, OscillatorOffsetAndDrift) {
    const double rate = 8000 * 4;
    Impairments imp;
    imp.cw.push_back({0, 0.5});
    imp.looffset = 10;
    imp.lodrift = 2;
    Synth synth = makesynth(rate, {}, imp, {}, 1);
    auto z = run(synth, static_cast<std::int64_t>(3.2 * rate), 1000);
    for (double t : {0.0, 0.7, 1.234, 3.0}) {
        std::size_t n = static_cast<std::size_t>(std::lround(t * rate));
        double tn = static_cast<double>(n) / rate;
        double phase = 2 * pi * (10 * tn + tn * tn);
        EXPECT_NEAR(std::remainder(std::arg(z[n]) - phase, 2 * pi), 0, 1e-6) << t;
        EXPECT_NEAR(std::abs(z[n]), 0.5, 1e-9);
    }
}

TEST(Synth, NoiseLevelAndSeeds) {
    Impairments imp;
    imp.noise = 0.1;
    Synth a = makesynth(48000, {}, imp, {}, 42);
    Synth b = makesynth(48000, {}, imp, {}, 42);
    Synth c = makesynth(48000, {}, imp, {}, 43);
    auto za = run(a, 100000), zb = run(b, 100000, 777), zc = run(c, 100000);
    EXPECT_EQ(za, zb);  // same seed, same samples, whatever the block size
    EXPECT_NE(za, zc);
    double sr = 0, si = 0, mean = 0;
    for (auto v : za) sr += v.real() * v.real(), si += v.imag() * v.imag(), mean += v.real();
    EXPECT_NEAR(std::sqrt(sr / za.size()), 0.1, 0.002);
    EXPECT_NEAR(std::sqrt(si / za.size()), 0.1, 0.002);
    EXPECT_NEAR(mean / za.size(), 0, 0.002);
}

TEST(Synth, ImpulsiveBursts) {
    Impairments imp;
    imp.impulserate = 50;
    imp.impulseamplitude = 0.8;
    Synth synth = makesynth(48000, {}, imp, {}, 5);
    auto z = run(synth, 48000 * 4);
    int bursts = 0;
    double top = 0;
    for (std::size_t i = 1; i < z.size(); ++i) {
        top = std::max(top, std::abs(z[i]));
        if (std::abs(z[i]) > 0.5 && std::abs(z[i - 1]) < 0.5) ++bursts;
    }
    EXPECT_NEAR(bursts, 200, 45);  // Poisson, 200 expected
    EXPECT_LE(top, 1.6);
    EXPECT_GE(top, 0.79);
}

TEST(Synth, EncodesEightAndSixteenBits) {
    std::vector<double> re = {0, 1, -1, 0.5, 2, std::nan("")};
    std::vector<double> im = {0, -1, 1, -0.25, 0, 0};
    std::vector<unsigned char> bytes;
    EXPECT_EQ(encodeframes(re, im, 4, 16, 2, bytes), 0);
    ASSERT_EQ(bytes.size(), 16u);
    const unsigned char s16[16] = {0, 0, 0, 0, 0xff, 0x7f, 0x01, 0x80, 0x01, 0x80, 0xff, 0x7f, 0x00, 0x40, 0x00, 0xe0};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], s16[i]) << i;
    // 0.5 x 32767 = 16383.5 rounds to the even 16384 (0x4000); -0.25 -> -8192.
    EXPECT_EQ(encodeframes(re, im, 6, 8, 2, bytes), 2);  // 2 and NaN clip
    ASSERT_EQ(bytes.size(), 12u);
    const unsigned char s8[12] = {128, 128, 255, 1, 1, 255, 192, 96, 255, 128, 0, 128};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(bytes[i], s8[i]) << i;
    EXPECT_EQ(encodeframes(re, im, 3, 16, 1, bytes), 0);
    ASSERT_EQ(bytes.size(), 6u);
    EXPECT_EQ(bytes[2], 0xff);
    EXPECT_EQ(bytes[3], 0x7f);
    EXPECT_EQ(encodeframes(re, im, 3, 8, 1, bytes), 0);
    ASSERT_EQ(bytes.size(), 3u);
    EXPECT_EQ(bytes[2], 1);
}

}  // namespace
}  // namespace corvane::sim
