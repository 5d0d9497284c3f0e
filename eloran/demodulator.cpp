#include "eloran/demodulator.h"

#include <cmath>

#include "eloran/patterns.h"

namespace corvane::eloran {

namespace {

// Each word's pattern as two base-3 numbers: the shifts + 1 of pulses 3..5
// and of pulses 6..8 (pulse 3, 6 the most significant digit).
struct Halves {
    std::array<std::uint8_t, wordcount> first{}, second{};
};

Halves buildhalves() {
    Halves h;
    for (int word = 0; word < wordcount; ++word) {
        const Pattern& p = wordpattern(static_cast<std::uint8_t>(word));
        h.first[word] = static_cast<std::uint8_t>(9 * (p[0] + 1) + 3 * (p[1] + 1) + (p[2] + 1));
        h.second[word] = static_cast<std::uint8_t>(9 * (p[3] + 1) + 3 * (p[4] + 1) + (p[5] + 1));
    }
    return h;
}

const Halves halves = buildhalves();
const float c36 = std::cos(0.2f * 3.14159265f);
const float s36 = std::sin(0.2f * 3.14159265f);

}  // namespace

WordDecision demodulateword(const GroupPulses& pulses) {
    WordDecision out;
    std::complex<float> ref(0, 0);
    for (const std::complex<float>& c : pulses) ref += c;
    const float magnitude = std::abs(ref);
    if (!(magnitude > 0) || !std::isfinite(magnitude)) return out;
    const std::complex<float> unit = std::conj(ref) / magnitude;

    // Re(w e^{j p 36 deg}) = Re(w) cos 36 - p Im(w) sin 36 for p = +-1.
    // Each pulse's term for a shift of -1, 0 and +1, computed once.
    std::array<float, 3 * modulatedpulses> term{};
    for (int k = 0; k < modulatedpulses; ++k) {
        const std::complex<float> w = pulses[k + 2] * unit;
        const float re = w.real();
        const float im = w.imag();
        term[3 * k] = re * c36 - static_cast<float>(-1) * im * s36;
        term[3 * k + 1] = re;
        term[3 * k + 2] = re * c36 - static_cast<float>(1) * im * s36;
    }
    // The score of every combination of three shifts for pulses 3..5 and for
    // 6..8; a word's score is the sum of its two halves.
    std::array<float, 27> a{}, b{};
    for (int i = 0; i < 27; ++i) {
        a[i] = term[i / 9] + term[3 + i / 3 % 3] + term[6 + i % 3];
        b[i] = term[9 + i / 9] + term[12 + i / 3 % 3] + term[15 + i % 3];
    }
    float best = -INFINITY, second = -INFINITY;
    for (int word = 0; word < wordcount; ++word) {
        const float score = a[halves.first[word]] + b[halves.second[word]];
        if (score > best) {
            second = best;
            best = score;
            out.word = static_cast<std::uint8_t>(word);
        } else if (score > second) {
            second = score;
        }
    }
    if (!std::isfinite(best) || !std::isfinite(second)) return WordDecision{};
    out.score = best;
    out.margin = best - second;
    return out;
}

}  // namespace corvane::eloran
