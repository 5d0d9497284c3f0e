#include "pulses/fold.h"

#include <algorithm>
#include <cmath>

#include "core/numeric.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "pulses/referencepulse.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace corvane {

namespace {

// Without the notch, the configured DC offset (biasreal, biasimag) is taken
// off each station's normalised sums at offsetshare / pulsecount of its
// value; a blanked station's share of it goes with its blanked samples.
constexpr float offsetshare = 4;

struct WorkingBias;

// What the fold of every station shares.
struct FoldContext {
    const FoldConfig& config;
    const ChainTiming& timing;
    double sr;              // current sample rate, Hz
    WorkingBias* bias;      // changed by blanked stations for those after them
};

void clearcounters(PulseIntegrator& in, size_t s) {
    in.windowcount[s] = 0;
    in.signsum[s] = 0;
    in.timingresidual[s] = 0;
}

}  // namespace

void createlongintegration(LongIntegration& rows, std::int32_t n, std::int32_t d) {
    if (n < 0) n = 0;
    if (d < 0) d = 0;
    const auto cells = static_cast<size_t>(n) * static_cast<size_t>(d);
    rows = LongIntegration{};
    rows.longre.assign(cells, 0.0f);
    rows.longim.assign(cells, 0.0f);
    rows.longresidual.assign(static_cast<size_t>(n), 0.0f);
}

void startfoldperiod(LongIntegration& rows, const float phaserotation[2]) {
    rows.phaserotation[0] = rows.workrotation[0] = phaserotation[0];
    rows.phaserotation[1] = rows.workrotation[1] = phaserotation[1];
}

void followreference(LongIntegration& rows, const PulseAnalysis& reference, const FoldConfig& config) {
    if (config.phasecorr == 0 || !(reference.edgeamp > 0)) return;
    const float pc = rows.phaserotation[0];
    const float ps = rows.phaserotation[1];
    rows.workrotation[0] = (pc * reference.edgere - ps * reference.edgeim) / reference.edgeamp;
    rows.workrotation[1] = (pc * reference.edgeim + ps * reference.edgere) / reference.edgeamp;
}

void updatebias(LongIntegration& rows, const BiasEstimate& bias) {
    if (!bias.fresh) return;
    rows.biasre = bias.re;
    rows.biasim = bias.im;
}

namespace {

// The configured DC offset as it stands after the blanked stations before
// this one took their share (real32, as the fold keeps it).
struct WorkingBias {
    float re;
    float im;
};

// Station s's sums, normalised by its weighted window count c x blankweight,
// into the rows; a blanked station takes its share of the working bias along.
void foldstation(LongIntegration& rows, PulseIntegrator& in, size_t s, const Station& station,
                 const PulsePattern& pattern, const FoldContext& f) {
    const std::int32_t count = in.windowcount[s];
    const float weight = pattern.blankweight * static_cast<float>(count);
    // A weight of 0 (everything blanked) has no signal to normalise.
    if (!(count > 0 && weight != 0 && std::isfinite(weight))) return;
    const FoldConfig& config = f.config;
    WorkingBias& bias = *f.bias;
    const std::int32_t d = in.windowsamples;
    const float c = static_cast<float>(count);
    rows.longresidual[s] += in.timingresidual[s] / c;
    float ore = 0;
    float oim = 0;
    if (config.notch100khz != 0) {
        const float q = static_cast<float>(in.signsum[s]) / weight;
        ore = q * rows.biasre;
        oim = q * rows.biasim;
    } else if (pattern.pulsecount > 0) {
        ore = offsetshare * bias.re / static_cast<float>(pattern.pulsecount);
        oim = offsetshare * bias.im / static_cast<float>(pattern.pulsecount);
    }
    const bool nbcorrect = config.nb > 0 && config.nbcorr > 0;
    const float wc = rows.workrotation[0];
    const float ws = rows.workrotation[1];
    const size_t row = s * static_cast<size_t>(d);
    for (std::int32_t j = 0; j < d; ++j) {
        const size_t p = row + static_cast<size_t>(j);
        float re = static_cast<float>(in.sumre[p]) / weight - ore;
        float im = static_cast<float>(in.sumim[p]) / weight - oim;
        if (nbcorrect) {
            const float g = 1 - in.nbcount[p] * config.nbcorr / c;
            in.nbcount[p] = 0;
            if (g > 0) {
                re /= g;
                im /= g;
            }
        }
        rows.longre[p] += wc * re + ws * im;
        rows.longim[p] += wc * im - ws * re;
    }
    if (station.blanked != 0 && station.gri > 0) {
        // The blanked samples took this station's share of the DC offset
        // with them; later stations see the rest.
        const std::int32_t first = std::max<std::int32_t>(0, f.timing.firstblankedsample);
        const std::int32_t last = std::min<std::int32_t>(d - 1, f.timing.lastblankedsample);
        std::int64_t sumre = 0;
        std::int64_t sumim = 0;
        for (std::int32_t j = first; j <= last; ++j) {
            sumre += in.sumre[row + static_cast<size_t>(j)];
            sumim += in.sumim[row + static_cast<size_t>(j)];
        }
        const double k = offsetshare * config.blankingoffsetcorr / f.sr / station.gri * 50000 / c;
        bias.re = toreal32(bias.re - k * static_cast<double>(sumre));
        bias.im = toreal32(bias.im - k * static_cast<double>(sumim));
    }
}

}  // namespace

