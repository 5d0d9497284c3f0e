#include "timesync/taisync.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <numeric>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "core/errors.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "core/text.h"
#include "core/numberformat.h"
#include "platform/platform.h"
#include "stations/stationtable.h"

namespace corvane {

namespace {

// The ninth master pulse comes 9 ms after the first; the peak search also
// clears that far either side of a group found.
constexpr double ninthpulsedelay = 0.009;
// The correlations are normalised by the squared pulse counts of the
// master (18) and secondary (16) templates.
constexpr double masternorm = maxpulses * maxpulses;
constexpr double secondarynorm = 16.0 * 16.0;
// A GRI 50000 "A" entry (a pulse per second) may cancel its neighbours of
// the 8000-sample grid, 40 ms on either side.
constexpr float ppsneighbour = 0.04f;


constexpr double twopi = 2 * pi64;
constexpr float twopif = 2 * pi32;

double interval(std::int32_t gri) { return phasecodeinterval(gri); }

std::string upperletter(const SyncStation& ref) { return uppercased(ref.letter.substr(0, 1)); }

// Letters whose peak is the master-type one: "A" (the strongest fold sample)
// and the masters.
bool usesmasterpeak(const std::string& letter) { return letter == "A" || ismasterletter(letter); }

// Wraps any slot number into 0 .. len - 1.
std::int64_t wrap(std::int64_t x, std::int64_t len) {
    std::int64_t r = x % len;
    return r < 0 ? r + len : r;
}

std::int32_t seglen(const TaiSyncEntry& e) { return e.segend - e.segstart; }

// Completed fold cycles, at least 1, as the divisor of a peak amplitude.
float foldcycles(const TaiSyncEntry& e) { return static_cast<float>(e.pcicount > 0 ? e.pcicount : 1); }

void release(TaiSync& sync) {
    std::vector<std::int64_t>().swap(sync.foldre);
    std::vector<std::int64_t>().swap(sync.foldim);
    std::vector<float>().swap(sync.mastercorr);
    std::vector<float>().swap(sync.secondarycorr);
}

// Clears 2w + 1 slots of both correlation arrays from `from`, wrapping.
void clearslots(TaiSync& sync, std::int64_t from, std::int64_t w, std::int64_t len) {
    const std::int64_t count = std::min<std::int64_t>(2 * w + 1, len);
    for (std::int64_t i = 0; i < count; ++i) {
        const auto x = static_cast<std::size_t>(wrap(from + i, len));
        sync.mastercorr[x] = 0;
        sync.secondarycorr[x] = 0;
    }
}

// Median of the values (a copy is partially sorted); 0 for none.
float median(std::vector<float> values) {
    if (values.empty()) return 0;
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

std::string peakline(const std::string& kind, std::int32_t gri, float amplitude, float seconds) {
    return kind + writeinteger(gri) + "max" + real32text(amplitude) + "at" +
           real32text(seconds * 1000.0f) + "ms";
}

}  // namespace

void computecarrieroffsets(TaiSync& sync, const std::vector<SyncStation>& refs, double bandcenter) {
    sync.entries.assign(refs.size(), TaiSyncEntry{});
    if (bandcenter == 0) return;
    const double k = std::floor(bandcenter / 1000 + 0.5);
    for (std::size_t t = 0; t < refs.size(); ++t) {
        const double gri = refs[t].gri;
        if (!(gri > 0)) continue;
        // The multiple of the GRI rate nearest the band centre.
        const double g = std::nearbyint(k / 100 * gri);
        sync.entries[t].carrieroffset = g * static_cast<double>(tenuspersecond) / gri - bandcenter;
    }
}

bool starttaisync(TaiSync& sync, const std::vector<SyncStation>& refs, const SampleBuffer& buffer,
                  const TaiConfig& config, Console& console) {
    if (!(config.integrationtime > 0) || refs.empty()) return false;
    if (sync.entries.size() != refs.size()) sync.entries.resize(refs.size());
    const double sr = config.sr;

    std::int64_t position = 0;
    std::int64_t correlationlen = 0;
    for (std::size_t t = 0; t < refs.size(); ++t) {
        TaiSyncEntry& e = sync.entries[t];
        const double end = std::nearbyint(static_cast<double>(position) + interval(refs[t].gri) * sr);
        if (!(end < std::numeric_limits<std::int32_t>::max()))
            throw RuntimeError(outofmemory, "cannot create the fold arrays of the TAI synchronisation: " +
                                                std::to_string(refs[t].gri) + " at " + real64text(sr) +
                                                " samples per second is too long");
        e.segstart = static_cast<std::int32_t>(position);
        // A slice holds at least one slot.
        e.segend = std::max(static_cast<std::int32_t>(end), e.segstart + 1);
        position = e.segend;
        e.foldindex = e.segstart;
        e.foldstart = buffer.overlap;
        e.pcitime = buffer.overlap / sr;
        e.pcicount = 0;
        e.measured = false;
        if (upperletter(refs[t]) != "A") correlationlen = std::max<std::int64_t>(correlationlen, seglen(e));
    }
    sync.consumed = 0;
    try {
        sync.foldre.assign(static_cast<std::size_t>(position), 0);
        sync.foldim.assign(static_cast<std::size_t>(position), 0);
        sync.mastercorr.assign(static_cast<std::size_t>(correlationlen), 0);
        sync.secondarycorr.assign(static_cast<std::size_t>(correlationlen), 0);
    } catch (const std::bad_alloc&) {
        release(sync);
        throw RuntimeError(outofmemory, "cannot create the fold arrays of the TAI synchronisation");
    }

    console.writeline("");
    console.write("sync: averaging for" + real64text(std::floor(config.integrationtime + 0.5)) + "sec ");
    console.column1();
    return true;
}

namespace {

// The newest block as the fold reads it.
struct FoldSource {
    const std::int16_t* re;
    const std::int16_t* im;
    std::int64_t end;        // buffer indices below end hold samples
    std::int64_t overlap;
    double bufstart;         // s
    double sr;               // Hz
};

// The carrier rotation of an entry, re-anchored from the absolute sample
// count at every block so that the angle never drifts.
struct Rotation {
    float phi = 0;
    float dphi = 0;
};

Rotation startrotation(const TaiSyncEntry& e, std::int64_t consumed, const FoldSource& b) {
    Rotation r;
    const double c = (static_cast<double>(e.foldstart) + static_cast<double>(consumed) -
                      static_cast<double>(b.overlap)) / b.sr * e.carrieroffset;
    const double frac = c - std::floor(c);
    r.phi = std::isfinite(frac) ? static_cast<float>(twopi * frac) : 0.0f;
    r.dphi = toreal32(twopi * e.carrieroffset / b.sr);
    if (!std::isfinite(r.dphi)) r.dphi = 0;
    return r;
}

// Sample k turned by the rotation into slot index.
void foldrotated(TaiSync& sync, std::int32_t index, std::int64_t k, Rotation& r, const FoldSource& b) {
    const float i = b.re[k];
    const float q = b.im[k];
    const float c = std::cos(r.phi);
    const float s = std::sin(r.phi);
    sync.foldre[static_cast<std::size_t>(index)] += static_cast<std::int32_t>(std::nearbyint(i * c + q * s));
    sync.foldim[static_cast<std::size_t>(index)] += static_cast<std::int32_t>(std::nearbyint(-i * s + q * c));
    r.phi += r.dphi;
    if (r.phi > pi32) r.phi -= twopif;
}

// Samples from k on, up to the end of the slice or of the block, in one run
// from slot index; returns the last sample folded.
std::int64_t foldrun(TaiSync& sync, const TaiSyncEntry& e, std::int32_t& index, std::int64_t k,
                     const FoldSource& b) {
    const std::int64_t run =
        std::max<std::int64_t>(std::min<std::int64_t>(b.end - k, static_cast<std::int64_t>(e.segend) - index), 1);
    std::int64_t* __restrict ar = sync.foldre.data() + index;
    std::int64_t* __restrict ai = sync.foldim.data() + index;
    const std::int16_t* __restrict r = b.re + k;
    const std::int16_t* __restrict q = b.im + k;
    for (std::int64_t j = 0; j < run; ++j) {
        ar[j] += r[j];
        ai[j] += q[j];
    }
    index += static_cast<std::int32_t>(run);
    return k + run - 1;
}

// A fold cycle ended at sample k: the next one starts with the sample nearest
// its nominal start (k + correction is that sample, less the step that
// follows); returns the new k.
std::int64_t endcycle(TaiSyncEntry& e, std::int64_t k, double period, const FoldSource& b) {
    e.pcitime += period;
    const double sampletime = static_cast<double>(k + b.overlap) / b.sr + b.bufstart;
    const std::int64_t correction = std::clamp<std::int64_t>(toint64((e.pcitime - sampletime) * b.sr), -b.end, b.end);
    if (e.pcicount < std::numeric_limits<std::int32_t>::max()) e.pcicount += 1;
    return std::max<std::int64_t>(k + correction - 1, -1);
}

}  // namespace

void foldblock(TaiSync& sync, const std::vector<SyncStation>& refs, const SampleBuffer& buffer,
               double sr, double bandcenter) {
    const std::int64_t blocksamples = buffer.blocksamples;
    const FoldSource b{buffer.samplere.data(), buffer.sampleim.data(),
                       std::min<std::int64_t>(static_cast<std::int64_t>(buffer.overlap) + blocksamples,
                                              static_cast<std::int64_t>(
                                                  std::min(buffer.samplere.size(), buffer.sampleim.size()))),
                       buffer.overlap, buffer.bufstart, sr};
    const bool rotate = bandcenter != 0;
    for (std::size_t t = 0; t < sync.entries.size() && t < refs.size(); ++t) {
        TaiSyncEntry& e = sync.entries[t];
        const double period = interval(refs[t].gri);
        Rotation rotation = rotate ? startrotation(e, sync.consumed, b) : Rotation{};
        std::int32_t index = e.foldindex;
        std::int64_t k = std::max<std::int64_t>(e.foldstart, 0);
        while (k < b.end) {
            if (rotate)
                foldrotated(sync, index++, k, rotation, b);
            else
                k = foldrun(sync, e, index, k, b);
            if (index == e.segend) {
                k = endcycle(e, k, period, b);
                index = e.segstart;
            }
            k += 1;
        }
        e.foldindex = index;
        e.foldstart = static_cast<std::int32_t>(std::clamp<std::int64_t>(k - blocksamples, 0, b.end));
    }
    sync.consumed += blocksamples;
}

void gathersamples(TaiSync& sync, const std::vector<SyncStation>& refs, const SampleBuffer& buffer,
                   const TaiConfig& config, const std::function<bool()>& readnext) {
    while (buffer.bufend < config.integrationtime) {
        if (!readnext()) break;  // the data has ended: finish with what was gathered
        foldblock(sync, refs, buffer, config.sr, config.bandcenter);
    }
}

void buildtemplates(TaiSyncEntry& entry, std::int32_t gri, double sr) {
    for (int p = 0; p < 2; ++p) {
        for (int j = 0; j < 8; ++j) {
            entry.templatepos[p][j] = toint32(j * 100 / static_cast<double>(tenuspersecond) * sr);
            entry.templatepos[p][j + 9 - p] = toint32((j * 100.0 + gri) / static_cast<double>(tenuspersecond) * sr);
        }
    }
    entry.templatepos[0][8] = toint32(ninthpulsedelay * sr);
    entry.templatepos[0][17] = toint32((gri + 900.0) / static_cast<double>(tenuspersecond) * sr);
    for (int j = 0; j < 18; ++j) entry.templatesign[0][j] = phasecodesign(j);
    for (int j = 0; j < 16; ++j) entry.templatesign[1][j] = phasecodesign(18 + j);
    for (int j = 16; j < 18; ++j) {
        entry.templatepos[1][j] = 0;
        entry.templatesign[1][j] = 0;
    }
}

namespace {

// Letter "A": the strongest fold sample gives the master-type peak.
bool findstrongestsample(TaiSync& sync, TaiSyncEntry& e, const SyncStation& ref, const TaiConfig& config,
                         Console& console) {
    const double sr = config.sr;
    const std::int64_t len = seglen(e);
    const std::int64_t* accre = sync.foldre.data() + e.segstart;
    const std::int64_t* accim = sync.foldim.data() + e.segstart;
    const bool remove = ref.gri == 50000 && config.remove8000frompps != 0;
    const double shift = static_cast<double>(ppsneighbour) * sr;
    float best = 0;
    std::int64_t bestslot = -1;
    std::vector<float> powers(static_cast<std::size_t>(len));
    for (std::int64_t s = 0; s < len; ++s) {
        float i = static_cast<float>(accre[s]);
        float q = static_cast<float>(accim[s]);
        if (remove) {
            const auto a = wrap(toint64(static_cast<double>(s) - shift), len);
            const auto b = wrap(toint64(static_cast<double>(s) + shift), len);
            i -= 0.5f * static_cast<float>(accre[a]) + 0.5f * static_cast<float>(accre[b]);
            q -= 0.5f * static_cast<float>(accim[a]) + 0.5f * static_cast<float>(accim[b]);
        }
        const float power = i * i + q * q;
        powers[static_cast<std::size_t>(s)] = power;
        if (power > best) {
            best = power;
            bestslot = s;
        }
    }
    e.noise = median(std::move(powers));
    if (bestslot < 0) return false;
    e.peaktime[0] = static_cast<float>(static_cast<double>(bestslot) / sr);
    e.peakpower[0] = best;
    e.peakindex = 0;
    if (config.syncverbose != 0)
        console.writeline(peakline("", ref.gri, std::sqrt(best) / foldcycles(e), e.peaktime[0]));
    return true;
}

// Correlation of every slot with the master and the secondary template.
void correlate(TaiSync& sync, const TaiSyncEntry& e) {
    const std::int64_t len = seglen(e);
    const std::int64_t* accre = sync.foldre.data() + e.segstart;
    const std::int64_t* accim = sync.foldim.data() + e.segstart;
    for (std::int64_t s = 0; s < len; ++s) {
        double sum[2][2] = {};
        for (int p = 0; p < 2; ++p) {
            const int pulses = p == 0 ? 18 : 16;
            for (int j = 0; j < pulses; ++j) {
                const auto x = wrap(s + e.templatepos[p][j], len);
                sum[p][0] += e.templatesign[p][j] * static_cast<double>(accre[x]);
                sum[p][1] += e.templatesign[p][j] * static_cast<double>(accim[x]);
            }
        }
        sync.mastercorr[static_cast<std::size_t>(s)] =
            toreal32((sum[0][0] * sum[0][0] + sum[0][1] * sum[0][1]) / masternorm);
        sync.secondarycorr[static_cast<std::size_t>(s)] =
            toreal32((sum[1][0] * sum[1][0] + sum[1][1] * sum[1][1]) / secondarynorm);
    }
}

// The strongest slot of either correlation, master checked before secondary
// at each slot (strictly greater, from 0); slot -1 when nothing is above 0.
struct Strongest {
    std::int64_t slot = -1;
    float power = 0;
    bool master = false;
};

Strongest strongestslot(const TaiSync& sync, std::int64_t len) {
    Strongest best;
    for (std::int64_t s = 0; s < len; ++s) {
        const auto x = static_cast<std::size_t>(s);
        if (sync.mastercorr[x] > best.power) best = {s, sync.mastercorr[x], true};
        if (sync.secondarycorr[x] > best.power) best = {s, sync.secondarycorr[x], false};
    }
    return best;
}

// Of the secondary-type peaks 1 .. found - 1, the one whose distance from the
// master-type peak comes nearest the table's prediction (modulo the interval
// p, s): the reference's own pulse group, not a stronger station of its chain.
int nearestspacing(const TaiSyncEntry& e, int found, double p) {
    int index = 1;
    double nearest = p;
    for (int i = 1; i < found; ++i) {
        const double x = (static_cast<double>(e.peaktime[i]) - e.peaktime[0] - e.spacing) / p;
        const double miss = std::fabs(p * (x - std::nearbyint(x)));
        if (miss < nearest) {
            nearest = miss;
            index = i;
        }
    }
    return index;
}

// Other letters: four passes over the correlations, each taking the
// strongest slot (master checked before secondary) and clearing the group
// and its repeat one GRI later. Returns whether a peak of the letter's type
// was found.
bool findpatternpeaks(TaiSync& sync, TaiSyncEntry& e, const SyncStation& ref, const std::string& letter,
                      const TaiConfig& config, Console& console) {
    correlate(sync, e);
    const double sr = config.sr;
    const std::int64_t len = seglen(e);
    const bool wantmaster = ismasterletter(letter);
    {
        const auto& c = wantmaster ? sync.mastercorr : sync.secondarycorr;
        e.noise = median(std::vector<float>(c.begin(), c.begin() + len));
    }
    const std::int64_t w = std::min<std::int64_t>(toint64(ninthpulsedelay * sr), len);
    bool masterfound = false;
    int nextsecondary = 1;
    // A master-type peak only places a secondary when it stands clear of the
    // master correlation's noise (not a sidelobe of a secondary group).
    const float masternoise = wantmaster ? e.noise : median(std::vector<float>(sync.mastercorr.begin(), sync.mastercorr.begin() + len));
    for (int pass = 0; pass < 4; ++pass) {
        const Strongest strongest = strongestslot(sync, len);
        const std::int64_t bestslot = strongest.slot;
        const float best = strongest.power;
        const bool master = strongest.master;
        if (bestslot < 0) break;  // nothing left above 0
        const float time = static_cast<float>(static_cast<double>(bestslot) / sr);
        if (master) {
            if (!masterfound) {
                e.peaktime[0] = time;
                e.peakpower[0] = best;
            }
            masterfound = true;
        } else if (nextsecondary <= 3) {
            e.peakpower[nextsecondary] = best;
            e.peaktime[nextsecondary++] = time;
        }
        if (config.syncverbose != 0)
            console.writeline(peakline(master ? "M" : "S", ref.gri, std::sqrt(best) / foldcycles(e), time));
        // The same group one GRI later must not be found again.
        clearslots(sync, bestslot - w, w, len);
        clearslots(sync, toint64(static_cast<double>(bestslot) + static_cast<double>(len) / 2 - static_cast<double>(w)),
                   w, len);
    }
    if (wantmaster) {
        e.peakindex = 0;
        return masterfound;
    }
    if (nextsecondary == 1) return false;
    e.peakindex = 1;  // the strongest secondary-type peak
    if (masterfound && e.spacingknown && nextsecondary > 2 && !(e.peakpower[0] < receivedratio * masternoise))
        e.peakindex = nearestspacing(e, nextsecondary, static_cast<double>(len) / sr);
    return true;
}

}  // namespace

void findpeaks(TaiSync& sync, std::size_t t, const SyncStation& ref, const TaiConfig& config, Console& console) {
    TaiSyncEntry& e = sync.entries[t];
    const std::string letter = upperletter(ref);
    e.noise = 0;
    e.found = letter == "A" ? findstrongestsample(sync, e, ref, config, console)
                            : findpatternpeaks(sync, e, ref, letter, config, console);
    // Received: the peak stands clear of the fold's noise (a median of 0
    // with a peak above it: no noise at all).
    const float power = e.found ? e.peakpower[e.peakindex] : 0;
    e.measured = e.found && power > 0 && !(power < receivedratio * e.noise);
    if (config.syncverbose == 0) return;
    if (!e.found)
        console.writeline(writeinteger(ref.gri) + letter + " no " +
                          (usesmasterpeak(letter) ? "master" : "secondary") +
                          " peak found, left out of the match");
    else if (!e.measured)
        console.writeline(writeinteger(ref.gri) + letter + " not received: peak" +
                          real32text(std::sqrt(power) / foldcycles(e)) + " against noise" +
                          real32text(std::sqrt(e.noise) / foldcycles(e)) + ", left out of the match");
}

std::int64_t commonperiodunits(const std::vector<std::int32_t>& gris, std::int64_t cap) {
    std::int64_t common = 0;
    for (const std::int32_t gri : gris) {
        const std::int64_t units = 2 * static_cast<std::int64_t>(gri);
        if (units <= 0) continue;
        if (common == 0) {
            common = std::min(units, cap);
            continue;
        }
        const std::int64_t factor = units / std::gcd(common, units);
        common = common > cap / factor ? cap : std::min(common * factor, cap);
    }
    return common;
}

std::string periodtext(std::int64_t units) {
    char text[48];
    if (units < tenuspersecond) {
        std::snprintf(text, sizeof text, "%lld.%02lld ms", static_cast<long long>(units / 100),
                      static_cast<long long>(units % 100));
        return text;
    }
    std::snprintf(text, sizeof text, "%lld.%05lld", static_cast<long long>(units / tenuspersecond),
                  static_cast<long long>(units % tenuspersecond));
    std::string t = text;
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t + " s";
}

namespace {

// The distinct GRIs of the measured entries, in list order.
std::vector<std::int32_t> measuredgris(const TaiSync& sync, const std::vector<SyncStation>& refs) {
    std::vector<std::int32_t> gris;
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    for (std::size_t t = 0; t < count; ++t)
        if (sync.entries[t].measured && std::find(gris.begin(), gris.end(), refs[t].gri) == gris.end())
            gris.push_back(refs[t].gri);
    return gris;
}

// Phase residual of entry t at a candidate offset, s, within +- half its interval.
double residual(const TaiSyncEntry& e, std::int32_t gri, double offset) {
    const double p = interval(gri);
    const double x = (static_cast<double>(e.expectedphase) - e.measuredphase - offset) / p;
    return p * (x - std::floor(x + 0.5));
}

// Weighted error sum of the measured entries after the first at an offset.
double errorsum(const TaiSync& sync, const std::vector<SyncStation>& refs, std::size_t count, double offset) {
    double err = 0;
    for (std::size_t t = 1; t < count; ++t) {
        const TaiSyncEntry& e = sync.entries[t];
        if (!e.measured) continue;
        const double weighted = static_cast<double>(refs[t].value) * residual(e, refs[t].gri, offset);
        err += weighted * weighted;
    }
    return err;
}

}  // namespace

namespace {

// Expected and measured phase of every entry, and its peak amplitude and
// noise for the result.
void setphases(TaiSync& sync, const std::vector<SyncStation>& refs, double startepoch, TaiResult& result) {
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    for (std::size_t t = 0; t < count; ++t) {
        TaiSyncEntry& e = sync.entries[t];
        const double p = interval(refs[t].gri);
        const double x = (static_cast<double>(e.expecteddelay) - startepoch) / p;
        e.expectedphase = toreal32(p * (x - std::floor(x)));
        e.measuredphase = usesmasterpeak(upperletter(refs[t])) ? e.peaktime[0]
                                                               : e.peaktime[std::clamp(e.peakindex, 1, 3)];
        TaiReferenceResult r;
        r.measured = e.measured;
        if (e.found) {
            r.amplitude = std::sqrt(e.peakpower[std::clamp(e.peakindex, 0, 3)]) / foldcycles(e);
            r.noise = std::sqrt(e.noise) / foldcycles(e);
        }
        result.references.push_back(r);
    }
}

// The error sum below which a candidate is a match: chance coincidences give
// one as small among `candidates` no more often than chancematches. Each
// measured GRI other than the first entry's adds a dimension in which the
// weighted residual of a wrong candidate is spread evenly over one interval
// (entries of one GRI move together: their weights add in squares; entries
// on the first entry's GRI do not change from one candidate to the next).
double matchlimit(const TaiSync& sync, const std::vector<SyncStation>& refs, std::int64_t candidates) {
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    std::vector<std::int32_t> gris;
    std::vector<double> weights;  // squared
    for (std::size_t t = 1; t < count; ++t) {
        const double w = static_cast<double>(refs[t].value);
        if (!sync.entries[t].measured || refs[t].gri == refs[0].gri || w == 0) continue;
        const auto at = std::find(gris.begin(), gris.end(), refs[t].gri);
        if (at == gris.end()) {
            gris.push_back(refs[t].gri);
            weights.push_back(w * w);
        } else {
            weights[static_cast<std::size_t>(at - gris.begin())] += w * w;
        }
    }
    if (gris.empty()) return 1;
    // Volume of the unit ball in k dimensions over the volume of the residual
    // box, times the candidates: the expected chance count below error 1.
    const double k = static_cast<double>(gris.size());
    double perunit = std::pow(pi64, k / 2) / std::tgamma(k / 2 + 1) * static_cast<double>(candidates);
    for (std::size_t g = 0; g < gris.size(); ++g) perunit /= std::sqrt(weights[g]) * interval(gris[g]);
    const double limit = std::pow(chancematches / perunit, 2 / k);
    return std::isfinite(limit) ? std::clamp(limit, 0.0, 1.0) : (perunit > 0 ? 0.0 : 1.0);
}

// The best and second-best fitting candidates and those nearest the start.
struct Search {
    double best = std::numeric_limits<double>::infinity();
    double second = std::numeric_limits<double>::infinity();
    double bestoffset = 0;
    double secondoffset = std::numeric_limits<double>::quiet_NaN();
    double nearest = std::numeric_limits<double>::quiet_NaN();
    double next = std::numeric_limits<double>::quiet_NaN();
    std::int64_t below = 0;    // candidates under the match limit
    std::int64_t fitting = 0;  // candidates under error 1
};

// A candidate with an error sum below 1.
void consider(Search& s, double err, double offset, double limit) {
    if (err < s.best) {
        s.second = s.best;
        s.secondoffset = s.fitting > 0 ? s.bestoffset : s.secondoffset;
        s.best = err;
        s.bestoffset = offset;
    } else if (err < s.second) {
        s.second = err;
        s.secondoffset = offset;
    }
    if (err < limit) s.below += 1;
    s.fitting += 1;
    if (std::isnan(s.nearest) || std::fabs(offset) < std::fabs(s.nearest)) {
        s.next = s.nearest;
        s.nearest = offset;
    } else if (std::isnan(s.next) || std::fabs(offset) < std::fabs(s.next)) {
        s.next = offset;
    }
}

// One measured entry after the first as the search steps through the
// candidates: its phase residual in intervals, -0.5 .. 0.5, moved on by a
// fixed fraction per candidate (an addition and a wrap instead of a division
// and a floor; the drift over 2 x 10^6 steps stays near 10^-10 intervals).
struct Stepper {
    double x = 0;       // residual at the current candidate, intervals
    double step = 0;    // change per candidate, 0 .. 1 intervals
    double scale = 0;   // weight x interval: weighted residual per interval
};

std::vector<Stepper> steppers(const TaiSync& sync, const std::vector<SyncStation>& refs, std::int64_t firstn,
                              double p0, double d0) {
    std::vector<Stepper> out;
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    for (std::size_t t = 1; t < count; ++t) {
        const TaiSyncEntry& e = sync.entries[t];
        if (!e.measured) continue;
        const double p = interval(refs[t].gri);
        const double x = (static_cast<double>(e.expectedphase) - e.measuredphase -
                          (static_cast<double>(firstn) * p0 + d0)) / p;
        const double d = p0 / p;
        out.push_back({x - std::floor(x + 0.5), d - std::floor(d), static_cast<double>(refs[t].value) * p});
    }
    return out;
}

// The stepper that rules most candidates out on its own: the largest weight
// among those that move; steps.size() when none does.
std::size_t leadstepper(const std::vector<Stepper>& steps) {
    std::size_t lead = steps.size();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Stepper& st = steps[i];
        if (!(st.step > 1e-9 && st.step < 1 - 1e-9) || !(std::fabs(st.scale) > 2) || !std::isfinite(st.scale))
            continue;
        if (lead == steps.size() || std::fabs(st.scale) > std::fabs(steps[lead].scale)) lead = i;
    }
    return lead;
}

// Candidates from the current one to the next (at least 1) at which the
// stepper's weighted residual alone is within 1 (a hair wider, so that
// rounding loses none); more than `limit` when none comes within it.
std::int64_t stepstonext(const Stepper& st, std::int64_t limit) {
    const double window = 2 * 1.001 / std::fabs(st.scale);  // width of |scale x| < 1, intervals
    // A step above half an interval is a smaller one the other way: the
    // residual mirrored then falls by 1 - step.
    const bool mirrored = st.step > 0.5;
    const double step = mirrored ? 1 - st.step : st.step;
    const double x = mirrored ? -st.x : st.x;
    // v: the residual one step on, shifted so that the window is [0, window).
    double v = x - step + window / 2;
    v -= std::floor(v);
    std::int64_t m = 1;
    while (m <= limit && !(v < window)) {
        const double k = std::max(1.0, std::ceil((v - window) / step));
        if (!(k < static_cast<double>(limit))) return limit + 1;
        m += static_cast<std::int64_t>(k);
        v -= k * step;
        if (v < 0) v += 1;
    }
    return m;
}

// Every candidate n x p0 + d0 for n = -nsteps .. nsteps: a match when exactly
// one lies below the match limit, else a guess at the fitting candidate
// nearest the start time (d0 when none fits). The search steps from one
// candidate to the next whose leading residual can fit; only candidates whose
// stepped error sum is below 1 have it worked out exactly.
void searchcandidates(const TaiSync& sync, const std::vector<SyncStation>& refs, std::int64_t nsteps, double p0,
                      double d0, TaiResult& result) {
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    result.matchlimit = matchlimit(sync, refs, 2 * nsteps + 1);
    std::vector<Stepper> steps = steppers(sync, refs, -nsteps, p0, d0);
    const std::size_t lead = leadstepper(steps);
    Search s;
    for (std::int64_t n = -nsteps; n <= nsteps;) {
        double err = 0;
        for (const Stepper& st : steps) {
            const double weighted = st.scale * st.x;
            err += weighted * weighted;
        }
        const double offset = static_cast<double>(n) * p0 + d0;
        if (err < 1) consider(s, errorsum(sync, refs, count, offset), offset, result.matchlimit);
        const std::int64_t m = lead < steps.size() ? stepstonext(steps[lead], nsteps - n + 1) : 1;
        for (Stepper& st : steps) {
            st.x -= static_cast<double>(m) * st.step;
            st.x -= std::floor(st.x + 0.5);
        }
        n += m;
    }
    result.candidates = 2 * nsteps + 1;
    result.fitting = s.fitting;
    result.match = s.below == 1 && s.best < result.matchlimit;
    result.offset = result.match ? s.bestoffset : std::isnan(s.nearest) ? d0 : s.nearest;
    result.best = errorsum(sync, refs, count, result.offset);
    result.runnerup = s.secondoffset;
    result.nearest = s.nearest;
    result.next = s.next;
}

}  // namespace

TaiResult matchoffsets(TaiSync& sync, const std::vector<SyncStation>& refs, double startepoch,
                       float searchrange) {
    TaiResult result;
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    setphases(sync, refs, startepoch, result);
    const std::int64_t common = commonperiodunits(measuredgris(sync, refs), maxcommonperiodunits);
    result.commonperiod = static_cast<double>(common) / static_cast<double>(tenuspersecond);
    if (count == 0 || !sync.entries[0].measured) return result;  // a guess with offset 0

    const double p0 = interval(refs[0].gri);
    double d0 = static_cast<double>(sync.entries[0].expectedphase) - sync.entries[0].measuredphase;
    if (d0 > p0 / 2) d0 -= p0;
    if (d0 < -p0 / 2) d0 += p0;

    const std::int64_t nsteps =
        std::clamp<std::int64_t>(toint64(static_cast<double>(searchrange) / p0), 0, maxsearchsteps);
    searchcandidates(sync, refs, nsteps, p0, d0, result);
    if (nsteps > 0 && result.commonperiod < ambiguouscommonperiod) {
        // Candidates a common period apart fit equally well: no measurement
        // can tell them apart.
        result.match = false;
        result.offset = d0;
        result.best = errorsum(sync, refs, count, d0);
        result.ambiguity = static_cast<double>(common) / 100;
    }
    for (std::size_t t = 0; t < count; ++t)
        if (sync.entries[t].measured)
            result.references[t].residual = -residual(sync.entries[t], refs[t].gri, result.offset);
    return result;
}

std::string guessline(const TaiResult& result) {
    if (result.match || result.ambiguity > 0 || result.candidates == 0) return "";
    char text[160];
    if (result.fitting == 0)
        return "sync: no candidate within the search range fits; the time is a guess";
    if (result.fitting == 1 || std::isnan(result.next))
        std::snprintf(text, sizeof text, "sync: 1 candidate within the search range, at %+.2f s; the time is a guess",
                      result.nearest);
    else
        std::snprintf(text, sizeof text,
                      "sync: %lld candidates within the search range; the nearest at %+.2f s, the next at %+.2f s; "
                      "the time is a guess",
                      static_cast<long long>(result.fitting), result.nearest, result.next);
    return text;
}

std::string ambiguityline(const TaiResult& result, const std::vector<SyncStation>& refs) {
    if (!(result.ambiguity > 0)) return "";
    std::vector<std::int32_t> gris;
    for (std::size_t t = 0; t < result.references.size() && t < refs.size(); ++t)
        if (result.references[t].measured && std::find(gris.begin(), gris.end(), refs[t].gri) == gris.end())
            gris.push_back(refs[t].gri);
    std::string list;
    for (std::size_t i = 0; i < gris.size(); ++i) {
        if (i > 0) list += i + 1 == gris.size() ? " and " : ", ";
        list += std::to_string(gris[i]);
    }
    return "sync: time ambiguous modulo " + periodtext(toint64(result.ambiguity * 100)) +
           ": references measured on GRI" + (gris.size() == 1 ? " " : "s ") + list + " only";
}

double rebasestartepoch(double startepoch, float pcblocktime, std::int64_t consumed, double sr) {
    const float d = toreal32(startepoch - 86400 * std::floor(startepoch / 86400));
    const float p = toreal32(static_cast<double>(pcblocktime) - static_cast<double>(consumed) / sr);
    double change = static_cast<double>(p) - d;
    // PC clock and start epoch on either side of midnight.
    change -= 86400 * std::nearbyint(change / 86400);
    if (!std::isfinite(change)) change = 0;
    return startepoch + change + livefilelag;
}

namespace {

// The expected delay of each reference (emission delay plus propagation) and,
// where its master was found, the spacing to the master's.
void setexpecteddelays(TaiSync& sync, const std::vector<SyncStation>& refs, const Propagation& propagation) {
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    for (std::size_t t = 0; t < count; ++t) {
        TaiSyncEntry& e = sync.entries[t];
        const long double prop = t < propagation.station.size() ? propagation.station[t] : 0.0L;
        e.expecteddelay =
            toreal32(static_cast<double>(static_cast<long double>(refs[t].emissiondelay) / 1000 + prop));
        e.spacingknown = refs[t].masterfound;
        if (e.spacingknown) {
            const long double mprop = t < propagation.master.size() ? propagation.master[t] : 0.0L;
            e.spacing = toreal32(static_cast<double>(
                static_cast<long double>(e.expecteddelay) -
                (static_cast<long double>(refs[t].masteremissiondelay) / 1000 + mprop)));
        }
    }
}

// The templates and the correlation peaks of every reference's fold.
void measurepeaks(TaiSync& sync, const std::vector<SyncStation>& refs, const TaiConfig& config, Console& console) {
    const std::size_t count = std::min(sync.entries.size(), refs.size());
    for (std::size_t t = 0; t < count; ++t) {
        buildtemplates(sync.entries[t], refs[t].gri, config.sr);
        findpeaks(sync, t, refs[t], config, console);
        if (sync.consumed == 0) sync.entries[t].measured = false;  // nothing was folded
    }
}

// The console lines of a synchronisation: the common period when verbose and
// shorter than the search range, the result at `ut`, and its ambiguity.
void reportsync(const TaiResult& result, const std::vector<SyncStation>& refs, const std::string& ut,
                const TaiConfig& config, Console& console) {
    if (config.syncverbose != 0 && result.commonperiod > 0 && result.commonperiod < config.searchrange)
        console.writeline("sync: the measured references repeat every " +
                          periodtext(toint64(result.commonperiod * static_cast<double>(tenuspersecond))) + ", within the search range of" +
                          real32text(config.searchrange) + " s");
    console.column1();
    console.writeline(taireport(result, ut));
    const std::string ambiguity = ambiguityline(result, refs);
    if (!ambiguity.empty()) console.writeline(ambiguity);
    const std::string guess = guessline(result);
    if (!guess.empty()) console.writeline(guess);
}

}  // namespace

TaiResult finishtaisync(TaiSync& sync, const std::vector<SyncStation>& refs, const Propagation& propagation,
                        ClockState& clock, const TaiConfig& config, Console& console) {
    setexpecteddelays(sync, refs, propagation);
    measurepeaks(sync, refs, config, console);
    if (config.live)
        setstartepoch(clock.timebase,
                      rebasestartepoch(clock.timebase.startepoch, clock.pcblocktime, sync.consumed, config.sr), true);
    const TaiResult result = matchoffsets(sync, refs, clock.timebase.startepoch, config.searchrange);
    takesynchronisation(clock.timebase, result.offset, result.match);
    reportsync(result, refs, uttext(clock.timebase.sampleepoch, clock.leapsecs, config.clockoffset), config, console);
    release(sync);
    return result;
}

std::string uttext(double epoch, std::int32_t leapsecs, float clockoffset) {
    const double u = (utctime(epoch, leapsecs) - static_cast<double>(clockoffset)) / 86400;
    double fraction = u - std::floor(u);
    if (!std::isfinite(fraction)) fraction = 0;
    const double hours = std::floor(24 * fraction);
    const double afterhours = 24 * fraction - hours;
    const double minutes = std::floor(afterhours * 60);
    const float seconds = static_cast<float>((afterhours * 60 - minutes) * 60);
    const std::int64_t ms = toint64(1000.0f * seconds);
    // Milliseconds that round up to a whole minute carry into minutes and hours.
    const std::int64_t total = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(hours) * 3600000 + static_cast<std::int64_t>(minutes) * 60000 + ms, 0,
        86400000);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(total / 3600000),
                  static_cast<long long>(total / 60000 % 60), static_cast<long long>(total / 1000 % 60),
                  static_cast<long long>(total % 1000));
    return text;
}

std::string taireport(const TaiResult& result, const std::string& ut) {
    return std::string(result.match ? "TAI match" : "TAI guess") +
           picture(" at ####.## s offset, rel. error ##.## rms, ", {result.offset, std::sqrt(result.best)}) +
           " " + ut + " UT";
}

}  // namespace corvane
