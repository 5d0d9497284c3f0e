// Analysis of one station's integrated pulse at the end of a short
// integration: the envelope peak, the sub-sample position of the leading
// edge, and the carrier phase at the edge.
//
// Units: positions in samples of the pulse window (the pulse is expected to
// start at position pulseoffset = 6; the search runs over positions 2 .. 10,
// or to D - 1 in a shorter window),
// amplitudes in sample units per window, the phase in radians, 0 .. 2 pi.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane {

struct PulseIntegrator;

// What the pulse analysis reads of the settings.
struct PulseConfig {
    float edgelevel = 0.4f;          // the edge is where the envelope reaches this share of the peak
    float edgelevelabsolute = 0;     // > 0: that envelope level instead
};

// Results of the latest analysis; an analysis without windows leaves them.
// edgefraction and phase carry over as the algorithm needs them.
struct PulseAnalysis {
    std::vector<float> envelope;  // envelope at the searched positions, others 0
    float peak = 0;               // largest envelope value
    float edge = 0;               // edge position, sub-sample corrected
    float edgefraction = 0;       // interpolation fraction of the edge, 0 .. 1
    float edgere = 0;             // complex mean of the pulse at the edge
    float edgeim = 0;
    float edgeamp = 0;            // its magnitude
    float phase = 0;              // carrier phase at the edge, 0 .. 2 pi
};

// Windows shorter than this many samples cannot be analysed: the pulse is
// expected at position pulseoffset = 6, and the search (2 .. 10) is clamped
// to the window's last position D - 1.
inline constexpr std::int32_t smallestanalysedwindow = 7;

// Sizes the envelope for windows of d samples.
void createpulseanalysis(PulseAnalysis& analysis, std::int32_t d);

// Analyses station s of the integrator; returns false, leaving the results
// of the previous analysis, when the station has no windows or the window is
// shorter than smallestanalysedwindow.
bool analysepulse(PulseAnalysis& analysis, const PulseIntegrator& integrator, std::int32_t s,
                  const PulseConfig& config);

// Angle of (re, im) in 0 .. 2 pi, real32.
float fullangle(float re, float im);

}  // namespace corvane
