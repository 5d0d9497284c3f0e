#include "pulses/integrator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "acquisition/samplereader.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "pulses/windowlistener.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace corvane {

void createintegrator(PulseIntegrator& integrator, std::int32_t n, std::int32_t d) {
    if (n < 0) n = 0;
    if (d < 0) d = 0;
    const auto cells = static_cast<size_t>(n) * static_cast<size_t>(d);
    integrator.stationcount = n;
    integrator.windowsamples = d;
    integrator.sumre.assign(cells, 0);
    integrator.sumim.assign(cells, 0);
    integrator.sumpower.assign(cells, 0.0f);
    integrator.nbthreshold.assign(cells, 0.0f);
    integrator.nbcount.assign(cells, 0.0f);
    integrator.blockre.assign(static_cast<size_t>(d), 0);
    integrator.blockim.assign(static_cast<size_t>(d), 0);
    integrator.windowcount.assign(static_cast<size_t>(n), 0);
    integrator.signsum.assign(static_cast<size_t>(n), 0);
    integrator.timingresidual.assign(static_cast<size_t>(n), 0.0f);
    integrator.walks.assign(static_cast<size_t>(n), WindowWalk{});
}

void startperiod(PulseIntegrator& integrator, const ChainTiming& timing, const IntegratorConfig& config) {
    std::fill(integrator.nbthreshold.begin(), integrator.nbthreshold.end(), config.nbinit);
    for (size_t s = 0; s < integrator.walks.size() && s < timing.arrivals.size(); ++s) {
        WindowWalk& w = integrator.walks[s];
        w.windowstart = timing.arrivals[s].firstwindow;
        w.windowanchor = w.windowstart;
        w.pulseindex = 0;
    }
}

void attachlistener(PulseIntegrator& integrator, WindowListener* listener, std::vector<std::uint8_t> stations) {
    integrator.listener = listener;
    integrator.listened = std::move(stations);
}

void shiftwindows(PulseIntegrator& integrator, const std::vector<double>& shifts) {
    for (size_t s = 0; s < integrator.walks.size() && s < shifts.size(); ++s) {
        if (shifts[s] == 0) continue;
        integrator.walks[s].windowstart += shifts[s];
        integrator.walks[s].windowanchor += shifts[s];
    }
}

