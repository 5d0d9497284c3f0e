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

struct Settings;

struct ChainTiming {
    std::vector<std::int16_t> processingorder;  // blanked stations first
    std::int16_t blankedsamples = 0;   // samples of a window cleared per blanked pulse, >= 0
    std::int32_t count6000 = 0;
    std::int32_t count7950 = 0;
    std::int32_t foldcount = 0;        // -2 (three GRI 6000) plus -6 (nine GRI 7950)
    float propagationspeed = 0;        // m/s
};

// Once at start-up: clamps firstblankedsample / lastblankedsample in settings,
// builds patterns, processing order and blanking weights.
void buildpulsepatterns(StationTable& table, ChainTiming& timing, Settings& settings);

// At every period start: arrival delays and first windows. bufstart and
// overlap describe the sample buffer, sampleepoch the synchronised epoch.
void starttimingperiod(StationTable& table, ChainTiming& timing, const Settings& settings,
                       double bufstart, std::int32_t overlap, double sampleepoch);

// The daily chain steps of GRI 5990 and 6731 (at the change to hour 0).
void applydailysteps(StationTable& table, const Settings& settings);

}  // namespace corvane
