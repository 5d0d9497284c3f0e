// Chain timing: pulse patterns from the Loran-C phase codes, the processing
// order, blanking weights, and at every averaging period start the arrival
// delays and first integration windows. Times are seconds; buffer times are
// sample time (s since the period start).
#pragma once

#include <cstdint>
#include <vector>

#include "core/loran.h"
#include "stations/stationtable.h"

namespace corvane {

// What the chain timing reads of the settings.
struct ChainTimingConfig {
    std::int32_t singlepulses = 0;         // 0 .. 18; 0: the pattern follows the letter
    std::int16_t firstblankedsample = 3;   // window positions cleared for a blanked station
    std::int16_t lastblankedsample = 10;
    std::int32_t displaysamples = 24;      // D, samples per window, >= 1
    double sr = 22050;                     // nominal sample rate, Hz
    float asf = 1.008f;                    // additional secondary factor of the propagation speed
    float xrcdelay7950 = 1.06f;            // ms, offsets within the GRI 7950 chain
    double gri5990step = 0;                // ms added to the GRI 5990 chain every day at 0 h UTC
    double gri6731step = 0;                // the same for GRI 6731
};

// A station's pulses over one phase code interval, fixed for the run.
struct PulsePattern {
    std::int32_t pulsecount = 0;               // 1 .. maxpulses
    double pulseinterval[maxpulses] = {};      // s from pulse j to pulse j + 1
    std::int16_t phasesign[maxpulses] = {};    // +1 or -1
    float blankweight = 1;                     // share of the signal left after blanking
};

// A station's arrival timing of the current averaging period.
struct Arrival {
    float emissiondelay = 0;     // ms: the table's, plus the daily steps applied so far
    float arrivaldelay = 0;      // s: emission delay + propagation time + chain exceptions
    double arrivalphase = 0;     // s, in [0, two GRIs)
    double firstwindow = 0;      // s, buffer time of the period's first window
};

struct ChainTiming {
    std::vector<PulsePattern> patterns;         // N, index as the stations
    std::vector<Arrival> arrivals;              // N
    std::vector<std::int16_t> processingorder;  // blanked stations first
    std::int16_t firstblankedsample = 0;        // the configured range clamped into the window
    std::int16_t lastblankedsample = 0;
    std::int16_t blankedsamples = 0;   // samples of a window cleared per blanked pulse, >= 0
    std::int32_t count6000 = 0;
    std::int32_t count7950 = 0;
    std::int32_t foldcount = 0;        // -2 (three GRI 6000) plus -6 (nine GRI 7950)
    float propagationspeed = 0;        // m/s
};

// Once at start-up: patterns, processing order, the blanking range clamped
// into the window, blanking weights, the propagation speed.
void buildpulsepatterns(const StationTable& table, ChainTiming& timing, const ChainTimingConfig& config);

// At every period start: arrival delays and first windows. bufstart (s) and
// overlap (samples) describe the sample buffer, sampleepoch the synchronised
// epoch (program-scale s of sample time 0).
void starttimingperiod(const StationTable& table, ChainTiming& timing, const ChainTimingConfig& config,
                       double bufstart, std::int32_t overlap, double sampleepoch);

// The daily chain steps of GRI 5990 and 6731 (at the change to hour 0 UTC):
// the emission delays grow by the step; returns, per station, how far (s)
// its integration windows move with it.
std::vector<double> applydailysteps(const StationTable& table, ChainTiming& timing,
                                    const ChainTimingConfig& config);

}  // namespace corvane
