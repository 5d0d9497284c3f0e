// TAI synchronisation: finds the program-scale time of sample time 0 from the
// signals of the reference stations of the [taisync] list.
//
// Raw samples are folded over each reference station's phase code interval
// (two GRIs); the pulse groups are located in the folds (letter "A": the
// strongest fold sample; other letters: correlation with the master and
// secondary phase-coded pulse patterns); their positions are compared with
// emission delay plus propagation time, and the whole-interval ambiguity is
// resolved by a search over candidate offsets for the smallest weighted sum
// of squared residuals.
//
// Times are seconds; fold slot s of an entry lies s / sr after the start of
// its interval. Sample time 0 of the period is slot 0 of the first fold.
#pragma once

#include <cstdint>
#include <limits>
#include <functional>
#include <string>
#include <vector>

namespace corvane {

class Console;
struct ClockState;
struct SampleBuffer;
struct SyncStation;

// What the synchronisation reads of the settings.
struct TaiConfig {
    double integrationtime = 0;        // s of samples folded; 0 or less: off
    float searchrange = 3700;          // s searched either side of the start time
    std::int16_t syncverbose = 0;      // 1: a line per peak found
    std::int16_t remove8000frompps = 0;  // GRI 50000 "A": cancel the 8000 neighbours
    double bandcenter = 0;             // Hz; not 0: each fold is shifted to its carrier
    double sr = 22050;                 // nominal sample rate, Hz
    bool live = true;                  // live mode: the start epoch is re-based on the PC clock
    float clockoffset = 0;             // s, known error of the PC clock (for the UT shown)
};

struct TaiSyncEntry {
    double carrieroffset = 0;         // Hz, set once at start-up
    std::int32_t segstart = 0;        // slice of the fold arrays: segstart .. segend - 1
    std::int32_t segend = 0;
    std::int32_t foldindex = 0;       // next slot to add to
    std::int32_t foldstart = 0;       // buffer index at which folding resumes
    double pcitime = 0;               // nominal end of the current fold cycle, s
    std::int32_t pcicount = 0;        // completed fold cycles
    std::int32_t templatepos[2][18] = {};  // pulse offsets, samples: 0 master, 1 secondary
    std::int16_t templatesign[2][18] = {};
    float peaktime[4] = {};           // s: 0 master-type, 1..3 secondary-type; kept between runs
    float expecteddelay = 0;          // s: emission delay + propagation time
    float expectedphase = 0;          // s, within the interval, relative to startepoch
    float measuredphase = 0;          // s, the peak used for matching
    std::int32_t peakindex = 0;       // peaktime slot used: 0 master-type, 1..3 secondary-type
    float peakpower[4] = {};          // correlation (or fold power for "A") of each peaktime slot
    float noise = 0;                  // median correlation of the letter's type over the fold
    float spacing = 0;                // s: predicted distance of a secondary from its master, mod the interval
    bool spacingknown = false;        // the chain's master is in the table
    bool found = false;               // a peak of the letter's type was found
    bool measured = false;            // found, and it stands clear of the noise (received)
};

struct TaiSync {
    std::vector<TaiSyncEntry> entries;   // one per TAI reference entry; 0 is the reference
    // Work arrays of one synchronisation, empty between runs.
    std::vector<std::int64_t> foldre, foldim;         // all slices back to back
    std::vector<float> mastercorr, secondarycorr;     // largest non-"A" slice
    std::int64_t consumed = 0;        // samples gathered in this run
};

// What the synchronisation found for one reference entry.
struct TaiReferenceResult {
    bool measured = false;            // received: used in the match
    float amplitude = 0;              // peak correlation amplitude per fold cycle (as the verbose lines)
    float noise = 0;                  // median correlation amplitude per fold cycle
    double residual = 0;              // s, measured less expected phase at the offset reported
};

// Propagation times of the reference entries (s), in list order: of each
// station and of its chain's master (0 where the master is not in the table).
struct Propagation {
    std::vector<long double> station;
    std::vector<long double> master;
};

struct TaiResult {
    bool match = false;
    double offset = 0;                // s, sampleepoch - startepoch
    double best = 1000000;            // weighted error sum of the offset reported
    std::int64_t candidates = 0;      // candidates tried
    std::int64_t fitting = 0;         // candidates with an error sum below 1
    double runnerup = std::numeric_limits<double>::quiet_NaN();  // s, the second-best fitting candidate; NaN when none
    double nearest = std::numeric_limits<double>::quiet_NaN();  // s, fitting candidate nearest the start time; NaN when none
    double next = std::numeric_limits<double>::quiet_NaN();  // s, the fitting candidate next nearest it; NaN when none
    double matchlimit = 0;            // error sum below which a candidate counts as a match
    double commonperiod = 0;          // s, after which the measured references repeat; 0 none measured
    double ambiguity = 0;             // ms: the time is known only modulo this; 0 when resolved
    std::vector<TaiReferenceResult> references;  // one per entry
};

// A common period shorter than this cannot be resolved: the result is a guess.
inline constexpr double ambiguouscommonperiod = 60;  // s
// Common periods are worked out up to this many 10 us units (10^7 s).
inline constexpr std::int64_t maxcommonperiodunits = 1000000000000;
// A peak counts as received when its correlation power is at least this
// many times the median correlation power over its fold (amplitude 8 times).
// Gaussian noise alone stays below amplitude 5 times its median in folds of
// up to 10^4 slots (chance 10^-3); other chains' pulses folded on a foreign
// interval reached 7.1 on a real recording, a weak real station 10.
inline constexpr float receivedratio = 64;

// Candidate steps of the search are capped at this many intervals each way.
inline constexpr std::int32_t maxsearchsteps = 1000000;
// A candidate is a match when it is the only one whose error sum is so small
// that chance coincidences (uniform residuals) would give one as small in the
// whole search range no more often than this, on average per search.
inline constexpr double chancematches = 0.01;

// Once at start-up: one entry per reference, with its carrier offset.
void computecarrieroffsets(TaiSync& sync, const std::vector<SyncStation>& refs, double bandcenter);

// The steps of a synchronisation, which run control calls in order:
// starttaisync, gathersamples (reading blocks through the sample reader),
// finishtaisync.

// Slices, fold state and work arrays, and the notice. False when off.
bool starttaisync(TaiSync& sync, const std::vector<SyncStation>& refs, const SampleBuffer& buffer,
                  const TaiConfig& config, Console& console);
// Reads blocks through readnext (false: no more data) while bufend is below
// integrationtime and folds each one.
void gathersamples(TaiSync& sync, const std::vector<SyncStation>& refs, const SampleBuffer& buffer,
                   const TaiConfig& config, const std::function<bool()>& readnext);
// Folds the newest block into every entry's slice.
void foldblock(TaiSync& sync, const std::vector<SyncStation>& refs, const SampleBuffer& buffer,
               double sr, double bandcenter);
// Pulse offsets (samples) and signs of the master and secondary patterns.
void buildtemplates(TaiSyncEntry& entry, std::int32_t gri, double sr);
// Peak search of entry t: peaktime slots, `measured`, verbose lines.
void findpeaks(TaiSync& sync, std::size_t t, const SyncStation& ref, const TaiConfig& config, Console& console);
// Expected and measured phases and the candidate search over the whole
// range: a match when exactly one candidate lies below `matchlimit`, else a
// guess at the fitting candidate nearest the start time (the first entry's
// own offset when none fits). When the measured
// references repeat within ambiguouscommonperiod and more than n = 0 is
// searched (searchrange at least half the first entry's interval), the result
// is a guess at the first entry's own offset with `ambiguity` set.
TaiResult matchoffsets(TaiSync& sync, const std::vector<SyncStation>& refs, double startepoch,
                       float searchrange);
// Least common multiple of the phase code intervals of the GRIs, in units of
// 10 us (2 x GRI each), saturated at cap; 0 for no GRI.
std::int64_t commonperiodunits(const std::vector<std::int32_t>& gris, std::int64_t cap);
// "sync: time ambiguous modulo 134.62 ms: references measured on GRI 6731 only";
// empty when the result is not ambiguous.
std::string ambiguityline(const TaiResult& result, const std::vector<SyncStation>& refs);
// "sync: 9 candidates within the search range; the nearest at -0.25 s, the
// next at +451.30 s; the time is a guess"; empty for a match or an ambiguity.
std::string guessline(const TaiResult& result);
// A period given in units of 10 us as text: "134.62 ms" below 1 s, else "1009.5 s".
std::string periodtext(std::int64_t units);
// Templates, peaks, live re-base, matching, report, sampleepoch, release of
// the work arrays. propagation holds each entry's propagation time, s, and
// masterpropagation that of its chain's master (0 where not in the table).
// Returns the result (also for the measurement log).
TaiResult finishtaisync(TaiSync& sync, const std::vector<SyncStation>& refs, const Propagation& propagation,
                        ClockState& clock, const TaiConfig& config, Console& console);

// Live mode: the start epoch moved onto the PC clock time of sample time 0
// (pcblocktime of the buffer end less the samples gathered); the day part is
// kept, the change wrapped into -43200 .. 43200 s.
double rebasestartepoch(double startepoch, float pcblocktime, std::int64_t consumed, double sr);
// "hh:mm:ss.mmm" UT of a program-scale time; the end of the day is 24:00:00.000.
std::string uttext(double epoch, std::int32_t leapsecs, float clockoffset);
// The result line without its cursor move.
std::string taireport(const TaiResult& result, const std::string& ut);

}  // namespace corvane
