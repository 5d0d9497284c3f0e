// GRI pulse integration: for every selected station, every pulse window that
// lies completely inside the sample buffer is added, with the pulse's
// phase-code sign, into the station's integration row. Optional noise blanker
// (drops samples whose power reaches a learned threshold), optional frequency
// shift per window (`bandcenter`), and blanking of strong stations, whose
// pulse samples are cleared after integration so that later stations in the
// processing order do not see them.
//
// Rows: N stations x D = `displaysamples` positions; position j of station s
// is element s x D + j. Sums are 64-bit so that no number of windows can
// overflow them. Times are seconds of sample time.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane {

struct Settings;
struct StationTable;
struct ChainTiming;
struct SampleBuffer;

struct PulseIntegrator {
    std::int32_t stationcount = 0;       // N
    std::int32_t windowsamples = 0;      // D
    std::vector<std::int64_t> sumre;     // N x D, sign-corrected window sums
    std::vector<std::int64_t> sumim;
    std::vector<float> sumpower;         // N x D, noise-blanker mode only
    std::vector<float> nbthreshold;      // N x D, power at which a sample is dropped
    std::vector<float> nbcount;          // N x D, samples dropped since the last fold
    std::vector<std::int32_t> windowcount;   // N, windows integrated since the last fold
    std::vector<std::int32_t> signsum;       // N, sum of their phase-code signs
    std::vector<float> timingresidual;       // N, sum of (exact - rounded) window start, samples
    std::vector<std::int32_t> blockre;       // D, scratch of integrateblock: one station's
    std::vector<std::int32_t> blockim;       // windows of one block, flushed into sumre / sumim
};

// Sizes every row for n stations of d samples, all zero.
void createintegrator(PulseIntegrator& integrator, std::int32_t n, std::int32_t d);

// Averaging period start: every threshold back to `nbinit`. The sums keep
// their contents (they are emptied by the fold of the short integration).
void startperiod(PulseIntegrator& integrator, const Settings& settings);

// Integrates every window of every station, in processing order, whose end
// lies before the buffer end; moves each station's window walk on. A window
// whose samples are not all inside the buffer is passed over without being
// integrated. Blanked stations have samples firstblankedsample ..
// firstblankedsample + blankedsamples - 1 of each window cleared afterwards.
void integrateblock(PulseIntegrator& integrator, StationTable& table, const ChainTiming& timing,
                    SampleBuffer& buffer, const Settings& settings);

// Short integration end (noise-blanker mode): each station with windows moves
// its thresholds towards `nbfac` x the local peak (within `nbspread`
// positions) of the mean sample power, then clears its power sums.
void updatethresholds(PulseIntegrator& integrator, const Settings& settings);

}  // namespace corvane
