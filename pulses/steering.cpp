#include "pulses/steering.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "core/numeric.h"
#include "app/settings.h"
#include "output/console.h"
#include "core/numberformat.h"
#include "platform/platform.h"
#include "pulses/frontend.h"
#include "pulses/integrator.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace corvane {

namespace {

// The reference analysis reads envelope positions up to pulseoffset + 4.
constexpr std::int32_t smallestwindow = pulseoffset + 5;

// Angle of (re, im) in 0 .. 2 pi. The half-plane is decided by the component
// that was divided by, so that the diagonal re = -im lands in the right
// quadrant too.
float fullangle(float re, float im) {
    float a;
    if (std::fabs(re) > std::fabs(im)) {
        a = std::atan(im / re);
        if (re < 0) a += pi32;
    } else {
        a = pi32 / 2 - std::atan(re / im);
        if (im < 0) a += pi32;
    }
    if (a < 0) a += 2 * pi32;
    return a;
}

// Uniform in 0 .. 1 (splitmix64).
double uniform(std::uint64_t& state) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

// Peak, edge and carrier phase of the reference station's pulse. A reference
// without windows leaves the previous results in force.
void analysereference(Steering& st, const PulseIntegrator& in, const Settings& settings) {
    const std::int32_t d = in.windowsamples;
    const std::int32_t r = settings.referencestation;
    if (r < 0 || r >= in.stationcount) return;
    const std::int32_t count = in.windowcount[static_cast<size_t>(r)];
    if (count <= 0) return;
    const float c = static_cast<float>(count);
    const std::int64_t* sre = in.sumre.data() + static_cast<size_t>(r) * static_cast<size_t>(d);
    const std::int64_t* sim = in.sumim.data() + static_cast<size_t>(r) * static_cast<size_t>(d);
    float* env = st.envelope.data();

    const std::int32_t lo = std::max(pulseoffset - 4, 0);
    const std::int32_t hi = std::min(pulseoffset + 4, d - 1);
    st.refpeak = 0;
    std::int32_t m = pulseoffset;
    for (std::int32_t k = lo; k <= hi; ++k) {
        const float re = static_cast<float>(sre[k]);
        const float im = static_cast<float>(sim[k]);
        env[k] = std::sqrt(re * re + im * im) / c;
        if (env[k] > st.refpeak) {
            st.refpeak = env[k];
            m = k;
        }
    }
    const float level = settings.edgelevelabsolute > 0 ? settings.edgelevelabsolute : settings.edgelevel * st.refpeak;
    env[0] = 0;
    std::int32_t k = 1;
    while (env[k] < level && k < m) ++k;
    k -= 1;
    if (env[k + 1] > env[k]) st.edgefraction = (level - env[k]) / (env[k + 1] - env[k]);
    if (!(st.edgefraction >= 0 && st.edgefraction <= 1)) st.edgefraction = 0.5f;
    const float f = st.edgefraction;
    st.refedgere = ((1 - f) * static_cast<float>(sre[k]) + f * static_cast<float>(sre[k + 1])) / c;
    st.refedgeim = ((1 - f) * static_cast<float>(sim[k]) + f * static_cast<float>(sim[k + 1])) / c;
    st.refedgeamp = std::sqrt(st.refedgere * st.refedgere + st.refedgeim * st.refedgeim);
    st.refedge = static_cast<float>(k) + f - in.timingresidual[static_cast<size_t>(r)] / c;
    if (st.refedgeamp > 0) st.refphase = fullangle(st.refedgere, st.refedgeim);
}

// The edge error corrects the sample time (proportional) and the sample rate
// (integral). The rate stays within 1000 ppm of its configured value.
void tracksampleclock(const Steering& st, SampleBuffer& buffer, Settings& settings, double configuredsr) {
    const float e = st.refedge - static_cast<float>(pulseoffset) + 1;
    const double dt = -(settings.srcorrroot * e) / settings.sr;
    if (std::isfinite(dt)) {
        buffer.bufstart += dt;
        buffer.bufend += dt;
    }
    const double sr = settings.sr + static_cast<double>(e * settings.srcorr / settings.shortintegration);
    if (std::isfinite(sr)) {
        const double bound = std::fabs(configuredsr) * 1e-3;
        settings.sr = std::clamp(sr, configuredsr - bound, configuredsr + bound);
    }
}

void trackoscillator(Steering& st, const Settings& settings, double configuredsr, std::int32_t& lockcount) {
    const float cycles = st.refphase / 2 / pi32;
    const float d = cycles - st.lastrefcycles;
    st.lastrefcycles = cycles;
    st.fracfreq = (d - std::floor(d + 0.5f)) / settings.shortintegration / 100000;
    st.driftus = toreal32(st.driftus + static_cast<double>(settings.shortintegration * st.fracfreq * 1000000));
    st.srlodrift = toreal32(((settings.sr - configuredsr) * settings.srlofactor +
                             static_cast<double>(1000000 * settings.srlooffset)) *
                            settings.shortintegration);
    st.driftus = toreal32(static_cast<double>(st.driftus) - st.srlodrift);

    if (st.refpeak > settings.resynclimit) {
        if (lockcount < 4) lockcount += 1;
    } else {
        lockcount = 0;
    }
    if (lockcount >= 4) {
        lockcount = 4;
        st.shownfdrift = st.driftus;
    } else {
        st.driftus = 0;
        st.srloavg = settings.srloavini;
    }
}

void steerreceiver(Steering& st, const Settings& settings, CommandRunner& commands) {
    st.pllfavg = settings.pllaveragef * st.fracfreq + (1 - settings.pllaveragef) * st.pllfavg;
    double f = settings.pllcenter - static_cast<double>(st.driftus * settings.pllfactort) -
               static_cast<double>((st.fracfreq - st.pllfavg) * settings.pllfactorf);
    st.srloavg = st.srlodrift * settings.srloavfac / settings.shortintegration / 1000000 +
                 (1 - settings.srloavfac) * st.srloavg;
    if (settings.ffactor != 0) f += static_cast<double>((st.pllfavg - st.srloavg) * settings.ffactor);
    if (settings.plldither != 0) f += settings.plldither * (2 * uniform(st.randomstate) - 1);
    if (f > settings.pllhigh) f = settings.pllhigh;
    if (f < settings.plllow) f = settings.plllow;
    // An overflowed computation (infinities cancelling) keeps the last frequency.
    if (!std::isnan(f)) st.pllfreq = f;
    commands.run(settings.pllcommand + " " + real64text(st.pllfreq).substr(0, 10));
}

void showstatus(const Steering& st, const Settings& settings, Console& console) {
    console.write(picture(" max##### edge##.## ", {st.refpeak, st.refedge}));
    console.write(picture("SR #####.####Hz ", {settings.sr}));
    console.write(picture("LO +#.#^^^^######.##us", {st.fracfreq, st.shownfdrift}));
    endstatusline(console);
}

// Every station's sums, normalised, cleared of the DC offset, corrected for
// noise-blanker losses and rotated by the reference phase, into the long rows.
void fold(Steering& st, PulseIntegrator& in, const StationTable& table, FrontEnd& frontend,
          const Settings& settings) {
    if (settings.phasecorr != 0 && st.refedgeamp > 0) {
        const float pc = st.phaserotation[0];
        const float ps = st.phaserotation[1];
        st.workrotation[0] = (pc * st.refedgere - ps * st.refedgeim) / st.refedgeamp;
        st.workrotation[1] = (pc * st.refedgeim + ps * st.refedgere) / st.refedgeamp;
    }
    if (settings.notch100khz != 0) {
        if (frontend.biascount > 0) {
            st.biasre = frontend.biassumre / frontend.biascount;
            st.biasim = frontend.biassumim / frontend.biascount;
        }
        frontend.biassumre = 0;
        frontend.biassumim = 0;
        frontend.biascount = 0;
    }
    float wr = settings.biasreal;
    float wi = settings.biasimag;
    const float wc = st.workrotation[0];
    const float ws = st.workrotation[1];
    const std::int32_t d = in.windowsamples;
    const auto n = std::min<std::int32_t>(in.stationcount, static_cast<std::int32_t>(table.stations.size()));
    const bool nbcorrect = settings.nb > 0 && settings.nbcorr > 0;

    for (std::int32_t s = 0; s < n; ++s) {
        const auto si = static_cast<size_t>(s);
        const Station& station = table.stations[si];
        const std::int32_t count = in.windowcount[si];
        const float weight = station.blankweight * static_cast<float>(count);
        // A weight of 0 (everything blanked) has no signal to normalise.
        if (count > 0 && weight != 0 && std::isfinite(weight)) {
            const float c = static_cast<float>(count);
            st.longresidual[si] += in.timingresidual[si] / c;
            float ore = 0;
            float oim = 0;
            if (settings.notch100khz != 0) {
                const float q = static_cast<float>(in.signsum[si]) / weight;
                ore = q * st.biasre;
                oim = q * st.biasim;
            } else if (station.pulsecount > 0) {
                ore = 4 * wr / static_cast<float>(station.pulsecount);
                oim = 4 * wi / static_cast<float>(station.pulsecount);
            }
            const size_t row = si * static_cast<size_t>(d);
            for (std::int32_t j = 0; j < d; ++j) {
                const size_t p = row + static_cast<size_t>(j);
                float re = static_cast<float>(in.sumre[p]) / weight - ore;
                float im = static_cast<float>(in.sumim[p]) / weight - oim;
                if (nbcorrect) {
                    const float g = 1 - in.nbcount[p] * settings.nbcorr / c;
                    in.nbcount[p] = 0;
                    if (g > 0) {
                        re /= g;
                        im /= g;
                    }
                }
                st.longre[p] += wc * re + ws * im;
                st.longim[p] += wc * im - ws * re;
            }
            if (station.blanked != 0 && station.gri > 0) {
                // The blanked samples took this station's share of the DC
                // offset with them; later stations see the rest.
                const std::int32_t first = std::max<std::int32_t>(0, settings.firstblankedsample);
                const std::int32_t last = std::min<std::int32_t>(d - 1, settings.lastblankedsample);
                std::int64_t sumre = 0;
                std::int64_t sumim = 0;
                for (std::int32_t j = first; j <= last; ++j) {
                    sumre += in.sumre[row + static_cast<size_t>(j)];
                    sumim += in.sumim[row + static_cast<size_t>(j)];
                }
                const double k = 4 * settings.blankingoffsetcorr / settings.sr / station.gri * 50000 / c;
                wr = toreal32(wr - k * static_cast<double>(sumre));
                wi = toreal32(wi - k * static_cast<double>(sumim));
            }
        }
        in.windowcount[si] = 0;
        in.signsum[si] = 0;
        in.timingresidual[si] = 0;
    }
    std::fill(in.sumre.begin(), in.sumre.end(), 0);
    std::fill(in.sumim.begin(), in.sumim.end(), 0);
}

}  // namespace

