// Cross-check of the RS(30,10) encoder and decoder against libfec's generic
// Reed-Solomon code, set up as init_rs_char(7, 0x89, 1, 1, 20, 97). libfec's
// block holds field elements in polynomial-basis form, highest degree first:
// d9..d0 (x^29..x^20), then parity x^19..x^0; the 97 pad symbols are implied.
#include "eloran/reedsolomon.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

extern "C" {
#include <fec.h>
}

namespace corvane::eloran {
namespace {

using Block = std::array<unsigned char, codewords>;

Block toblock(const Codeword& c) {
    Block b{};
    for (int j = 0; j < codewords; ++j) b[static_cast<std::size_t>(codewords - 1 - j)] = wordtoelement(c[static_cast<std::size_t>(j)]);
    return b;
}

Codeword fromblock(const Block& b) {
    Codeword c{};
    for (int j = 0; j < codewords; ++j) c[static_cast<std::size_t>(j)] = elementtoword(b[static_cast<std::size_t>(codewords - 1 - j)]);
    return c;
}

class LibFec : public ::testing::Test {
protected:
    void SetUp() override {
        rs_ = init_rs_char(7, 0x89, 1, 1, 20, 97);
        ASSERT_NE(rs_, nullptr);
    }
    void TearDown() override {
        if (rs_) free_rs_char(rs_);
    }
    void* rs_ = nullptr;
    std::mt19937 rng_{7};
};

TEST_F(LibFec, SameParity) {
    for (int trial = 0; trial < 2000; ++trial) {
        DataWords d{};
        for (auto& v : d) v = static_cast<std::uint8_t>(rng_() % 128);
        const Codeword ours = rsencode(d);
        Block b = toblock(ours);
        std::array<unsigned char, paritywords> parity{};
        encode_rs_char(rs_, b.data(), parity.data());
        for (int k = 0; k < paritywords; ++k)
            ASSERT_EQ(parity[static_cast<std::size_t>(k)], b[static_cast<std::size_t>(datawords + k)]) << "trial " << trial;
    }
}

// Random errors and erasures, within and beyond the distance: whenever either
// decoder accepts a word within the distance, both give the same codeword.
TEST_F(LibFec, SameCorrections) {
    int agreed = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        DataWords d{};
        for (auto& v : d) v = static_cast<std::uint8_t>(rng_() % 128);
        const Codeword sent = rsencode(d);
        const int t = static_cast<int>(rng_() % 13);
        const int f = static_cast<int>(rng_() % 21);
        std::vector<int> order(codewords);
        for (int j = 0; j < codewords; ++j) order[static_cast<std::size_t>(j)] = j;
        for (int j = codewords - 1; j > 0; --j) std::swap(order[static_cast<std::size_t>(j)], order[rng_() % static_cast<unsigned>(j + 1)]);
        Codeword received = sent;
        std::vector<int> erasures;
        for (int k = 0; k < t + f && k < codewords; ++k) {
            const int j = order[static_cast<std::size_t>(k)];
            received[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(rng_() % 128);
            if (k >= t) erasures.push_back(j);
        }
        const RsResult ours = rsdecode(received, erasures);
        Block b = toblock(received);
        std::vector<int> positions(paritywords);
        for (std::size_t k = 0; k < erasures.size(); ++k) positions[k] = codewords - 1 - erasures[k];
        const int count = decode_rs_char(rs_, b.data(), positions.data(), static_cast<int>(erasures.size()));
        const bool within = 2 * t + static_cast<int>(erasures.size()) <= paritywords;
        if (within) {
            ASSERT_TRUE(ours.ok) << "trial " << trial;
            ASSERT_GE(count, 0) << "trial " << trial;
            ASSERT_EQ(ours.words, sent);
            ASSERT_EQ(fromblock(b), sent);
            ++agreed;
        } else if (ours.ok) {
            // Our decoder is the stricter one: its miscorrections are libfec's too.
            ASSERT_GE(count, 0) << "trial " << trial;
            ASSERT_EQ(fromblock(b), ours.words) << "trial " << trial;
        }
    }
    EXPECT_GT(agreed, 8000);  // of 20000, the rest beyond the distance
}

}  // namespace
}  // namespace corvane::eloran
