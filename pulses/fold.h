// The fold at the end of every short integration: every station's window
// sums, normalised per window, cleared of the receiver's DC offset, corrected
// for noise-blanker losses and rotated by the reference station's carrier
// phase, are added into the long-integration rows from which the waterfall
// draws one line per long integration.
//
// Rows: N stations x D positions (element s x D + j), real32, in sample units
// per window.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane {

struct PulseIntegrator;
struct PulseAnalysis;
struct StationTable;
struct ChainTiming;
struct BiasEstimate;

// What the fold reads of the settings.
struct FoldConfig {
    std::int32_t phasecorr = 1;        // not 0: rotate by the reference phase
    std::int16_t notch100khz = 1;      // not 0: subtract the measured DC offset
    float biasreal = 0;                // receiver DC offset used when notch100khz is 0
    float biasimag = 0;
    std::int16_t nb = 0;               // noise blanker on: correct for the samples it dropped
    float nbcorr = 1.0f;               // share of a dropped sample that is made good
    float blankingoffsetcorr = 1.0f;   // share of the DC offset the blanked samples took along
};

struct LongIntegration {
    std::vector<float> longre;         // N x D
    std::vector<float> longim;
    std::vector<float> longresidual;   // N: sum over folds of the mean timing residual, samples
    float phaserotation[2] = {1, 0};   // fixed reference rotation of the period (cos, sin)
    float workrotation[2] = {1, 0};    // rotation applied in the fold
    float biasre = 0;                  // last DC-offset estimate (notch mode)
    float biasim = 0;
};

// Sizes the rows for n stations of d samples, all zero.
void createlongintegration(LongIntegration& rows, std::int32_t n, std::int32_t d);

// Period start: the reference rotation (cos, sin of `phasereference`)
// becomes both the fixed reference and the working rotation.
void startfoldperiod(LongIntegration& rows, const float phaserotation[2]);

// The working rotation follows the reference's carrier at its edge (when
// `phasecorr` is set and the reference had signal).
void followreference(LongIntegration& rows, const PulseAnalysis& reference, const FoldConfig& config);

// A fresh DC-offset estimate of the front end replaces the last one.
void updatebias(LongIntegration& rows, const BiasEstimate& bias);

// Adds every station's sums into the rows and empties the sums and counters
// of the integrator. sr is the current sample rate (Hz).
void fold(LongIntegration& rows, PulseIntegrator& integrator, const StationTable& table,
          const ChainTiming& timing, const FoldConfig& config, double sr);

// After a waterfall line: the rows start again from zero.
void clearlongintegration(LongIntegration& rows);

// The second and later entries of a GRI 6000 chain of three, or a GRI 7950
// chain of nine, are folded into the last rows of the selection: half of
// each of two such rows is taken off each qualifying station among the first
// `drawn` ones, in index order. Done once per waterfall line, before drawing.
void subtractauxiliaryrows(LongIntegration& rows, const StationTable& table, const ChainTiming& timing,
                           std::int32_t drawn, std::int32_t d);

}  // namespace corvane
