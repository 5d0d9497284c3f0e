#include "eloran/demodulator.h"

#include <cmath>

#include "eloran/patterns.h"

namespace corvane::eloran {

WordDecision demodulateword(const GroupPulses& pulses) {
    WordDecision out;
    std::complex<float> ref(0, 0);
    for (const std::complex<float>& c : pulses) ref += c;
    const float magnitude = std::abs(ref);
    if (!(magnitude > 0) || !std::isfinite(magnitude)) return out;
    const std::complex<float> unit = std::conj(ref) / magnitude;

    // Re(w e^{j p 36 deg}) = Re(w) cos 36 - p Im(w) sin 36 for p = +-1.
    const float c36 = std::cos(0.2f * 3.14159265f);
    const float s36 = std::sin(0.2f * 3.14159265f);
    std::array<float, modulatedpulses> re{}, im{};
    for (int k = 0; k < modulatedpulses; ++k) {
        const std::complex<float> w = pulses[k + 2] * unit;
        re[k] = w.real();
        im[k] = w.imag();
    }
    float best = -INFINITY, second = -INFINITY;
    for (int word = 0; word < wordcount; ++word) {
        const Pattern& p = wordpattern(static_cast<std::uint8_t>(word));
        float score = 0;
        for (int k = 0; k < modulatedpulses; ++k)
            score += p[k] == 0 ? re[k] : re[k] * c36 - static_cast<float>(p[k]) * im[k] * s36;
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
