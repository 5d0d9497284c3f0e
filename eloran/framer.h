// eLoran data channel: finding the messages in the stream of words.
//
// Input: one word per GRI (0..127, demodulator.h) with its reliability (the
// demodulator's margin; larger is surer, NaN counts as least sure). Messages
// are 30 words back to back with no sync word (w0..w19 parity, w20..w29 =
// data d0..d9, reedsolomon.h), so every window of the last 30 words is a
// candidate: it passes when the RS code corrects it (errors only, then with
// the 2, 4, 6, 8 or 10 least reliable words declared erased; never more, so
// that noise does not make messages) and the data words pass the CRC. A pass
// locks the phase: only every 30th word is then tried. Three expected
// messages failing in a row unlock it, and every word is tried again.
// Quick search (for a decoder that runs all the time): while unlocked, a
// window is tried only when its data words pass the CRC as received (a CRC
// costs about a hundredth of the RS decodings), and besides once every 60
// words, at a phase that moves on by one word each time, so that in 60 x 30
// words every phase is tried with the full correction. A locked window is
// corrected in full. Clean signals are thus found at once, weak ones within
// 1800 GRIs (two minutes at GRI 6731), for a sixtieth of the cost. Because
// intact messages at another phase are found while locked too, the lock is
// kept through 30 failed messages instead of 3.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "eloran/message.h"
#include "eloran/reedsolomon.h"

namespace corvane::eloran {

struct FramedMessage {
    DataWords data{};         // d0..d9 after correction
    Message message;          // decoded from `data` (its CRC passed)
    int corrected = 0;        // words the RS code changed, 0 .. 20
    std::uint64_t lastindex = 0;  // words pushed up to and including its last word
};

class Framer {
public:
    Framer() = default;
    explicit Framer(bool quicksearch) : quicksearch_(quicksearch) {}

    // Adds the word of the next GRI; returns the message that it completes.
    // Bits above bit 6 of `word` are ignored.
    std::optional<FramedMessage> push(std::uint8_t word, float margin);

    bool locked() const { return locked_; }
    std::uint64_t count() const { return count_; }  // words pushed

private:
    std::optional<FramedMessage> trywindow() const;
    bool datacrcok() const;  // the last 10 words pass the CRC as they are

    std::array<std::uint8_t, codewords> words_{};  // ring, slot = index % 30
    std::array<float, codewords> margins_{};
    std::uint64_t count_ = 0;
    bool locked_ = false;
    std::uint64_t expected_ = 0;  // count at which the next message ends when locked
    int misses_ = 0;              // expected messages failed in a row
    bool quicksearch_ = false;
};

}  // namespace corvane::eloran
