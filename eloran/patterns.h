// eLoran data channel: the pulse pattern that carries each 7-bit word.
//
// Layout: one word per GRI, carried by pulses 3..8 of the station's modulated
// 8-pulse group (pulses 1 and 2 are never moved). Each of those six pulses is
// shifted by -1, 0 or +1 us; +1 = the pulse 1 us late. A 1 us shift of a
// 100 kHz carrier is a 36 degree phase step; in I + jQ baseband a +1 pulse
// shows at -36 degrees relative to the unmodulated phase, a -1 at +36.
// Every pattern is balanced (its six shifts add up to 0), so the sum of the
// group's 8 pulses keeps the unmodulated phase.
//
// Table order (word value = index 0..127), with -1 < 0 < +1 and pulse 3 the
// most significant position:
//   0..89    the 90 patterns with two +1 and two -1, in increasing order;
//   90..118  the patterns with one +1 and one -1, in increasing order,
//            without +0000-;
//   119..126 +-+-+-, -+-+-+, +-+--+, -+-++-, +--+-+, -++-+-, +--++-, -++--+;
//   127      +0000-.
#pragma once

#include <array>
#include <cstdint>

namespace corvane::eloran {

constexpr int wordcount = 128;        // 7-bit words
constexpr int modulatedpulses = 6;    // pulses 3..8 of the group

// Shifts of pulses 3..8 (element 0 = pulse 3), each -1, 0 or +1 (us).
using Pattern = std::array<std::int8_t, modulatedpulses>;

// The pattern of word 0..127 (bits above bit 6 are ignored).
const Pattern& wordpattern(std::uint8_t word);

}  // namespace corvane::eloran
