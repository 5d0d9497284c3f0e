#include "eloran/demodulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "eloran/patterns.h"

namespace corvane::eloran {
namespace {

constexpr double pi = 3.14159265358979323846;

// Pulses of `word` as received: each pulse delayed by d us turns by
// -36 d degrees; all turned by `phase` radians, of amplitude `a`.
GroupPulses synthetic(int word, double phase, double a) {
    GroupPulses g{};
    const Pattern& p = wordpattern(static_cast<std::uint8_t>(word));
    for (int k = 0; k < 8; ++k) {
        const double shift = k < 2 ? 0 : p[static_cast<std::size_t>(k - 2)];
        g[static_cast<std::size_t>(k)] = std::polar(static_cast<float>(a), static_cast<float>(phase - shift * pi / 5));
    }
    return g;
}

TEST(Demodulator, EveryWordAtAnyPhaseWithNoise) {
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    std::uniform_real_distribution<double> phase(-pi, pi);
    for (int trial = 0; trial < 4; ++trial) {
        for (int word = 0; word < wordcount; ++word) {
            GroupPulses g = synthetic(word, phase(rng), 2.0);
            for (auto& c : g) c += std::complex<float>(noise(rng), noise(rng));
            const WordDecision d = demodulateword(g);
            ASSERT_EQ(d.word, word);
            // Noise-free: score 6 a; the closest other pattern differs in two
            // pulses by one step, 2 a (1 - cos 36) = 0.76 below.
            EXPECT_NEAR(d.score, 12.0f, 0.5f);
            EXPECT_GT(d.margin, 0.4f);
        }
    }
}

TEST(Demodulator, LatePulseIsPlusOne) {
    // Pulse 3 at -36 degrees and pulse 8 at +36 relative to the rest: +0000-.
    GroupPulses g{};
    g.fill(std::complex<float>(0, 1));
    g[2] = std::polar(1.0f, static_cast<float>(pi / 2 - pi / 5));
    g[7] = std::polar(1.0f, static_cast<float>(pi / 2 + pi / 5));
    EXPECT_EQ(demodulateword(g).word, 127);
    std::swap(g[2], g[7]);  // -0000+
    EXPECT_EQ(demodulateword(g).word, 90);
}

TEST(Demodulator, NoReferenceGivesNoReliability) {
    GroupPulses g{};
    EXPECT_EQ(demodulateword(g).margin, 0.0f);
    g = synthetic(5, 0.3, 1.0);
    g[4] = std::complex<float>(std::numeric_limits<float>::quiet_NaN(), 0);
    EXPECT_EQ(demodulateword(g).margin, 0.0f);
    g[4] = std::complex<float>(std::numeric_limits<float>::infinity(), 0);
    EXPECT_EQ(demodulateword(g).margin, 0.0f);
}

}  // namespace
}  // namespace corvane::eloran
