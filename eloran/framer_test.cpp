#include "eloran/framer.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

namespace corvane::eloran {
namespace {

struct Sent {
    Codeword words;
    std::uint64_t lastindex;  // 1-based index of its last word in the stream
};

class Stream {
public:
    explicit Stream(unsigned seed) : rng_(seed) {}
    // A station message with a random position, as the air carries it.
    Codeword message() {
        Message m;
        m.type = 4;
        m.stationid = static_cast<std::uint16_t>(rng_() % 1024);
        m.coordinatekind = 1;
        m.coordinate = static_cast<std::int32_t>(rng_() % 900000000);
        return rsencode(encodemessage(m));
    }
    std::uint8_t word() { return static_cast<std::uint8_t>(rng_() % 128); }
    float margin() { return 1.0f + static_cast<float>(rng_() % 1000) / 1000.0f; }
    unsigned next(unsigned n) { return static_cast<unsigned>(rng_() % n); }

private:
    std::mt19937 rng_;
};

TEST(Framer, FindsEveryCompleteMessageThroughCorruptedWords) {
    Stream s(5);
    std::vector<std::uint8_t> words;
    std::vector<float> margins;
    std::vector<Sent> sent;
    const unsigned offset = 7 + s.next(30);
    for (unsigned i = 0; i < offset; ++i) {
        words.push_back(s.word());
        margins.push_back(s.margin());
    }
    std::vector<int> expectedcorrections;
    for (int n = 0; n < 40; ++n) {
        const Codeword c = s.message();
        std::vector<std::uint8_t> w(c.begin(), c.end());
        std::vector<float> r(codewords);
        for (float& v : r) v = s.margin();
        // Up to 10 wrong words anywhere; every fourth message 12 wrong words,
        // which need erasures, all flagged unreliable.
        const int wrong = n % 4 == 3 ? 12 : static_cast<int>(s.next(11));
        for (int k = 0; k < wrong; ++k) {
            const int j = (k * 7 + n) % codewords;  // distinct positions
            w[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>((w[static_cast<std::size_t>(j)] + 1 + s.next(127)) % 128);
            if (n % 4 == 3) r[static_cast<std::size_t>(j)] = 0.1f;
        }
        expectedcorrections.push_back(wrong);
        words.insert(words.end(), w.begin(), w.end());
        margins.insert(margins.end(), r.begin(), r.end());
        sent.push_back({c, words.size()});
    }
    words.resize(words.size() - 12);  // the last message is cut short
    margins.resize(words.size());
    sent.pop_back();

    Framer framer;
    std::vector<FramedMessage> got;
    for (std::size_t i = 0; i < words.size(); ++i)
        if (auto m = framer.push(words[i], margins[i])) got.push_back(*m);
    ASSERT_EQ(got.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const FramedMessage& m = got[i];
        EXPECT_EQ(m.lastindex, sent[i].lastindex);
        EXPECT_TRUE(std::equal(m.data.begin(), m.data.end(), sent[i].words.begin() + paritywords));
        EXPECT_EQ(m.corrected, expectedcorrections[i]);
        EXPECT_EQ(m.message.type, 4);
    }
    EXPECT_TRUE(framer.locked());
}

TEST(Framer, UnlocksAfterThreeMissedMessagesAndFindsTheNewPhase) {
    Stream s(6);
    std::vector<std::uint8_t> words;
    std::vector<float> margins;
    auto add = [&](const Codeword& c) {
        words.insert(words.end(), c.begin(), c.end());
        margins.insert(margins.end(), codewords, 1.0f);
    };
    auto noise = [&](int n) {
        for (int i = 0; i < n; ++i) {
            words.push_back(s.word());
            margins.push_back(s.margin());
        }
    };
    add(s.message());
    add(s.message());
    noise(2 * codewords + 13);  // two expected messages missed, the third cut
    add(s.message());           // at the new phase
    add(s.message());

    Framer framer;
    std::vector<std::uint64_t> found;
    bool unlocked = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (auto m = framer.push(words[i], margins[i])) found.push_back(m.value().lastindex);
        if (i + 1 == 5 * codewords) unlocked = !framer.locked();
    }
    EXPECT_TRUE(unlocked);
    const std::vector<std::uint64_t> expected = {30, 60, 150 + 13, 180 + 13};
    EXPECT_EQ(found, expected);
}

TEST(Framer, QuickSearchAcquiresOnIntactDataWordsThenCorrectsInFull) {
    Stream s(9);
    std::vector<Codeword> sent;
    std::vector<std::uint8_t> words;
    for (int n = 0; n < 4; ++n) {
        Codeword c = s.message();
        sent.push_back(c);
        // Message 0: a data word wrong (needs RS); message 1: parity words
        // wrong only; messages 2, 3: data words wrong again.
        if (n != 1) c[22] = static_cast<std::uint8_t>((c[22] + 5) % 128);
        if (n == 1) c[3] = static_cast<std::uint8_t>((c[3] + 9) % 128);
        if (n == 3) c[28] = static_cast<std::uint8_t>((c[28] + 1) % 128);
        words.insert(words.end(), c.begin(), c.end());
    }
    Framer quick(true), full;
    std::vector<std::uint64_t> fromquick, fromfull;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (auto m = quick.push(words[i], 1.0f)) {
            fromquick.push_back(m->lastindex);
            EXPECT_TRUE(std::equal(m->data.begin(), m->data.end(), sent[i / codewords].begin() + paritywords));
        }
        if (auto m = full.push(words[i], 1.0f)) fromfull.push_back(m->lastindex);
    }
    EXPECT_EQ(fromquick, (std::vector<std::uint64_t>{60, 90, 120}));
    EXPECT_EQ(fromfull, (std::vector<std::uint64_t>{30, 60, 90, 120}));
}

TEST(Framer, CodewordWhoseDataFailTheCrcIsNoMessage) {
    // A station message whose CRC word d8 is wrong, then given valid RS
    // parity: the RS code accepts it (as received, and with two parity words
    // wrong after correcting them), the CRC must not.
    Stream s(11);
    Message m;
    m.type = 4;
    m.stationid = 321;
    DataWords data = encodemessage(m);
    data[8] = static_cast<std::uint8_t>(data[8] ^ 1);
    const Codeword badcrc = rsencode(data);
    Codeword badcrccorrected = badcrc;
    badcrccorrected[2] = static_cast<std::uint8_t>((badcrccorrected[2] + 3) % 128);
    badcrccorrected[11] = static_cast<std::uint8_t>((badcrccorrected[11] + 40) % 128);
    std::vector<std::uint8_t> words;
    for (const Codeword& c : {badcrc, badcrccorrected, s.message()}) words.insert(words.end(), c.begin(), c.end());
    Framer framer;
    std::vector<std::uint64_t> found;
    for (std::uint8_t w : words)
        if (auto got = framer.push(w, 1.0f)) found.push_back(got->lastindex);
    EXPECT_EQ(found, (std::vector<std::uint64_t>{90}));
}

TEST(Framer, QuickSearchProbesReachEveryPhase) {
    // Messages whose data words are wrong (only a probe with the full
    // correction finds them), at each of the 30 phases: every phase is probed
    // within 60 x 30 words, plus the first 30 words and a message.
    for (unsigned phase = 0; phase < codewords; ++phase) {
        Stream s(20 + phase);
        Framer quick(true);
        std::optional<std::uint64_t> first;
        for (unsigned i = 0; i < phase; ++i) quick.push(s.word(), 1.0f);
        while (quick.count() < 60 * codewords + 2 * codewords && !first) {
            Codeword c = s.message();
            c[25] = static_cast<std::uint8_t>((c[25] + 1) % 128);
            for (std::uint8_t w : c)
                if (auto m = quick.push(w, 1.0f); m && !first) first = m->lastindex;
        }
        ASSERT_TRUE(first.has_value()) << "phase " << phase;
        EXPECT_EQ(*first % codewords, phase) << "phase " << phase;
    }
}

TEST(Framer, NoiseDecodesNothing) {
    Stream s(8);
    Framer framer;
    int messages = 0;
    for (int i = 0; i < 100000; ++i)
        if (framer.push(s.word(), s.margin())) ++messages;
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(framer.count(), 100000u);
}

}  // namespace
}  // namespace corvane::eloran
