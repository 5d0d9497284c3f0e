#include "pulses/stationpulses.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "pulses/integrator.h"

namespace corvane {

void createstationpulses(StationPulses& pulses, std::int32_t n, std::int32_t d) {
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    pulses.analyses.assign(count, PulseAnalysis{});
    for (PulseAnalysis& a : pulses.analyses) createpulseanalysis(a, d);
    pulses.analysed.assign(count, 0);
    pulses.snrdb.assign(count, std::numeric_limits<float>::quiet_NaN());
    pulses.envelope.clear();
}

float pulsesnr(const PulseIntegrator& in, std::int32_t s, float peak, std::vector<float>& envelope) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::int32_t d = in.windowsamples;
    if (s < 0 || s >= in.stationcount || d <= 0) return nan;
    const std::int32_t count = in.windowcount[static_cast<std::size_t>(s)];
    if (count <= 0) return nan;
    const std::size_t base = static_cast<std::size_t>(s) * static_cast<std::size_t>(d);
    envelope.resize(static_cast<std::size_t>(d));
    for (std::size_t k = 0; k < envelope.size(); ++k) {
        const double re = static_cast<double>(in.sumre[base + k]);
        const double im = static_cast<double>(in.sumim[base + k]);
        envelope[k] = static_cast<float>(std::sqrt(re * re + im * im) / count);
    }
    const std::size_t quiet = std::max<std::size_t>(envelope.size() / 4, 1);
    std::nth_element(envelope.begin(), envelope.begin() + static_cast<std::ptrdiff_t>(quiet - 1), envelope.end());
    double noise = 0;
    for (std::size_t k = 0; k < quiet; ++k) noise += envelope[k];
    noise /= static_cast<double>(quiet);
    if (!(peak > 0) || !(noise > 0)) return nan;
    return static_cast<float>(20 * std::log10(static_cast<double>(peak) / noise));
}

void analysestations(StationPulses& pulses, const PulseIntegrator& in, const PulseConfig& config) {
    const std::size_t n = std::min(pulses.analyses.size(), static_cast<std::size_t>(std::max(in.stationcount, 0)));
    for (std::size_t s = 0; s < n; ++s) {
        const auto station = static_cast<std::int32_t>(s);
        const bool ok = analysepulse(pulses.analyses[s], in, station, config);
        pulses.analysed[s] = ok ? 1 : 0;
        pulses.snrdb[s] = ok ? pulsesnr(in, station, pulses.analyses[s].peak, pulses.envelope)
                             : std::numeric_limits<float>::quiet_NaN();
    }
}

}  // namespace corvane
