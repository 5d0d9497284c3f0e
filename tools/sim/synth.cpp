#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "acquisition/clock.h"
#include "core/errors.h"
#include "core/numeric.h"
#include "eloran/patterns.h"
#include "stations/chaintiming.h"

namespace corvane::sim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double carrier = 100000;  // Hz

double frac(double x) { return x - std::floor(x); }

double uniform(std::mt19937_64& rng) {
    return static_cast<double>(rng() >> 11) * 0x1.0p-53;
}

// Start time of pulse (interval, pulse) relative to the stream start, s.
double pulsetime(const StationState& s, std::int64_t interval, std::int32_t pulse) {
    return static_cast<double>(interval) * s.period - s.lead + s.station.delay + s.pattern.offset[pulse];
}

void nextpulse(const StationState& s, std::int64_t& interval, std::int32_t& pulse) {
    if (++pulse >= s.pattern.count) {
        pulse = 0;
        ++interval;
    }
}

void addpulses(StationState& s, const PulseShape& shape, double truerate, std::int64_t n0, std::int32_t frames,
               double* re, double* im) {
    const std::int64_t n1 = n0 + frames;
    std::int64_t interval = s.interval;
    std::int32_t pulse = s.pulse;
    bool finished = true;  // every pulse so far ends before this block's end
    for (;;) {
        // The data channel's shift of this pulse, us.
        std::int32_t shift = 0;
        if (s.schedule && s.pattern.count == 16 && pulse % 8 >= 2) {
            const std::int64_t gri = s.firstgri + 2 * interval + pulse / 8;
            shift = eloran::wordpattern(s.schedule->word(gri))[static_cast<std::size_t>(pulse % 8 - 2)];
        }
        double x = (pulsetime(s, interval, pulse) + shift * 1e-6) * truerate;
        double startsample = std::floor(x);
        std::int64_t first = toint64(startsample) - shape.pre;
        if (first >= n1) break;
        std::int64_t end = first + shape.length;  // one past the last tabulated sample
        if (end > n0) {
            double f = (x - startsample) * shape.fractions;
            std::int32_t k = std::clamp(floorclamp<std::int32_t>(f), 0, shape.fractions - 1);
            double a = f - k;
            const double* row0 = shape.rows.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(shape.length);
            const double* row1 = row0 + shape.length;
            double sr = s.phasorre * s.pattern.sign[pulse];
            double si = s.phasorim * s.pattern.sign[pulse];
            if (shift != 0) {
                // A delay of 1 us turns the 100 kHz carrier by -36 degrees.
                const double turn = -2 * pi * carrier * shift * 1e-6;
                const double r = sr * std::cos(turn) - si * std::sin(turn);
                si = sr * std::sin(turn) + si * std::cos(turn);
                sr = r;
            }
            std::int64_t lo = std::max(first, n0), hi = std::min(end, n1);
            for (std::int64_t n = lo; n < hi; ++n) {
                std::size_t j = static_cast<std::size_t>(n - first);
                double v = row0[j] + a * (row1[j] - row0[j]);
                re[n - n0] += sr * v;
                im[n - n0] += si * v;
            }
        }
        if (finished && end <= n1) {
            nextpulse(s, interval, pulse);
            s.interval = interval;
            s.pulse = pulse;
        } else {
            finished = false;
            nextpulse(s, interval, pulse);
        }
    }
}

// Multiplies by exp(j 2 pi (f t + drift t^2 / 2)) with t = n / truerate,
// one rotor re-anchored per block and turned by a second-order recurrence.
void rotate(double frequency, double drift, double truerate, std::int64_t n0, std::int32_t frames, double* re,
            double* im) {
    const double dt = 1 / truerate;
    const double t0 = static_cast<double>(n0) * dt;
    double cycles = frac(frequency * t0) + frac(0.5 * drift * t0 * t0);
    double cr = std::cos(2 * pi * cycles), ci = std::sin(2 * pi * cycles);
    double stepphase = 2 * pi * (frequency * dt + drift * dt * dt * (static_cast<double>(n0) + 0.5));
    stepphase = 2 * pi * frac(stepphase / (2 * pi));
    double sr = std::cos(stepphase), si = std::sin(stepphase);
    const double ddr = std::cos(2 * pi * drift * dt * dt), ddi = std::sin(2 * pi * drift * dt * dt);
    for (std::int32_t i = 0; i < frames; ++i) {
        double x = re[i], y = im[i];
        re[i] = x * cr - y * ci;
        im[i] = x * ci + y * cr;
        double ncr = cr * sr - ci * si;
        ci = cr * si + ci * sr;
        cr = ncr;
        double nsr = sr * ddr - si * ddi;
        si = sr * ddi + si * ddr;
        sr = nsr;
    }
}