namespace {

// A station's windows of one block are first summed into 32-bit scratch
// rows (blockre, blockim), which the compiler can add several positions at
// a time, and then flushed into the 64-bit rows. Integer sums do not depend
// on the order of the additions, so the rows end up exactly as if every
// window had been added to them directly. A window adds at most 32768 in
// magnitude per position (65536 when shifted by the band centre), so 32767
// windows fit into the scratch.
constexpr std::int32_t scratchwindows = 32767;

void flushscratch(PulseIntegrator& in, size_t row) {
    std::int64_t* sre = in.sumre.data() + row;
    std::int64_t* sim = in.sumim.data() + row;
    std::int32_t* bre = in.blockre.data();
    std::int32_t* bim = in.blockim.data();
    const std::int32_t d = in.windowsamples;
    for (std::int32_t j = 0; j < d; ++j) {
        sre[j] += bre[j];
        sim[j] += bim[j];
        bre[j] = 0;
        bim[j] = 0;
    }
}

// Window samples i0 .. i0 + d - 1 into scratch positions 0 .. d - 1.
void addwindow(PulseIntegrator& in, const std::int16_t* __restrict re, const std::int16_t* __restrict im,
               std::int32_t d, std::int16_t sign) {
    std::int32_t* __restrict bre = in.blockre.data();
    std::int32_t* __restrict bim = in.blockim.data();
    if (sign > 0) {
        for (std::int32_t j = 0; j < d; ++j) {
            bre[j] += re[j];
            bim[j] += im[j];
        }
    } else {
        for (std::int32_t j = 0; j < d; ++j) {
            bre[j] -= re[j];
            bim[j] -= im[j];
        }
    }
}

// The same through the noise-blanker gate: a sample whose power reaches the
// threshold of its position is counted instead of integrated. Written with
// masks instead of branches so that it runs on several positions at once;
// every position still gets exactly its one addition per window.
void addgatedwindow(PulseIntegrator& in, size_t row, const std::int16_t* __restrict re,
                    const std::int16_t* __restrict im, const float* __restrict power, std::int16_t sign) {
    const std::int32_t d = in.windowsamples;
    std::int32_t* __restrict bre = in.blockre.data();
    std::int32_t* __restrict bim = in.blockim.data();
    float* __restrict sp = in.sumpower.data() + row;
    const float* __restrict thr = in.nbthreshold.data() + row;
    float* __restrict cnt = in.nbcount.data() + row;
    // keep: all bits set when the sample is integrated, 0 when it is counted
    // (1 + keep is then 1, and adding 0.0f leaves a count unchanged).
    if (sign > 0) {
        for (std::int32_t j = 0; j < d; ++j) {
            const std::int32_t keep = -static_cast<std::int32_t>(power[j] < thr[j]);
            sp[j] += power[j];
            bre[j] += re[j] & keep;
            bim[j] += im[j] & keep;
            cnt[j] += static_cast<float>(1 + keep);
        }
    } else {
        for (std::int32_t j = 0; j < d; ++j) {
            const std::int32_t keep = -static_cast<std::int32_t>(power[j] < thr[j]);
            sp[j] += power[j];
            bre[j] -= re[j] & keep;
            bim[j] -= im[j] & keep;
            cnt[j] += static_cast<float>(1 + keep);
        }
    }
}

// nearbyint of a rotated sample, |v| <= 65536.
std::int32_t nearestsample(float v) { return static_cast<std::int32_t>(nearestinteger(v)); }

// The window shifted down by `bandcenter` Hz: the phase (cycles, v =
// windowstart x bandcenter) is taken once, at the window start, and the sign
// folded into the rotation. With |c|, |q| <= 1 every rotated sample lies
// within +-65536.
void addshiftedwindow(PulseIntegrator& in, const std::int16_t* __restrict re, const std::int16_t* __restrict im,
                      std::int16_t sign, double v) {
    const double phi = 2.0 * pi64 * (v - std::floor(v));
    const float c = static_cast<float>(std::cos(phi) * sign);
    const float q = static_cast<float>(std::sin(phi) * sign);
    if (!std::isfinite(c) || !std::isfinite(q)) return;  // a rotation of NaN rounds to 0 everywhere
    const std::int32_t d = in.windowsamples;
    std::int32_t* __restrict bre = in.blockre.data();
    std::int32_t* __restrict bim = in.blockim.data();
    for (std::int32_t j = 0; j < d; ++j) {
        const float x = re[j];
        const float y = im[j];
        bre[j] += nearestsample(c * x - q * y);
        bim[j] += nearestsample(q * x + c * y);
    }
}

// The block as the integration of every station sees it.
struct Block {
    SampleBuffer& buffer;
    const ChainTiming& timing;
    const IntegratorConfig& config;
    double sr;
    std::int64_t valid;    // indices that hold samples: the overlap and the newest block
    bool powerkept;        // the sample powers cover them
};

// How one station's windows are added, fixed for the station's walk through
// one block.
struct WindowTarget {
    size_t row;                   // the station's first position in the rows
    std::int32_t d;               // samples per window
    bool gated;                   // through the noise-blanker gate
    bool shifted;                 // shifted down by the band centre
    double bandcenter;            // Hz
    std::int32_t blanklo;         // window positions cleared afterwards (none when blanklo >= blankhi)
    std::int32_t blankhi;
    std::int16_t* re;             // the buffer's samples from index 0
    std::int16_t* im;
    float* power;                 // sample powers (only read when gated)
    size_t powersize;
    WindowListener* listener;     // not null: shown every window of the station
};

WindowTarget windowtarget(const PulseIntegrator& in, size_t s, const Station& st, const Block& b) {
    const IntegratorConfig& config = b.config;
    SampleBuffer& buffer = b.buffer;
    WindowTarget t{};
    t.d = in.windowsamples;
    t.row = s * static_cast<size_t>(t.d);
    t.gated = config.nb != 0 && !(config.nb == 2 && st.blanked != 0) && b.powerkept;
    t.shifted = config.bandcenter != 0;
    t.bandcenter = config.bandcenter;
    t.blanklo = std::max<std::int32_t>(0, b.timing.firstblankedsample);
    t.blankhi = st.blanked != 0 ? std::min<std::int32_t>(t.d, t.blanklo + b.timing.blankedsamples) : 0;
    t.re = buffer.samplere.data();
    t.im = buffer.sampleim.data();
    t.power = buffer.samplepower.data();
    t.powersize = buffer.samplepower.size();
    t.listener = s < in.listened.size() && in.listened[s] != 0 ? in.listener : nullptr;
    return t;
}

// One window at buffer index i0 with phase-code sign g into the scratch
// rows; a blanked station's pulse samples are cleared after it (only inside
// the window).
void addwindowat(PulseIntegrator& in, const WindowTarget& t, std::int32_t i0, std::int16_t g, double windowstart,
                 std::int32_t pulseindex) {
    if (t.shifted)
        addshiftedwindow(in, t.re + i0, t.im + i0, g, windowstart * t.bandcenter);
    else if (t.gated)
        addgatedwindow(in, t.row, t.re + i0, t.im + i0, t.power + i0, g);
    else
        addwindow(in, t.re + i0, t.im + i0, t.d, g);
    if (t.listener != nullptr)
        t.listener->window({static_cast<std::int32_t>(t.row / static_cast<size_t>(t.d)), pulseindex, t.re + i0,
                            t.im + i0, t.d, g, windowstart});
    for (std::int32_t j = t.blanklo; j < t.blankhi; ++j) {
        const auto i = static_cast<size_t>(i0 + j);
        t.re[i] = 0;
        t.im[i] = 0;
        if (i < t.powersize) t.power[i] = 0;
    }
}

// Moves the window start to the next pulse of a pattern of `pulsecount`
// pulses with the given intervals (s); at the end of the pattern it is
// snapped onto the GRI grid of the anchor, so that the summed intervals never
// drift.
void nextpulse(double& windowstart, std::int32_t& pulseindex, const double* intervals, std::int32_t pulsecount,
               std::int32_t gri, double anchor) {
    windowstart += intervals[pulseindex];
    pulseindex += 1;
    if (pulseindex < pulsecount) return;
    pulseindex = 0;
    if (gri > 0) {
        const double G = griseconds(gri);
        const double n = std::floor((windowstart - anchor) / G + 0.5);
        windowstart = anchor + n * G;
    }
}

// Whole phase code intervals that lie before the buffer (after a large jump
// of the sample clock) can never be integrated: they are passed over at once
// instead of pulse by pulse, which could take for ever. Normal operation
// never has a whole one there.
void skipintervalsbehind(double& windowstart, std::int32_t gri, double bufstart) {
    const double interval = phasecodeinterval(gri);
    const double behind = std::floor((bufstart - windowstart) / interval);
    if (behind >= 1) windowstart += behind * interval;
}

// Every window of station s that ends before the buffer end.
void walkstation(PulseIntegrator& in, size_t s, const Station& st, Block& b) {
    const PulsePattern& pattern = b.timing.patterns[s];
    WindowWalk& walk = in.walks[s];
    const std::int32_t pulsecount = pattern.pulsecount;
    if (pulsecount < 1 || pulsecount > maxpulses) return;
    const WindowTarget target = windowtarget(in, s, st, b);
    const std::int32_t gri = st.gri;
    const double anchor = walk.windowanchor;
    const std::int32_t d = target.d;
    const double sr = b.sr;
    const double valid = static_cast<double>(b.valid);
    const double windowlength = d / sr;
    const double bufstart = b.buffer.bufstart;
    const double bufend = b.buffer.bufend;
    // The station's walk is kept in locals and stored back at the end.
    double windowstart = walk.windowstart;
    std::int32_t pulseindex = walk.pulseindex;
    std::int32_t windowcount = in.windowcount[s];
    std::int32_t signsum = in.signsum[s];
    float residual = in.timingresidual[s];
    std::int32_t scratched = 0;  // windows in the scratch rows

    // A window that would reach bufend waits for the next block.
    while (windowstart + windowlength < bufend) {
        if (pulseindex == 0 && gri > 0) skipintervalsbehind(windowstart, gri, bufstart);
        const double before = windowstart;
        if (pulseindex < 0 || pulseindex >= pulsecount) pulseindex = 0;
        const std::int16_t g = pattern.phasesign[pulseindex];

        const double x = (windowstart - bufstart) * sr;
        const double first = nearestinteger(x);
        // Windows before index 0 or past the valid samples (after a jump of
        // the sample clock or a step of the chain) are passed over, as is
        // everything once the window counter is full.
        const bool inside = first >= 0 && first + d <= valid &&
                            windowcount < std::numeric_limits<std::int32_t>::max();
        if (inside) {
            residual += static_cast<float>(x - first);
            addwindowat(in, target, static_cast<std::int32_t>(first), g, windowstart, pulseindex);
            if (++scratched == scratchwindows) {
                flushscratch(in, target.row);
                scratched = 0;
            }
            signsum += g;
        }
        nextpulse(windowstart, pulseindex, pattern.pulseinterval, pulsecount, gri, anchor);
        if (inside) windowcount += 1;
        // A pattern that does not move forward (zero intervals, or times so
        // large that a step is lost in rounding) would never leave the loop.
        if (!(windowstart > before)) break;
    }
    if (scratched > 0) flushscratch(in, target.row);
    walk.windowstart = windowstart;
    walk.pulseindex = pulseindex;
    in.windowcount[s] = windowcount;
    in.signsum[s] = signsum;
    in.timingresidual[s] = residual;
}

}  // namespace

