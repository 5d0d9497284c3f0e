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

struct StationTable;
struct ChainTiming;
struct SampleBuffer;
class WindowListener;

// What the integrator reads of the settings.
struct IntegratorConfig {
    std::int32_t displaysamples = 24;  // D, samples per window, >= 1
    std::int16_t nb = 0;               // noise blanker: 0 off, 1 every station, 2 all but blanked ones
    float nbinit = 10000;              // threshold (sample power) at every period start
    float nbfac = 2.0f;                // thresholds move towards nbfac x the local peak power
    float nbupdate = 0.1f;             // share of the way moved per short integration, 0 .. 1
    std::int16_t nbspread = 2;         // positions either side searched for that peak, >= 0
    double bandcenter = 0;             // Hz; not 0: every window is shifted down by it, no gate
};

// One station's walk through its pulse pattern: where its next window lies.
struct WindowWalk {
    double windowstart = 0;        // s, buffer time of the next window's first sample
    double windowanchor = 0;       // s, windowstart at the period start
    std::int32_t pulseindex = 0;   // next pulse of the pattern
};

struct PulseIntegrator {
    std::vector<WindowWalk> walks;       // N
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
    WindowListener* listener = nullptr;      // sees the windows of the stations flagged in `listened`
    std::vector<std::uint8_t> listened;      // N flags (missing entries: not listened)
};

// Sizes every row for n stations of d samples, all zero.
void createintegrator(PulseIntegrator& integrator, std::int32_t n, std::int32_t d);

// Averaging period start: every threshold back to `nbinit`, and every
// station's walk starts at its first window of the period (chain timing).
// The sums keep their contents (they are emptied by the fold).
void startperiod(PulseIntegrator& integrator, const ChainTiming& timing, const IntegratorConfig& config);

// Attaches `listener` (not owned; nullptr detaches) for the stations whose
// flag in `stations` (index as the stations) is not 0: each of their
// integrated windows is shown to it before a blanked station's pulse is
// cleared. The integration itself does not change.
void attachlistener(PulseIntegrator& integrator, WindowListener* listener, std::vector<std::uint8_t> stations);

// Moves the walks of the stations by shifts[s] seconds (the daily chain steps).
void shiftwindows(PulseIntegrator& integrator, const std::vector<double>& shifts);

// Integrates every window of every station, in processing order, whose end
// lies before the buffer end; moves each station's window walk on. A window
// whose samples are not all inside the buffer is passed over without being
// integrated. Blanked stations have samples firstblankedsample ..
// firstblankedsample + blankedsamples - 1 of each window cleared afterwards.
// sr is the current sample rate (Hz).
void integrateblock(PulseIntegrator& integrator, const StationTable& table, const ChainTiming& timing,
                    SampleBuffer& buffer, const IntegratorConfig& config, double sr);

// Short integration end (noise-blanker mode): each station with windows moves
// its thresholds towards `nbfac` x the local peak (within `nbspread`
// positions) of the mean sample power, then clears its power sums.
void updatethresholds(PulseIntegrator& integrator, const IntegratorConfig& config);

}  // namespace corvane