void addcw(const CwTone& tone, double truerate, std::int64_t n0, std::int32_t frames, double* re, double* im) {
    const double t0 = static_cast<double>(n0) / truerate;
    double cycles = frac(tone.frequency * t0);
    double cr = tone.amplitude * std::cos(2 * pi * cycles), ci = tone.amplitude * std::sin(2 * pi * cycles);
    double step = 2 * pi * tone.frequency / truerate;
    double sr = std::cos(step), si = std::sin(step);
    for (std::int32_t i = 0; i < frames; ++i) {
        re[i] += cr;
        im[i] += ci;
        double ncr = cr * sr - ci * si;
        ci = cr * si + ci * sr;
        cr = ncr;
    }
}

void addimpulses(Synth& synth, std::int64_t n0, std::int32_t frames, double* re, double* im) {
    const Impairments& imp = synth.impairments;
    const std::int64_t n1 = n0 + frames;
    const double decay = std::max(imp.impulsedecay, 1e-9) * synth.truerate;  // samples
    // A burst rings until it has decayed below 1e-4 of its peak.
    const std::int64_t ring = static_cast<std::int64_t>(std::ceil(decay * std::log(1e4))) + 1;
    while (synth.nextimpulse < static_cast<double>(n1)) {
        double phase = 2 * pi * uniform(synth.impulserng);
        Burst b;
        b.start = static_cast<std::int64_t>(std::ceil(synth.nextimpulse));
        b.re = imp.impulseamplitude * std::cos(phase);
        b.im = imp.impulseamplitude * std::sin(phase);
        synth.bursts.push_back(b);
        double u = 1 - uniform(synth.impulserng);  // (0, 1]
        synth.nextimpulse += -std::log(u) / imp.impulserate * synth.truerate;
    }
    const double factor = std::exp(-1 / decay);
    for (const Burst& b : synth.bursts) {
        std::int64_t lo = std::max(b.start, n0), hi = std::min(b.start + ring, n1);
        double g = std::exp(-static_cast<double>(lo - b.start) / decay);
        for (std::int64_t n = lo; n < hi; ++n) {
            re[n - n0] += b.re * g;
            im[n - n0] += b.im * g;
            g *= factor;
        }
    }
    std::erase_if(synth.bursts, [&](const Burst& b) { return b.start + ring <= n1; });
}

}  // namespace

bool transmitpattern(std::int32_t gri, char letter, PulsePattern& pattern) {
    const std::string_view code(PhaseCode);
    const double gri_s = gri * 1e-5;
    if (std::string_view("KLMN").find(letter) != std::string_view::npos) {
        pattern.count = 18;
        for (std::int32_t j = 0; j < 18; ++j) {
            std::int32_t inner = j % 9;
            pattern.offset[j] = (j / 9) * gri_s + (inner < 8 ? inner * 1e-3 : 9e-3);
            pattern.sign[j] = code[static_cast<std::size_t>(j)] == '1' ? 1 : -1;
        }
        return true;
    }
    if (std::string_view("OPQRSTUVWXYZ").find(letter) != std::string_view::npos) {
        pattern.count = 16;
        for (std::int32_t j = 0; j < 16; ++j) {
            pattern.offset[j] = (j / 8) * gri_s + (j % 8) * 1e-3;
            pattern.sign[j] = code[static_cast<std::size_t>(18 + j)] == '1' ? 1 : -1;
        }
        return true;
    }
    return false;
}

double groundwaveamplitude(double level, double powerkw, double distancekm, double attenuation) {
    double d = std::max(distancekm, 10.0);
    return level * std::sqrt(std::max(powerkw, 0.0) / 1000) * (1000 / d) *
           std::pow(10.0, -attenuation * (d - 1000) / 1000 / 20);
}

StartTime programtime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                      std::int32_t minute, double second) {
    double whole = std::floor(second);
    StartTime t;
    t.seconds = static_cast<std::int64_t>(daysince1958(year, month, day)) * 86400 + hour * 3600LL + minute * 60LL +
                static_cast<std::int64_t>(whole) + 22 + leapseconds(year, month);
    t.fraction = second - whole;
    return t;
}

