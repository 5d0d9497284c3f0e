// eLoran data channel: the word carried by one GRI of the modulated group.
//
// Input: the complex amplitudes (I + jQ baseband, any common scale and phase)
// of the group's 8 pulses, element 0 = pulse 1, with the phase code already
// removed. Pulses 3..8 carry the word (patterns.h): a +1 pulse shows at -36
// degrees of carrier phase relative to the unmodulated pulses, a -1 at +36.
// The reference is the sum of all 8 pulses; because every pattern is
// balanced, it has the unmodulated phase. With w_k = c_k conj(ref) / |ref|,
// pattern p scores sum_{k=3..8} Re(w_k e^{+j 36 deg p_k}) (amplitude units of
// the input); the best pattern gives the word, its lead over the second best
// the reliability.
#pragma once

#include <array>
#include <complex>
#include <cstdint>

namespace corvane::eloran {

using GroupPulses = std::array<std::complex<float>, 8>;  // pulses 1..8

struct WordDecision {
    std::uint8_t word = 0;  // 0 .. 127
    float score = 0;        // of the best pattern, input amplitude units
    float margin = 0;       // best minus second best score, >= 0; 0 when the
                            // reference is zero or an input is not finite
};

WordDecision demodulateword(const GroupPulses& pulses);

}  // namespace corvane::eloran
