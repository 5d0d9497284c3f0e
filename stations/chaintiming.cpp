#include "stations/chaintiming.h"

#include <cmath>
#include <string_view>

#include "core/numeric.h"
#include "app/settings.h"
#include "stations/geodesy.h"

namespace corvane {

namespace {


void buildpattern(Station& s, std::int32_t singlepulses) {
    for (int j = 0; j < 18; ++j) {
        s.pulseinterval[j] = 0;
        s.phasesign[j] = 0;
    }
    const double gri = s.gri;
    if (singlepulses == 0 && s.letter.size() == 1 && issecondaryletter(s.letter)) {
        // Eight pulses 1 ms apart, then the rest of the GRI; codes A and B.
        s.pulsecount = 16;
        for (int j = 0; j < 15; ++j) s.pulseinterval[j] = 0.001;
        s.pulseinterval[7] = s.pulseinterval[15] = (gri - 700) * 0.00001;
        for (int j = 0; j < 16; ++j) s.phasesign[j] = phasecodesign(18 + j);
    } else if (singlepulses == 0 && s.letter.size() == 1 && ismasterletter(s.letter)) {
        // As a secondary, with a ninth pulse 2 ms after the eighth.
        s.pulsecount = 18;
        for (int j = 0; j < 17; ++j) s.pulseinterval[j] = 0.001;
        s.pulseinterval[7] = s.pulseinterval[16] = 0.002;
        s.pulseinterval[8] = s.pulseinterval[17] = (gri - 900) * 0.00001;
        for (int j = 0; j < 18; ++j) s.phasesign[j] = phasecodesign(j);
    } else {
        // Evenly spaced single pulses of alternating sign over two GRIs.
        std::int32_t count = s.letter == "B" ? 2 : 1;
        if (singlepulses != 0) count = singlepulses < 1 ? 1 : singlepulses > 18 ? 18 : singlepulses;
        s.pulsecount = count;
        for (int j = 0; j < count; ++j) {
            s.pulseinterval[j] = 0.00002 * gri / count;
            s.phasesign[j] = j % 2 == 0 ? 1 : -1;
        }
    }
}

// GRI 6000 and 7950 chains carry fixed offsets between their stations.
double chainoffset(const Station& s, ChainTiming& timing, const Settings& settings) {
    if (s.gri == 6000) {
        const std::int32_t k = timing.count6000++;
        if (k == 1) return -0.04;
        if (k == 2) return 0.04;
    } else if (s.gri == 7950) {
        const std::int32_t k = timing.count7950++;
        if (k >= 3) return (k % 2 == 1 ? -0.001 : 0.001) * static_cast<double>(settings.xrcdelay7950);
    }
    return 0;
}

}  // namespace

void buildpulsepatterns(StationTable& table, ChainTiming& timing, Settings& settings) {
    auto& stations = table.stations;
    timing.processingorder.clear();
    for (int pass = 1; pass >= 0; --pass)
        for (size_t i = 0; i < stations.size(); ++i)
            if ((stations[i].blanked == 1) == (pass == 1))
                timing.processingorder.push_back(toint16(static_cast<double>(i)));

    for (Station& s : stations) buildpattern(s, settings.singlepulses);

    // The blanked range of a window lies inside the window.
    if (settings.firstblankedsample < 0) settings.firstblankedsample = 0;
    if (settings.lastblankedsample > settings.displaysamples - 1)
        settings.lastblankedsample = toint16(static_cast<double>(settings.displaysamples) - 1);
    const std::int32_t count = std::int32_t{settings.lastblankedsample} - settings.firstblankedsample + 1;
    timing.blankedsamples = toint16(count < 0 ? 0 : count);

    // Each blanked station cuts its blanked samples out of the signal of every
    // station processed after it; the weight keeps a small share at least.
    constexpr float minimumweight = 0.01f;
    float weight = 1;
    for (std::int16_t index : timing.processingorder) {
        Station& s = stations[static_cast<size_t>(index)];
        s.blankweight = weight;
        if (s.blanked == 1) {
            const double cut = timing.blankedsamples * static_cast<double>(s.pulsecount) / settings.sr / s.gri * 50000;
            weight = toreal32(weight * (1 - cut));
            if (!(weight >= minimumweight)) weight = minimumweight;
        }
    }

    timing.propagationspeed = propagationspeed(settings.asf);
}

void starttimingperiod(StationTable& table, ChainTiming& timing, const Settings& settings, double bufstart,
                       std::int32_t overlap, double sampleepoch) {
    timing.count6000 = 0;
    timing.count7950 = 0;
    const double sr = settings.sr;
    for (Station& s : table.stations) {
        const double P = s.gri / 50000.0;
        const long double delay = static_cast<long double>(s.emissiondelay) / 1000 +
                                  propagationtime(s.distance, timing.propagationspeed);
        s.arrivaldelay = toreal32(static_cast<double>(delay));
        const double offset = chainoffset(s, timing, settings);
        if (offset != 0) s.arrivaldelay = toreal32(s.arrivaldelay + offset);

        const double cycles = (s.arrivaldelay - sampleepoch) / P;
        s.arrivalphase = P * (cycles - std::floor(cycles));
        // The first start of the phase code interval at or after buffer index
        // `overlap`, moved pulseoffset samples earlier.
        double x = s.arrivalphase - bufstart - overlap / sr;
        x -= P * std::floor(x / P);
        if (x >= P) x -= P;
        if (x < 0) x = 0;
        s.windowstart = bufstart + x + (overlap - pulseoffset) / sr;
        s.windowanchor = s.windowstart;
        s.pulseindex = 0;
    }
    timing.foldcount = (timing.count6000 == 3 ? -2 : 0) + (timing.count7950 == 9 ? -6 : 0);
}

void applydailysteps(StationTable& table, const Settings& settings) {
    auto step = [&](std::int32_t gri, double milliseconds) {
        if (milliseconds == 0) return;
        for (Station& s : table.stations) {
            if (s.gri != gri) continue;
            s.windowstart += 0.001 * milliseconds;
            s.windowanchor += 0.001 * milliseconds;
            s.emissiondelay = toreal32(s.emissiondelay + milliseconds);
        }
    };
    step(5990, settings.gri5990step);
    step(6731, settings.gri6731step);
}

}  // namespace corvane
