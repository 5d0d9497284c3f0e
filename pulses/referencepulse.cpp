#include "pulses/referencepulse.h"

#include <algorithm>
#include <cmath>

#include "core/loran.h"
#include "core/numeric.h"
#include "pulses/integrator.h"

namespace corvane {

// The half-plane is decided by the component that was divided by, so that
// the diagonal re = -im lands in the right quadrant too.
float fullangle(float re, float im) {
    float a;
    if (std::fabs(re) > std::fabs(im)) {
        a = std::atan(im / re);
        if (re < 0) a += pi32;
    } else {
        a = pi32 / 2 - std::atan(re / im);
        if (im < 0) a += pi32;
    }
    if (a < 0) a += 2 * pi32;
    return a;
}

void createpulseanalysis(PulseAnalysis& analysis, std::int32_t d) {
    analysis = PulseAnalysis{};
    analysis.envelope.assign(static_cast<size_t>(std::max(d, smallestanalysedwindow)), 0.0f);
}

bool analysepulse(PulseAnalysis& a, const PulseIntegrator& in, std::int32_t r, const PulseConfig& config) {
    const std::int32_t d = in.windowsamples;
    if (d < smallestanalysedwindow) return false;
    if (r < 0 || r >= in.stationcount) return false;
    const std::int32_t count = in.windowcount[static_cast<size_t>(r)];
    if (count <= 0) return false;
    if (a.envelope.size() < static_cast<size_t>(d)) a.envelope.resize(static_cast<size_t>(d), 0.0f);
    const float c = static_cast<float>(count);
    const std::int64_t* sre = in.sumre.data() + static_cast<size_t>(r) * static_cast<size_t>(d);
    const std::int64_t* sim = in.sumim.data() + static_cast<size_t>(r) * static_cast<size_t>(d);
    float* env = a.envelope.data();

    const std::int32_t lo = std::max(pulseoffset - 4, 0);
    const std::int32_t hi = std::min(pulseoffset + 4, d - 1);
    a.peak = 0;
    std::int32_t m = pulseoffset;
    for (std::int32_t k = lo; k <= hi; ++k) {
        const float re = static_cast<float>(sre[k]);
        const float im = static_cast<float>(sim[k]);
        env[k] = std::sqrt(re * re + im * im) / c;
        if (env[k] > a.peak) {
            a.peak = env[k];
            m = k;
        }
    }
    const float level = config.edgelevelabsolute > 0 ? config.edgelevelabsolute : config.edgelevel * a.peak;
    env[0] = 0;
    std::int32_t k = 1;
    while (env[k] < level && k < m) ++k;
    k -= 1;
    if (env[k + 1] > env[k]) a.edgefraction = (level - env[k]) / (env[k + 1] - env[k]);
    if (!(a.edgefraction >= 0 && a.edgefraction <= 1)) a.edgefraction = 0.5f;
    const float f = a.edgefraction;
    a.edgere = ((1 - f) * static_cast<float>(sre[k]) + f * static_cast<float>(sre[k + 1])) / c;
    a.edgeim = ((1 - f) * static_cast<float>(sim[k]) + f * static_cast<float>(sim[k + 1])) / c;
    a.edgeamp = std::sqrt(a.edgere * a.edgere + a.edgeim * a.edgeim);
    a.edge = static_cast<float>(k) + f - in.timingresidual[static_cast<size_t>(r)] / c;
    if (a.edgeamp > 0) a.phase = fullangle(a.edgere, a.edgeim);
    return true;
}

}  // namespace corvane
