#include "pulses/sampleclock.h"

#include <algorithm>
#include <cmath>

#include "acquisition/samplereader.h"
#include "core/loran.h"

namespace corvane {

void tracksampleclock(SampleClock& clock, SampleBuffer& buffer, float edge, const SampleClockConfig& config) {
    const float e = edge - static_cast<float>(pulseoffset) + 1;
    const double dt = -(config.srcorrroot * e) / clock.sr;
    if (std::isfinite(dt)) {
        buffer.bufstart += dt;
        buffer.bufend += dt;
    }
    const double sr = clock.sr + static_cast<double>(e * config.srcorr / config.shortintegration);
    if (std::isfinite(sr)) {
        const double bound = std::fabs(clock.configuredsr) * 1e-3;
        clock.sr = std::clamp(sr, clock.configuredsr - bound, clock.configuredsr + bound);
    }
}

bool watchratelimit(RateLimitWatch& watch, const SampleClock& clock) {
    const double bound = std::fabs(clock.configuredsr) * 1e-3;
    const bool atlimit = clock.sr <= clock.configuredsr - bound || clock.sr >= clock.configuredsr + bound;
    watch.atlimit = atlimit ? std::min(watch.atlimit + 1, ratelimitcount) : 0;
    if (watch.atlimit < ratelimitcount || watch.said) return false;
    watch.said = true;
    return true;
}

}  // namespace corvane