Synth makesynth(double rate, const std::vector<SimStation>& stations, const Impairments& impairments,
                StartTime start, std::uint64_t seed, double duration) {
    Synth synth;
    synth.rate = rate;
    synth.truerate = rate * (1 + impairments.ppm * 1e-6);
    synth.impairments = impairments;
    if (!(synth.truerate > 0) || !std::isfinite(synth.truerate))
        throw RuntimeError(illegalfunctioncall, "sample rate must be positive");
    double passedge = 0, stopedge = 0;
    double maxshift = std::max(std::fabs(impairments.looffset),
                               std::fabs(impairments.looffset + impairments.lodrift * duration));
    if (!bandedges(synth.truerate, maxshift, passedge, stopedge))
        throw RuntimeError(illegalfunctioncall, "sample rate too low for the Loran-C pulse (or LO offset too large)");
    synth.shape = buildpulseshape(synth.truerate, passedge, stopedge);
    for (const SimStation& st : stations) {
        StationState s;
        s.station = st;
        if (st.gri <= 0 || !transmitpattern(st.gri, st.letter, s.pattern))
            throw RuntimeError(illegalfunctioncall, "station " + std::to_string(st.gri) + std::string(1, st.letter) +
                                                        " is neither a master (KLMN) nor a secondary (O-Z)");
        const std::int64_t period10us = 2LL * st.gri;
        s.period = static_cast<double>(period10us) * 1e-5;
        // Seconds of 10 us fit an int64 for any date of the next million years.
        std::int64_t r = (start.seconds % period10us * (100000 % period10us)) % period10us;
        if (r < 0) r += period10us;
        s.lead = static_cast<double>(r) * 1e-5 + start.fraction;
        // Carrier phase: interval starts and pulse spacings are whole 10 us
        // carrier periods, so only the delay and the start fraction count.
        double phase = -pi / 2 - 2 * pi * frac(carrier * (st.delay - start.fraction));
        s.phasorre = st.amplitude * std::cos(phase);
        s.phasorim = st.amplitude * std::sin(phase);
        s.interval = static_cast<std::int64_t>(std::floor((s.lead - st.delay) / s.period)) - 1;
        s.firstgri = (start.seconds * 100000 - r) / st.gri;
        if (st.eloran) s.schedule = std::make_shared<eloran::MessageSchedule>(st.schedule);
        s.pulse = 0;
        synth.stations.push_back(s);
    }
    synth.noiserng.seed(seed);
    synth.impulserng.seed(seed ^ 0x9E3779B97F4A7C15ULL);
    if (impairments.impulserate > 0) {
        double u = 1 - uniform(synth.impulserng);
        synth.nextimpulse = -std::log(u) / impairments.impulserate * synth.truerate;
    }
    return synth;
}

double normal(Synth& synth) {
    if (synth.hasspare) {
        synth.hasspare = false;
        return synth.spare;
    }
    double u, v, s;
    do {
        u = 2 * uniform(synth.noiserng) - 1;
        v = 2 * uniform(synth.noiserng) - 1;
        s = u * u + v * v;
    } while (s >= 1 || s == 0);
    double m = std::sqrt(-2 * std::log(s) / s);
    synth.spare = v * m;
    synth.hasspare = true;
    return u * m;
}

void synthesize(Synth& synth, std::int32_t frames, std::vector<double>& re, std::vector<double>& im) {
    if (frames < 0) frames = 0;
    re.assign(static_cast<std::size_t>(frames), 0.0);
    im.assign(static_cast<std::size_t>(frames), 0.0);
    const std::int64_t n0 = synth.position;
    for (StationState& s : synth.stations) addpulses(s, synth.shape, synth.truerate, n0, frames, re.data(), im.data());
    for (const CwTone& tone : synth.impairments.cw) addcw(tone, synth.truerate, n0, frames, re.data(), im.data());
    const Impairments& imp = synth.impairments;
    if (imp.looffset != 0 || imp.lodrift != 0)
        rotate(imp.looffset, imp.lodrift, synth.truerate, n0, frames, re.data(), im.data());
    if (imp.noise > 0) {
        for (std::int32_t i = 0; i < frames; ++i) {
            re[static_cast<std::size_t>(i)] += imp.noise * normal(synth);
            im[static_cast<std::size_t>(i)] += imp.noise * normal(synth);
        }
    }
    if (imp.impulserate > 0 && imp.impulseamplitude != 0) addimpulses(synth, n0, frames, re.data(), im.data());
    synth.position += frames;
}

std::int64_t encodeframes(const std::vector<double>& re, const std::vector<double>& im, std::int32_t frames,
                          std::int32_t bits, std::int32_t channels, std::vector<unsigned char>& bytes) {
    const std::size_t width = bits == 8 ? 1 : 2;
    const std::size_t framebytes = width * static_cast<std::size_t>(channels == 1 ? 1 : 2);
    bytes.resize(framebytes * static_cast<std::size_t>(std::max(frames, 0)));
    std::int64_t clipped = 0;
    const double scale = bits == 8 ? 127 : 32767;
    const double lo = bits == 8 ? -128 : -32768, hi = bits == 8 ? 127 : 32767;
    unsigned char* out = bytes.data();
    auto put = [&](double value) {
        double v = std::nearbyint(value * scale);
        if (!(v >= lo)) {  // also NaN
            v = lo;
            ++clipped;
        } else if (v > hi) {
            v = hi;
            ++clipped;
        }
        if (width == 1) {
            *out++ = static_cast<unsigned char>(static_cast<int>(v) + 128);
        } else {
            std::uint16_t u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
            *out++ = static_cast<unsigned char>(u & 0xff);
            *out++ = static_cast<unsigned char>(u >> 8);
        }
    };
    for (std::int32_t i = 0; i < frames; ++i) {
        put(re[static_cast<std::size_t>(i)]);
        if (channels != 1) put(im[static_cast<std::size_t>(i)]);
    }
    return clipped;
}

}  // namespace corvane::sim