void integrateblock(PulseIntegrator& in, const StationTable& table, const ChainTiming& timing,
                    SampleBuffer& buffer, const IntegratorConfig& config, double sr) {
    if (in.windowsamples < 1) return;
    std::int64_t valid = static_cast<std::int64_t>(buffer.overlap) + buffer.blocksamples;
    valid = std::min<std::int64_t>(valid, static_cast<std::int64_t>(buffer.samplere.size()));
    valid = std::min<std::int64_t>(valid, static_cast<std::int64_t>(buffer.sampleim.size()));
    Block block{buffer, timing, config, sr, valid, static_cast<std::int64_t>(buffer.samplepower.size()) >= valid};
    const auto stations = static_cast<std::int32_t>(std::min<size_t>(
        std::min<size_t>(static_cast<size_t>(in.stationcount), table.stations.size()),
        std::min(timing.patterns.size(), in.walks.size())));
    for (const std::int16_t s : timing.processingorder) {
        if (s < 0 || s >= stations) continue;
        walkstation(in, static_cast<size_t>(s), table.stations[static_cast<size_t>(s)], block);
    }
}

void updatethresholds(PulseIntegrator& in, const IntegratorConfig& config) {
    const std::int32_t d = in.windowsamples;
    const std::int32_t spread = std::max<std::int32_t>(0, config.nbspread);
    for (std::int32_t s = 0; s < in.stationcount; ++s) {
        const std::int32_t count = in.windowcount[static_cast<size_t>(s)];
        if (count <= 0) continue;
        const size_t row = static_cast<size_t>(s) * static_cast<size_t>(d);
        const float* power = in.sumpower.data() + row;
        float* thr = in.nbthreshold.data() + row;
        const float c = static_cast<float>(count);
        for (std::int32_t j = 0; j < d; ++j) {
            const std::int32_t lo = std::max<std::int32_t>(0, j - spread);
            const std::int32_t hi = std::min<std::int32_t>(d - 1, j + spread);
            float m = power[lo];
            for (std::int32_t k = lo + 1; k <= hi; ++k) m = std::max(m, power[k]);
            thr[j] = (1.0f - config.nbupdate) * thr[j] + config.nbupdate * config.nbfac * m / c;
        }
        std::fill(in.sumpower.begin() + static_cast<std::ptrdiff_t>(row),
                  in.sumpower.begin() + static_cast<std::ptrdiff_t>(row + static_cast<size_t>(d)), 0.0f);
    }
}

}  // namespace corvane
