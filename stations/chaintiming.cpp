#include "stations/chaintiming.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "core/numeric.h"
#include "stations/geodesy.h"

namespace corvane {

namespace {


void buildpattern(PulsePattern& s, const Station& station, std::int32_t singlepulses) {
    for (int j = 0; j < maxpulses; ++j) {
        s.pulseinterval[j] = 0;
        s.phasesign[j] = 0;
    }
    const double gri = station.gri;
    if (singlepulses == 0 && station.letter.size() == 1 && issecondaryletter(station.letter)) {
        // Eight pulses 1 ms apart, then the rest of the GRI; codes A and B.
        s.pulsecount = 16;
        for (int j = 0; j < 15; ++j) s.pulseinterval[j] = 0.001;
        s.pulseinterval[7] = s.pulseinterval[15] = (gri - 700) * 0.00001;
        for (int j = 0; j < 16; ++j) s.phasesign[j] = phasecodesign(18 + j);
    } else if (singlepulses == 0 && station.letter.size() == 1 && ismasterletter(station.letter)) {
        // As a secondary, with a ninth pulse 2 ms after the eighth.
        s.pulsecount = 18;
        for (int j = 0; j < 17; ++j) s.pulseinterval[j] = 0.001;
        s.pulseinterval[7] = s.pulseinterval[16] = 0.002;
        s.pulseinterval[8] = s.pulseinterval[17] = (gri - 900) * 0.00001;
        for (int j = 0; j < 18; ++j) s.phasesign[j] = phasecodesign(j);
    } else {
        // Evenly spaced single pulses of alternating sign over two GRIs.
        std::int32_t count = station.letter == "B" ? 2 : 1;
        if (singlepulses != 0) count = singlepulses < 1 ? 1 : singlepulses > maxpulses ? maxpulses : singlepulses;
        s.pulsecount = count;
        for (int j = 0; j < count; ++j) {
            s.pulseinterval[j] = 0.00002 * gri / count;
            s.phasesign[j] = j % 2 == 0 ? 1 : -1;
        }
    }
}

// GRI 6000 and 7950 chains carry fixed offsets between their stations.
double chainoffset(const Station& s, ChainTiming& timing, const ChainTimingConfig& config) {
    if (s.gri == 6000) {
        const std::int32_t k = timing.count6000++;
        if (k == 1) return -0.04;
        if (k == 2) return 0.04;
    } else if (s.gri == 7950) {
        const std::int32_t k = timing.count7950++;
        if (k >= 3) return (k % 2 == 1 ? -0.001 : 0.001) * static_cast<double>(config.xrcdelay7950);
    }
    return 0;
}

}  // namespace

void buildpulsepatterns(const StationTable& table, ChainTiming& timing, const ChainTimingConfig& config) {
    const auto& stations = table.stations;
    timing.processingorder.clear();
    for (int pass = 1; pass >= 0; --pass)
        for (size_t i = 0; i < stations.size(); ++i)
            if ((stations[i].blanked == 1) == (pass == 1))
                timing.processingorder.push_back(toint16(static_cast<double>(i)));

    timing.patterns.assign(stations.size(), PulsePattern{});
    timing.arrivals.assign(stations.size(), Arrival{});
    for (size_t i = 0; i < stations.size(); ++i) {
        buildpattern(timing.patterns[i], stations[i], config.singlepulses);
        timing.arrivals[i].emissiondelay = stations[i].emissiondelay;
    }

    // The blanked range of a window lies inside the window.
    timing.firstblankedsample = config.firstblankedsample < 0 ? std::int16_t{0} : config.firstblankedsample;
    timing.lastblankedsample = config.lastblankedsample;
    if (timing.lastblankedsample > config.displaysamples - 1)
        timing.lastblankedsample = toint16(static_cast<double>(config.displaysamples) - 1);
    const std::int32_t count = std::int32_t{timing.lastblankedsample} - timing.firstblankedsample + 1;
    timing.blankedsamples = toint16(count < 0 ? 0 : count);

    // Each blanked station cuts its blanked samples out of the signal of every
    // station processed after it; the weight keeps a small share at least.
    constexpr float minimumweight = 0.01f;
    float weight = 1;
    for (std::int16_t index : timing.processingorder) {
        const Station& s = stations[static_cast<size_t>(index)];
        PulsePattern& p = timing.patterns[static_cast<size_t>(index)];
        p.blankweight = weight;
        if (s.blanked == 1) {
            const double cut = timing.blankedsamples * static_cast<double>(p.pulsecount) / config.sr / s.gri * 50000;
            weight = toreal32(weight * (1 - cut));
            if (!(weight >= minimumweight)) weight = minimumweight;
        }
    }

    timing.propagationspeed = propagationspeed(config.asf);
}

void starttimingperiod(const StationTable& table, ChainTiming& timing, const ChainTimingConfig& config,
                       double bufstart, std::int32_t overlap, double sampleepoch) {
    timing.count6000 = 0;
    timing.count7950 = 0;
    const double sr = config.sr;
    const size_t n = std::min(table.stations.size(), timing.arrivals.size());
    for (size_t i = 0; i < n; ++i) {
        const Station& s = table.stations[i];
        Arrival& a = timing.arrivals[i];
        const double P = phasecodeinterval(s.gri);
        const long double delay = static_cast<long double>(a.emissiondelay) / 1000 +
                                  propagationtime(s.distance, timing.propagationspeed);
        a.arrivaldelay = toreal32(static_cast<double>(delay));
        const double offset = chainoffset(s, timing, config);
        if (offset != 0) a.arrivaldelay = toreal32(a.arrivaldelay + offset);

        const double cycles = (a.arrivaldelay - sampleepoch) / P;
        a.arrivalphase = P * (cycles - std::floor(cycles));
        // The first start of the phase code interval at or after buffer index
        // `overlap`, moved pulseoffset samples earlier.
        double x = a.arrivalphase - bufstart - overlap / sr;
        x -= P * std::floor(x / P);
        if (x >= P) x -= P;
        if (x < 0) x = 0;
        a.firstwindow = bufstart + x + (overlap - pulseoffset) / sr;
    }
    timing.foldcount = (timing.count6000 == 3 ? -2 : 0) + (timing.count7950 == 9 ? -6 : 0);
}

std::vector<double> applydailysteps(const StationTable& table, ChainTiming& timing,
                                    const ChainTimingConfig& config) {
    std::vector<double> shifts(table.stations.size(), 0.0);
    auto step = [&](std::int32_t gri, double milliseconds) {
        if (milliseconds == 0) return;
        for (size_t i = 0; i < table.stations.size() && i < timing.arrivals.size(); ++i) {
            if (table.stations[i].gri != gri) continue;
            shifts[i] += 0.001 * milliseconds;
            timing.arrivals[i].emissiondelay = toreal32(timing.arrivals[i].emissiondelay + milliseconds);
        }
    };
    step(5990, config.gri5990step);
    step(6731, config.gri6731step);
    return shifts;
}

}  // namespace corvane
