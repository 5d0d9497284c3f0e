#include "pulses/steering.h"

#include <cmath>

#include "core/numberformat.h"
#include "core/numeric.h"
#include "pulses/referencepulse.h"
#include "pulses/sampleclock.h"

namespace corvane {

namespace {

// Uniform in 0 .. 1 (splitmix64).
double uniform(std::uint64_t& state) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

// The 100 kHz carrier in Hz, and microseconds per second.
constexpr float carrierhz = 100000;
constexpr float microseconds = 1000000;

}  // namespace

void createoscillator(Oscillator& oscillator, const SteeringConfig& config) {
    oscillator = Oscillator{};
    oscillator.pllfavg = config.pllavfini;
}

void trackoscillator(Oscillator& st, const PulseAnalysis& reference, const SampleClock& clock,
                     const SteeringConfig& config) {
    const float cycles = reference.phase / 2 / pi32;
    const float d = cycles - st.lastrefcycles;
    st.lastrefcycles = cycles;
    st.fracfreq = (d - std::floor(d + 0.5f)) / config.shortintegration / carrierhz;
    st.driftus = toreal32(st.driftus + static_cast<double>(config.shortintegration * st.fracfreq * microseconds));
    st.srlodrift = toreal32(((clock.sr - clock.configuredsr) * config.srlofactor +
                             static_cast<double>(microseconds * config.srlooffset)) *
                            config.shortintegration);
    st.driftus = toreal32(static_cast<double>(st.driftus) - st.srlodrift);

    if (reference.peak > config.resynclimit) {
        if (st.lockcount < 4) st.lockcount += 1;
    } else {
        st.lockcount = 0;
    }
    if (st.lockcount >= 4) {
        st.lockcount = 4;
        st.shownfdrift = st.driftus;
    } else {
        st.driftus = 0;
        st.srloavg = config.srloavini;
    }
}

std::string steeringcommand(Oscillator& st, const SteeringConfig& config) {
    if (st.lockcount != 4 || config.pllenabled == 0) return "";
    st.pllfavg = config.pllaveragef * st.fracfreq + (1 - config.pllaveragef) * st.pllfavg;
    double f = config.pllcenter - static_cast<double>(st.driftus * config.pllfactort) -
               static_cast<double>((st.fracfreq - st.pllfavg) * config.pllfactorf);
    st.srloavg = st.srlodrift * config.srloavfac / config.shortintegration / microseconds +
                 (1 - config.srloavfac) * st.srloavg;
    if (config.ffactor != 0) f += static_cast<double>((st.pllfavg - st.srloavg) * config.ffactor);
    if (config.plldither != 0) f += config.plldither * (2 * uniform(st.randomstate) - 1);
    if (f > config.pllhigh) f = config.pllhigh;
    if (f < config.plllow) f = config.plllow;
    // An overflowed computation (infinities cancelling) keeps the last frequency.
    if (!std::isnan(f)) st.pllfreq = f;
    return config.pllcommand + " " + real64text(st.pllfreq).substr(0, 10);
}

}  // namespace corvane