void fold(LongIntegration& rows, PulseIntegrator& in, const StationTable& table, const ChainTiming& timing,
          const FoldConfig& config, double sr) {
    WorkingBias bias{config.biasreal, config.biasimag};
    const FoldContext context{config, timing, sr, &bias};
    const size_t n = std::min<size_t>(std::min<size_t>(static_cast<size_t>(std::max(in.stationcount, 0)),
                                                       table.stations.size()),
                                      timing.patterns.size());
    for (size_t s = 0; s < n; ++s) foldstation(rows, in, s, table.stations[s], timing.patterns[s], context);
    for (size_t s = 0; s < static_cast<size_t>(std::max(in.stationcount, 0)); ++s) clearcounters(in, s);
    std::fill(in.sumre.begin(), in.sumre.end(), 0);
    std::fill(in.sumim.begin(), in.sumim.end(), 0);
}

void clearlongintegration(LongIntegration& rows) {
    std::fill(rows.longre.begin(), rows.longre.end(), 0.0f);
    std::fill(rows.longim.begin(), rows.longim.end(), 0.0f);
    std::fill(rows.longresidual.begin(), rows.longresidual.end(), 0.0f);
}

void subtractauxiliaryrows(LongIntegration& rows, const StationTable& table, const ChainTiming& timing,
                           std::int32_t drawn, std::int32_t d) {
    if (d < 1) return;
    const auto n = static_cast<std::int64_t>(table.stations.size());
    const std::size_t rowlength = std::min(rows.longre.size(), rows.longim.size());
    const std::int64_t stations = std::min<std::int64_t>(
        std::clamp<std::int64_t>(drawn, 0, n), static_cast<std::int64_t>(rowlength) / d);
    std::int64_t c = timing.foldcount;
    for (std::int64_t s = 0; s < stations && c < 0; ++s) {
        const Station& station = table.stations[static_cast<std::size_t>(s)];
        const bool auxiliary = (station.gri == 6000 && timing.count6000 == 3) ||
                               (station.gri == 7950 && timing.count7950 == 9);
        if (!auxiliary) continue;
        const auto base = static_cast<std::size_t>(s * d);
        for (int row = 0; row < 2 && c < 0; ++row, ++c) {
            const std::int64_t a = (c + n) * d;
            if (a < 0 || a + d > static_cast<std::int64_t>(rowlength)) continue;
            for (std::int32_t j = 0; j < d; ++j) {
                const auto from = static_cast<std::size_t>(a + j);
                rows.longre[base + static_cast<std::size_t>(j)] -= rows.longre[from] / 2;
                rows.longim[base + static_cast<std::size_t>(j)] -= rows.longim[from] / 2;
            }
        }
    }
}

}  // namespace corvane
