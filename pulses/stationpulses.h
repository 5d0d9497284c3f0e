// Every station's pulse at the end of a short integration, for the
// measurement log: the reference's analysis (peak, edge, carrier phase) run on
// each station's integration row, each station with its own PulseAnalysis
// record (the analysis carries state from one call to the next), and a
// signal-to-noise figure.
//
// The signal-to-noise figure, dB: 20 log10 of the envelope peak over the mean
// envelope of the quietest quarter of the window's positions (at least one
// position). The window holds the pulse and the quiet time before and after
// it; what remains there after the phase-coded integration is noise and the
// other stations' residue.
#pragma once

#include <cstdint>
#include <vector>

#include "pulses/referencepulse.h"

namespace corvane {

struct PulseIntegrator;

struct StationPulses {
    std::vector<PulseAnalysis> analyses;  // one per station, in selection order
    std::vector<char> analysed;           // 1: analysed in the latest short integration
    std::vector<float> snrdb;             // dB; NaN when peak or noise is 0
    std::vector<float> envelope;          // work: the envelope of all D positions
};

// One record per station for windows of d samples.
void createstationpulses(StationPulses& pulses, std::int32_t n, std::int32_t d);

// Analyses every station's row of the integrator (before the fold clears it).
// A station without windows, or windows shorter than smallestanalysedwindow,
// is marked not analysed.
void analysestations(StationPulses& pulses, const PulseIntegrator& integrator, const PulseConfig& config);

// The signal-to-noise figure of station s's row for the given peak, dB; NaN
// when there are no windows or the peak or the noise is 0.
float pulsesnr(const PulseIntegrator& integrator, std::int32_t s, float peak, std::vector<float>& envelope);

}  // namespace corvane
