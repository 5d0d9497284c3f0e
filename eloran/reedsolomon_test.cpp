#include "eloran/reedsolomon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace corvane::eloran {
namespace {

// Two received messages, parity w0..w19 then data d0..d9.
constexpr Codeword utcsubtype2 = {0x3d, 0x2a, 0x12, 0x1e, 0x0b, 0x04, 0x36, 0x5c, 0x00, 0x1b,
                                  0x5e, 0x35, 0x4e, 0x75, 0x7e, 0x37, 0x46, 0x1e, 0x77, 0x3d,
                                  0x26, 0x44, 0x2f, 0x73, 0x1c, 0x00, 0x58, 0x01, 0x08, 0x79};
constexpr Codeword utcsubtype1 = {0x22, 0x2f, 0x2b, 0x22, 0x0d, 0x11, 0x14, 0x10, 0x39, 0x63,
                                  0x33, 0x1c, 0x1c, 0x1d, 0x65, 0x39, 0x1b, 0x42, 0x1f, 0x49,
                                  0x16, 0x7a, 0x4c, 0x45, 0x07, 0x71, 0x3f, 0x19, 0x41, 0x77};

DataWords dataof(const Codeword& c) {
    DataWords d{};
    std::copy(c.begin() + paritywords, c.end(), d.begin());
    return d;
}

TEST(ReedSolomon, ReceivedCodewordsEncodeAndDecodeUnchanged) {
    for (const Codeword& c : {utcsubtype2, utcsubtype1}) {
        EXPECT_EQ(rsencode(dataof(c)), c);
        const RsResult r = rsdecode(c);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.corrected, 0);
        EXPECT_EQ(r.words, c);
    }
}

TEST(ReedSolomon, GeneratorAndSymbolMapping) {
    const std::array<std::uint8_t, 21> expected = {66, 56, 16, 41, 38, 50,  29, 48, 98,  101, 39,
                                                   90, 39, 127, 59, 24, 76, 58, 118, 37, 1};
    EXPECT_EQ(rsgenerator(), expected);
    // Word v = alpha^v in polynomial basis; alpha^7 = alpha^3 + 1; 127 = zero.
    EXPECT_EQ(wordtoelement(0), 1);
    EXPECT_EQ(wordtoelement(6), 0x40);
    EXPECT_EQ(wordtoelement(7), 0x09);
    EXPECT_EQ(wordtoelement(8), 0x12);
    EXPECT_EQ(wordtoelement(127), 0);
    EXPECT_EQ(elementtoword(0), 127);
    for (int v = 0; v < 128; ++v) EXPECT_EQ(elementtoword(wordtoelement(static_cast<std::uint8_t>(v))), v);
}

struct Corruption {
    Codeword words;
    std::vector<int> erasures;
};

// Random codeword with `errors` words changed and `erasures` further words
// replaced by random values (possibly the right one) and declared erased.
class Channel {
public:
    explicit Channel(unsigned seed) : rng_(seed) {}
    Codeword codeword() {
        DataWords d{};
        for (auto& v : d) v = word();
        return rsencode(d);
    }
    Corruption corrupt(const Codeword& c, int errors, int erasures) {
        std::vector<int> order(codewords);
        for (int j = 0; j < codewords; ++j) order[static_cast<std::size_t>(j)] = j;
        for (int j = codewords - 1; j > 0; --j) std::swap(order[static_cast<std::size_t>(j)], order[rng_() % static_cast<unsigned>(j + 1)]);
        Corruption out{c, {}};
        for (int k = 0; k < errors; ++k) {
            auto& w = out.words[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])];
            w = static_cast<std::uint8_t>((w + 1 + rng_() % 127) % 128);  // always different
        }
        for (int k = errors; k < errors + erasures; ++k) {
            out.words[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])] = word();
            out.erasures.push_back(order[static_cast<std::size_t>(k)]);
        }
        return out;
    }

private:
    std::uint8_t word() { return static_cast<std::uint8_t>(rng_() % 128); }
    std::mt19937 rng_;
};

TEST(ReedSolomon, CorrectsEveryMixWithinTheDistance) {
    Channel channel(1);
    for (int t = 0; t <= 10; ++t) {
        const int f = 20 - 2 * t;
        for (int trial = 0; trial < 200; ++trial) {
            const Codeword c = channel.codeword();
            const Corruption bad = channel.corrupt(c, t, f);
            int wrong = 0;
            for (int j = 0; j < codewords; ++j) wrong += bad.words[static_cast<std::size_t>(j)] != c[static_cast<std::size_t>(j)];
            const RsResult r = rsdecode(bad.words, bad.erasures);
            ASSERT_TRUE(r.ok) << t << " errors, " << f << " erasures";
            ASSERT_EQ(r.words, c);
            ASSERT_EQ(r.corrected, wrong);
        }
    }
}

TEST(ReedSolomon, BeyondTheDistanceEverySuccessIsACodeword) {
    Channel channel(2);
    int successes = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        // 11 errors, or t errors plus f erasures with 2t + f = 21 or 22.
        const int t = trial % 2 == 0 ? 11 : 1 + trial % 10;
        const int f = trial % 2 == 0 ? 0 : std::min(20, 21 + (trial / 2) % 2 - 2 * t);
        const Corruption bad = channel.corrupt(channel.codeword(), t, f);
        const RsResult r = rsdecode(bad.words, bad.erasures);
        if (!r.ok) {
            EXPECT_EQ(r.words, bad.words);
            continue;
        }
        if (f == 0) ++successes;
        EXPECT_EQ(rsencode(dataof(r.words)), r.words);
    }
    // With errors only, a miscorrection to another codeword is rare.
    EXPECT_LT(successes, 5);
}

TEST(ReedSolomon, RejectsInvalidInput) {
    Codeword c = utcsubtype1;
    const std::vector<int> duplicate = {3, 3};
    const std::vector<int> outside = {30};
    const std::vector<int> negative = {-1};
    std::vector<int> toomany(21);
    for (int j = 0; j < 21; ++j) toomany[static_cast<std::size_t>(j)] = j;
    EXPECT_FALSE(rsdecode(c, duplicate).ok);
    EXPECT_FALSE(rsdecode(c, outside).ok);
    EXPECT_FALSE(rsdecode(c, negative).ok);
    EXPECT_FALSE(rsdecode(c, toomany).ok);
    c[4] = 0x80;
    EXPECT_FALSE(rsdecode(c).ok);
    // A clean codeword with erasures declared stays as it is.
    const std::vector<int> some = {0, 7, 29};
    const RsResult r = rsdecode(utcsubtype1, some);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.corrected, 0);
}

}  // namespace
}  // namespace corvane::eloran
