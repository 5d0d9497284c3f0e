// The short-integration step: analysis of the reference station's pulse,
// tracking of the sample clock and of the receiver oscillator, the steering
// command, the status line, the fold of every station's sums into the
// long-integration rows and the health of the averaging period.
//
// Units: positions in samples of the pulse window (the reference edge is
// steered to position pulseoffset - 1 = 5), phases in radians, `fracfreq` as a
// fraction of the 100 kHz carrier, drifts in microseconds, frequencies in Hz.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane {

struct Settings;
struct StationTable;
struct SampleBuffer;
struct FrontEnd;
struct ClockState;
struct PulseIntegrator;
struct Platform;

struct Steering {
    std::vector<float> envelope;  // D; reference envelope at positions 2 .. 10
    float refpeak = 0;            // largest envelope value of the reference pulse
    float refedge = 0;            // edge position, samples, sub-sample corrected
    float edgefraction = 0;       // interpolation fraction of the edge, 0 .. 1
    float refedgere = 0;          // complex mean of the reference pulse at the edge
    float refedgeim = 0;
    float refedgeamp = 0;
    float refphase = 0;           // carrier phase at the edge, 0 .. 2 pi
    float lastrefcycles = 0;      // refphase in cycles at the previous fold
    float fracfreq = 0;           // fractional frequency error of the oscillator
    float driftus = 0;            // accumulated oscillator time error, us
    float srlodrift = 0;          // drift explained by the sample-rate correction, us per fold
    float shownfdrift = 0;        // driftus as last shown while locked
    float pllfavg = 0;            // running mean of fracfreq
    float srloavg = 0;            // running mean of srlodrift as fractional frequency
    double pllfreq = 0;           // tone frequency last commanded, Hz
    float phaserotation[2] = {1, 0};  // fixed reference rotation of the period (cos, sin)
    float workrotation[2] = {1, 0};   // rotation applied in the fold
    float biasre = 0;             // last DC-offset estimate (notch mode)
    float biasim = 0;
    std::vector<float> longre;    // N x D long-integration rows
    std::vector<float> longim;
    std::vector<float> longresidual;  // N: sum over folds of the mean timing residual
    std::uint64_t randomstate = 0x2545F4914F6CDD1DULL;  // dither generator
};

// Sizes the rows for n stations of d samples (all zero); pllfavg starts at
// `pllavfini`.
void createsteering(Steering& steering, std::int32_t n, std::int32_t d, const Settings& settings);

// Period start: the reference rotation (cos, sin of `phasereference`) becomes
// both the fixed reference and the working rotation.
void startsteeringperiod(Steering& steering, const float phaserotation[2]);

// One short integration: everything listed in the file comment, in that
// order. Changes settings.sr and the buffer times when `srcorr` is not 0
// (sr stays within 1000 ppm of configuredsr), writes the rest of the status
// line, may run the steering command, adds into the long-integration rows,
// empties the integration sums and the bias sums, and updates lockcount and
// resynccount.
void shortintegrationstep(Steering& steering, PulseIntegrator& integrator, const StationTable& table,
                          FrontEnd& frontend, SampleBuffer& buffer, const ClockState& clock,
                          Settings& settings, double configuredsr, std::int32_t& lockcount,
                          std::int32_t& resynccount, Platform& platform);

}  // namespace corvane