void createsteering(Steering& steering, std::int32_t n, std::int32_t d, const Settings& settings) {
    if (n < 0) n = 0;
    if (d < 0) d = 0;
    const auto cells = static_cast<size_t>(n) * static_cast<size_t>(d);
    steering = Steering{};
    steering.envelope.assign(static_cast<size_t>(std::max(d, smallestwindow)), 0.0f);
    steering.longre.assign(cells, 0.0f);
    steering.longim.assign(cells, 0.0f);
    steering.longresidual.assign(static_cast<size_t>(n), 0.0f);
    steering.pllfavg = settings.pllavfini;
}

void startsteeringperiod(Steering& steering, const float phaserotation[2]) {
    steering.phaserotation[0] = steering.workrotation[0] = phaserotation[0];
    steering.phaserotation[1] = steering.workrotation[1] = phaserotation[1];
}

void shortintegrationstep(Steering& st, PulseIntegrator& in, const StationTable& table, FrontEnd& frontend,
                          SampleBuffer& buffer, const ClockState& clock, Settings& settings,
                          double configuredsr, std::int32_t& lockcount, std::int32_t& resynccount,
                          Platform& platform) {
    // The edge search needs window positions up to 10 and a target of 5.
    const bool analysable = in.windowsamples >= smallestwindow;
    if (analysable) {
        analysereference(st, in, settings);
        if (settings.srcorr != 0) tracksampleclock(st, buffer, settings, configuredsr);
    }
    trackoscillator(st, settings, configuredsr, lockcount);
    if (lockcount == 4 && settings.pllenabled != 0) steerreceiver(st, settings, platform.commands);
    showstatus(st, settings, platform.console);
    fold(st, in, table, frontend, settings);

    const bool bad = st.refpeak < settings.resynclimit ||
                     (settings.wavinput == 0 && settings.clockerrorlimit > 0 &&
                      std::fabs(clock.pcclockerror) > settings.clockerrorlimit);
    if (bad) {
        if (resynccount < std::numeric_limits<std::int32_t>::max()) resynccount += 1;
    } else if (resynccount > 0) {
        resynccount -= 1;
    }
}

}  // namespace corvane
