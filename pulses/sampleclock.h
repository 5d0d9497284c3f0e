// The sample-clock loop: the reference station's edge error corrects the
// sample time (proportional, gain sqrt(|srcorr|)) and the tracked sample rate
// (integral, gain srcorr) at the end of every short integration.
//
// Units: edge positions in samples (the loop holds the edge at pulseoffset -
// 1 = 5), rates in Hz, times in seconds.
#pragma once

namespace corvane {

struct SampleBuffer;

// What the loop reads of the settings.
struct SampleClockConfig {
    float srcorr = 1.0f;             // integral gain; 0 switches the loop off
    float srcorrroot = 1.0f;         // sqrt(|srcorr|), the proportional gain
    float shortintegration = 30;     // s, > 0
};

// The loop's state: the tracked sample rate beside the configured one. The
// rate is set back to the configured one at every period end.
struct SampleClock {
    double configuredsr = 22050;     // Hz, as configured
    double sr = 22050;               // Hz, tracked; within 1000 ppm of configuredsr
};

// One correction for the reference edge (samples): the buffer times jump by
// -sqrt(|srcorr|) x error / sr, and sr moves by error x srcorr /
// shortintegration (kept within 1000 ppm). Non-finite updates are skipped.
void tracksampleclock(SampleClock& clock, SampleBuffer& buffer, float edge, const SampleClockConfig& config);

// Watches the tracked rate for a lost reference: a rate held at its limit
// means the loop is following noise.
struct RateLimitWatch {
    int atlimit = 0;                 // short integrations in a row at the limit
    bool said = false;               // the lost reference has been said this period
};
constexpr int ratelimitcount = 3;    // short integrations in a row before it is said

// Counts one short integration after tracksampleclock; true exactly once per
// watch (reset it at each period start), when the rate has sat at its limit
// for ratelimitcount short integrations in a row.
bool watchratelimit(RateLimitWatch& watch, const SampleClock& clock);

}  // namespace corvane
