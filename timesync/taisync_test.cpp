#include "timesync/taisync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "platform/testing.h"
#include "stations/stationtable.h"

namespace corvane {
namespace {

SyncStation ref(std::int32_t gri, const std::string& letter, float value = 100, float emissiondelay = 0) {
    SyncStation s;
    s.gri = gri;
    s.letter = letter;
    s.value = value;
    s.emissiondelay = emissiondelay;
    return s;
}

// Feeds a sample sequence into the buffer block by block as the reader does:
// overlap carried over, time stamps advanced by blocksamples / sr.
struct Stream {
    std::vector<std::int16_t> re, im;
    std::size_t position = 0;
    SampleBuffer buffer;

    Stream(std::int32_t overlap, std::int32_t blocklen) {
        buffer.overlap = overlap;
        buffer.blocklen = blocklen;
        buffer.samplere.assign(static_cast<std::size_t>(overlap + blocklen), 0);
        buffer.sampleim.assign(static_cast<std::size_t>(overlap + blocklen), 0);
        buffer.bufstart = -overlap / 1.0;  // set properly by restart
    }
    void restart(double sr) {
        buffer.bufstart = -buffer.overlap / sr;
        buffer.bufend = 0;
        buffer.blocksamples = 0;
    }
    bool read(double sr) {
        if (position >= re.size()) return false;
        const std::int32_t n = buffer.blocksamples;
        if (n >= 1)
            for (std::int32_t i = 0; i < buffer.overlap; ++i) {
                buffer.samplere[static_cast<std::size_t>(i)] = buffer.samplere[static_cast<std::size_t>(n + i)];
                buffer.sampleim[static_cast<std::size_t>(i)] = buffer.sampleim[static_cast<std::size_t>(n + i)];
            }
        std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(buffer.blocklen), re.size() - position);
        for (std::size_t j = 0; j < count; ++j) {
            buffer.samplere[static_cast<std::size_t>(buffer.overlap) + j] = re[position + j];
            buffer.sampleim[static_cast<std::size_t>(buffer.overlap) + j] = im[position + j];
        }
        position += count;
        buffer.blocksamples = static_cast<std::int32_t>(count);
        buffer.bufstart = buffer.bufend - buffer.overlap / sr;
        buffer.bufend = buffer.bufstart + (buffer.blocksamples + buffer.overlap) / sr;
        return true;
    }
};

TaiConfig syncsettings(double sr, double integrationtime) {
    TaiConfig s;
    s.sr = sr;
    s.integrationtime = integrationtime;
    s.live = false;
    return s;
}

// Start, gathering and finish as the run does them, on a stream.
void synchronise(TaiSync& sync, const std::vector<SyncStation>& refs, Stream& stream, const TaiConfig& settings,
                 ClockState& clock, Console& console, const std::vector<long double>& propagation = {}) {
    computecarrieroffsets(sync, refs, settings.bandcenter);
    stream.restart(settings.sr);
    if (!starttaisync(sync, refs, stream.buffer, settings, console)) return;
    gathersamples(sync, refs, stream.buffer, settings, [&] { return stream.read(settings.sr); });
    finishtaisync(sync, refs, {propagation, {}}, clock, settings, console);
}

TEST(CarrierOffsets, MultipleOfTheGriRateNearestTheBandCentre) {
    TaiSync sync;
    std::vector<SyncStation> refs = {ref(7499, "M"), ref(6731, "X")};
    computecarrieroffsets(sync, refs, 0);
    ASSERT_EQ(sync.entries.size(), 2u);
    EXPECT_EQ(sync.entries[0].carrieroffset, 0);
    computecarrieroffsets(sync, refs, 12000);
    // K = 12; 0.12 x 7499 = 899.88 rounds to 900.
    EXPECT_NEAR(sync.entries[0].carrieroffset, 900 * 100000.0 / 7499 - 12000, 1e-9);
    EXPECT_NEAR(sync.entries[0].carrieroffset, 1.60021, 1e-5);
    // 0.12 x 6731 = 807.72 rounds to 808.
    EXPECT_NEAR(sync.entries[1].carrieroffset, 808 * 100000.0 / 6731 - 12000, 1e-9);
    computecarrieroffsets(sync, refs, -3000);
    EXPECT_NEAR(sync.entries[1].carrieroffset, -202 * 100000.0 / 6731 + 3000, 1e-9);
}

// Impulses at the sample nearest every cycle's nominal start must all land in
// slot 0: no cycle may start a sample late, whatever the block boundaries.
TEST(Gathering, EveryCycleStartsWithTheSampleNearestItsNominalStart) {
    const double sr = 12000;
    std::vector<SyncStation> refs = {ref(6731, "M"), ref(7499, "X")};
    for (std::int32_t blocklen : {1000, 4096, 777}) {
        Stream stream(256, blocklen);
        const std::size_t total = 60000;
        stream.re.assign(total, 0);
        stream.im.assign(total, 0);
        for (std::int32_t c = 0;; ++c) {
            double start = std::nearbyint(c * 0.13462 * sr);
            if (start >= total) break;
            stream.re[static_cast<std::size_t>(start)] += 100;
        }
        for (std::int32_t c = 0;; ++c) {
            double start = std::nearbyint(c * 0.14998 * sr);
            if (start >= total) break;
            stream.im[static_cast<std::size_t>(start)] += 7;
        }
        TaiSync sync;
        testing::FakeConsole console;
        TaiConfig settings = syncsettings(sr, 4.5);
        computecarrieroffsets(sync, refs, 0);
        stream.restart(sr);
        ASSERT_TRUE(starttaisync(sync, refs, stream.buffer, settings, console));
        gathersamples(sync, refs, stream.buffer, settings, [&] { return stream.read(sr); });
        for (std::size_t t = 0; t < 2; ++t) {
            const TaiSyncEntry& e = sync.entries[t];
            const auto& acc = t == 0 ? sync.foldre : sync.foldim;
            const std::int64_t height = t == 0 ? 100 : 7;
            // Cycles completed plus the one in progress.
            EXPECT_EQ(acc[static_cast<std::size_t>(e.segstart)], height * (e.pcicount + 1)) << blocklen;
            // A slice one sample longer than the interval sees some starts
            // twice, as its last slot too; nothing lands in between.
            for (std::int32_t s = e.segstart + 1; s < e.segend - 1; ++s)
                ASSERT_EQ(acc[static_cast<std::size_t>(s)], 0) << "slot " << s - e.segstart << " block " << blocklen;
        }
        EXPECT_GE(sync.entries[0].pcicount, 33);
    }
}

TEST(Gathering, CarrierRotationStaysInPhaseAcrossBlocks) {
    const double sr = 12000;
    std::vector<SyncStation> refs = {ref(7499, "M")};
    TaiConfig settings = syncsettings(sr, 2);
    settings.bandcenter = 12345;  // carrier offset 12001.6 - 12345 = -343.4 Hz
    TaiSync sync;
    computecarrieroffsets(sync, refs, settings.bandcenter);
    const double f = sync.entries[0].carrieroffset;
    ASSERT_NEAR(f, -343.4, 0.1);
    Stream stream(256, 1000);
    for (std::size_t n = 0; n < 30000; ++n) {
        double a = 2 * std::numbers::pi * f * static_cast<double>(n) / sr;
        stream.re.push_back(static_cast<std::int16_t>(std::lrint(8000 * std::cos(a))));
        stream.im.push_back(static_cast<std::int16_t>(std::lrint(8000 * std::sin(a))));
    }
    testing::FakeConsole console;
    stream.restart(sr);
    ASSERT_TRUE(starttaisync(sync, refs, stream.buffer, settings, console));
    gathersamples(sync, refs, stream.buffer, settings, [&] { return stream.read(sr); });
    // Rotated down to a steady carrier: in-phase large, quadrature small.
    double sumre = 0, sumabsim = 0;
    for (std::int32_t s = 0; s < sync.entries[0].segend; ++s) {
        sumre += static_cast<double>(sync.foldre[static_cast<std::size_t>(s)]);
        sumabsim += std::fabs(static_cast<double>(sync.foldim[static_cast<std::size_t>(s)]));
    }
    EXPECT_GT(sumre, 0.97 * 8000 * 24000);
    EXPECT_LT(sumabsim, 0.1 * sumre);
}

TEST(Gathering, EndOfDataStopsTheGatheringAndFinishesAsAGuessWhenNothingWasFolded) {
    std::vector<SyncStation> refs = {ref(6731, "M")};
    Stream stream(256, 1000);  // no samples at all
    TaiSync sync;
    ClockState clock;
    clock.timebase.startepoch = 2000000000.0;
    testing::FakeConsole console;
    synchronise(sync, refs, stream, syncsettings(12000, 10), clock, console);
    EXPECT_EQ(console.transcript.find("\nsync: averaging for 10sec {col1}{col1}TAI guess at    0.00 s offset, "
                                      "rel. error %1000.00 rms, "),
              0u)
        << console.transcript;
    EXPECT_EQ(clock.timebase.sampleepoch, clock.timebase.startepoch);
    EXPECT_TRUE(sync.foldre.empty());
    EXPECT_TRUE(sync.mastercorr.empty());
}

TEST(Templates, MasterAndSecondaryPatterns) {
    TaiSyncEntry e;
    buildtemplates(e, 6731, 12000);
    // j ms for the first eight, 9 ms for the master's ninth, one GRI later again.
    const std::int32_t master[18] = {0, 12, 24, 36, 48, 60, 72, 84, 108,
                                     808, 820, 832, 844, 856, 868, 880, 892, 916};
    const int mastersigns[18] = {1, 1, -1, -1, 1, -1, 1, -1, 1, 1, -1, -1, 1, 1, 1, 1, 1, -1};
    const int secondarysigns[16] = {1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1, 1, -1, -1};
    for (int j = 0; j < 18; ++j) {
        EXPECT_EQ(e.templatepos[0][j], master[j]) << j;
        EXPECT_EQ(e.templatesign[0][j], mastersigns[j]) << j;
    }
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(e.templatepos[1][j], master[j < 8 ? j : j + 1]) << j;
        EXPECT_EQ(e.templatesign[1][j], secondarysigns[j]) << j;
    }
}

// A one-entry synchronisation state with a zero fold of one interval.
struct Fold {
    TaiSync sync;
    std::vector<SyncStation> refs;
    TaiConfig settings = syncsettings(12000, 1);
    testing::FakeConsole console;
    explicit Fold(SyncStation r) : refs{r} {
        computecarrieroffsets(sync, refs, 0);
        SampleBuffer buffer;
        buffer.overlap = 256;
        testing::FakeConsole quiet;
        starttaisync(sync, refs, buffer, settings, quiet);
        sync.entries[0].pcicount = 1;
        buildtemplates(sync.entries[0], r.gri, settings.sr);
    }
    std::int32_t len() const { return sync.entries[0].segend; }
    void pattern(int p, std::int32_t at, std::int64_t height) {
        const TaiSyncEntry& e = sync.entries[0];
        for (int j = 0; j < (p == 0 ? 18 : 16); ++j) {
            auto x = static_cast<std::size_t>((at + e.templatepos[p][j]) % len());
            sync.foldre[x] += e.templatesign[p][j] * height;
            sync.foldim[x] -= e.templatesign[p][j] * height / 2;
        }
    }
};

TEST(PeakSearch, MasterStationUsesItsMasterPeakSecondaryItsStrongestSecondary) {
    Fold m(ref(6731, "M"));
    m.pattern(1, 600, 300);  // a secondary of the same chain, stronger per pulse
    m.pattern(0, 200, 200);
    m.settings.syncverbose = 1;
    findpeaks(m.sync, 0, m.refs[0], m.settings, m.console);
    EXPECT_TRUE(m.sync.entries[0].measured);
    EXPECT_FLOAT_EQ(m.sync.entries[0].peaktime[0], 200 / 12000.0f);
    EXPECT_FLOAT_EQ(m.sync.entries[0].peaktime[1], 600 / 12000.0f);
    // 16 x 300 in-phase, 16 x 150 quadrature: sqrt(|.|^2 / 256) = 335.41
    EXPECT_EQ(m.console.transcript.substr(0, m.console.transcript.find('\n')), "S 6731 max 335.4102at 50ms");

    Fold x(ref(6731, "X"));
    x.pattern(1, 600, 300);
    x.pattern(0, 200, 400);
    findpeaks(x.sync, 0, x.refs[0], x.settings, x.console);
    EXPECT_TRUE(x.sync.entries[0].measured);
    EXPECT_FLOAT_EQ(x.sync.entries[0].peaktime[1], 600 / 12000.0f);
    EXPECT_EQ(x.console.transcript, "");  // quiet without syncverbose
}

TEST(PeakSearch, ClearingKeepsTheRepeatOneGriLaterFromBeingFoundAgain) {
    Fold m(ref(6731, "M"));
    m.pattern(0, 300, 1000);
    findpeaks(m.sync, 0, m.refs[0], m.settings, m.console);
    EXPECT_FLOAT_EQ(m.sync.entries[0].peaktime[0], 300 / 12000.0f);
    // Half the pattern matches again one GRI (808 slots) later; that group
    // must not come back as a secondary-type peak.
    for (int k = 1; k < 4; ++k) {
        const int slot = static_cast<int>(std::lrint(m.sync.entries[0].peaktime[k] * 12000));
        EXPECT_GT(std::abs(slot - 1108), 108) << k;
        EXPECT_GT(std::abs(slot - 300), 108) << k;
    }
}

TEST(PeakSearch, MissingPeakIsReportedAndLeavesTheEntryUnmeasured) {
    Fold m(ref(9990, "M"));
    m.sync.entries[0].peaktime[0] = 0.05f;  // from an earlier run
    // Four secondary-type groups and no master group: all four passes find
    // secondary-type peaks.
    m.pattern(1, 0, 400);
    m.pattern(1, 300, 380);
    m.pattern(1, 600, 360);
    m.pattern(1, 900, 340);
    m.settings.syncverbose = 1;
    findpeaks(m.sync, 0, m.refs[0], m.settings, m.console);
    EXPECT_FALSE(m.sync.entries[0].measured);
    EXPECT_FLOAT_EQ(m.sync.entries[0].peaktime[0], 0.05f);
    EXPECT_FLOAT_EQ(m.sync.entries[0].peaktime[3], 600 / 12000.0f);
    EXPECT_NE(m.console.transcript.find(" 9990 M no master peak found, left out of the match\n"), std::string::npos)
        << m.console.transcript;

    Fold empty(ref(6731, "X"));
    findpeaks(empty.sync, 0, empty.refs[0], empty.settings, empty.console);
    EXPECT_FALSE(empty.sync.entries[0].measured);
}

// Gaussian noise of RMS sigma per fold slot (a fixed generator, so the test
// is the same every run).
void addnoise(Fold& f, double sigma, std::uint32_t seed) {
    std::uint64_t state = seed;
    auto uniform = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    };
    for (std::size_t i = 0; i < f.sync.foldre.size(); ++i) {
        const double r = sigma * std::sqrt(-2 * std::log(uniform()));
        const double a = 2 * std::numbers::pi * uniform();
        f.sync.foldre[i] += std::llround(r * std::cos(a));
        f.sync.foldim[i] += std::llround(r * std::sin(a));
    }
}

// 6731 Y seen with its master and with Sylt's stronger Z: the table predicts
// Y 200 slots (16.67 ms) after the master.
TEST(PeakSearch, SecondaryTakesThePeakTheTablePredicts) {
    SyncStation y = ref(6731, "Y");
    Fold f(y);
    f.pattern(0, 100, 300);   // master
    f.pattern(1, 300, 200);   // Y, the weaker secondary
    f.pattern(1, 700, 500);   // Z
    TaiSyncEntry& e = f.sync.entries[0];
    e.spacingknown = true;
    e.spacing = 200 / 12000.0f + 0.0004f;  // a prediction a few samples off still picks Y
    findpeaks(f.sync, 0, f.refs[0], f.settings, f.console);
    EXPECT_TRUE(e.measured);
    EXPECT_FLOAT_EQ(e.peaktime[e.peakindex], 300 / 12000.0f);
    // The prediction wraps round the interval: Y before its master.
    e.spacing = 200 / 12000.0f - static_cast<float>(f.len()) / 12000.0f;
    findpeaks(f.sync, 0, f.refs[0], f.settings, f.console);
    EXPECT_FLOAT_EQ(e.peaktime[e.peakindex], 300 / 12000.0f);
    // Without the master in the table: the strongest, Z.
    e.spacingknown = false;
    findpeaks(f.sync, 0, f.refs[0], f.settings, f.console);
    EXPECT_FLOAT_EQ(e.peaktime[e.peakindex], 700 / 12000.0f);

    // Without a master-type peak standing clear of the noise: the strongest too.
    Fold g(y);
    addnoise(g, 100, 5);
    g.pattern(1, 300, 300);
    g.pattern(1, 700, 500);
    g.sync.entries[0].spacingknown = true;
    g.sync.entries[0].spacing = 200 / 12000.0f;
    findpeaks(g.sync, 0, g.refs[0], g.settings, g.console);
    EXPECT_FLOAT_EQ(g.sync.entries[0].peaktime[g.sync.entries[0].peakindex], 700 / 12000.0f);
}

// Noise alone never counts as a station, whatever the seed; a group whose
// correlation amplitude is about 10 times the noise median (as Anthorn's
// after 10 s of folding on the real recording) is kept.
TEST(PeakSearch, ReceivedOnlyWhenThePeakStandsClearOfTheFoldNoise) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        for (const char* letter : {"M", "X"}) {
            Fold f(ref(9999, letter));
            addnoise(f, 1000, seed);
            f.settings.syncverbose = 1;
            findpeaks(f.sync, 0, f.refs[0], f.settings, f.console);
            EXPECT_FALSE(f.sync.entries[0].measured) << letter << " seed " << seed;
            EXPECT_NE(f.console.transcript.find(std::string(" 9999 ") + letter), std::string::npos);
            EXPECT_NE(f.console.transcript.find(", left out of the match\n"), std::string::npos)
                << f.console.transcript;
        }
    }
    // Noise of RMS 1000 per component: the master correlation (18 slots,
    // normalised by 18^2) has a median amplitude of 1000 x sqrt(ln 2 / 9) =
    // 277.5. A group of 3000 in phase and 1500 in quadrature per pulse
    // correlates to 3000 x sqrt(1.25) = 3354, 12 times that.
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        Fold m(ref(9999, "M"));
        addnoise(m, 1000, seed);
        m.pattern(0, 500, 3000);
        findpeaks(m.sync, 0, m.refs[0], m.settings, m.console);
        EXPECT_TRUE(m.sync.entries[0].measured) << seed;
        EXPECT_FLOAT_EQ(m.sync.entries[0].peaktime[0], 500 / 12000.0f);
    }
    // "A": the fold's noise has a median amplitude of 1000 x sqrt(2 ln 2) =
    // 1177; a pulse per second of 14000 stands 12 times above it.
    Fold a(ref(50000, "A"));
    addnoise(a, 1000, 3);
    findpeaks(a.sync, 0, a.refs[0], a.settings, a.console);
    EXPECT_FALSE(a.sync.entries[0].measured);
    a.sync.foldre[4321] += 14000;
    findpeaks(a.sync, 0, a.refs[0], a.settings, a.console);
    EXPECT_TRUE(a.sync.entries[0].measured);
    EXPECT_FLOAT_EQ(a.sync.entries[0].peaktime[0], 4321 / 12000.0f);
}

TEST(PeakSearch, LetterAUsesTheStrongestSampleAndCanRemoveThe8000Pulses) {
    Fold a(ref(50000, "A"));
    ASSERT_EQ(a.len(), 12000);
    const std::int32_t m = 480;  // 40 ms
    for (std::int32_t at : {3000 - m, 3000, 3000 + m}) a.sync.foldre[static_cast<std::size_t>(at)] = 200;
    a.sync.foldre[3000] = 220;
    a.sync.foldim[7000] = 150;
    a.settings.syncverbose = 1;
    findpeaks(a.sync, 0, a.refs[0], a.settings, a.console);
    EXPECT_FLOAT_EQ(a.sync.entries[0].peaktime[0], 3000 / 12000.0f);
    EXPECT_EQ(a.console.transcript, " 50000 max 220at 250ms\n");
    a.settings.remove8000frompps = 1;
    findpeaks(a.sync, 0, a.refs[0], a.settings, a.console);
    EXPECT_FLOAT_EQ(a.sync.entries[0].peaktime[0], 7000 / 12000.0f);
}

// Entries whose measured phases agree with a sample epoch `truth` seconds
// after the start epoch.
std::vector<SyncStation> consistent(TaiSync& sync, double startepoch, double truth) {
    std::vector<SyncStation> refs = {ref(6731, "M", 1000, 10.0f), ref(7499, "M", 1000, 25.0f),
                                     ref(8000, "X", 1000, 31.5f)};
    computecarrieroffsets(sync, refs, 0);
    for (std::size_t t = 0; t < refs.size(); ++t) {
        TaiSyncEntry& e = sync.entries[t];
        e.expecteddelay = refs[t].emissiondelay / 1000 + 0.0021f * static_cast<float>(t + 1);
        double p = refs[t].gri / 50000.0;
        double x = (static_cast<double>(e.expecteddelay) - startepoch - truth) / p;
        e.peaktime[refs[t].letter == "X" ? 1 : 0] = static_cast<float>(p * (x - std::floor(x)));
        e.measured = true;
    }
    return refs;
}

// One reference, or several on one GRI, fit every candidate a phase code
// interval apart equally well: a guess at the reference's own offset with the
// ambiguity, unless only n = 0 is searched.
TEST(Matching, ReferencesOnOneGriGiveAGuessModuloTheirInterval) {
    TaiSync sync;
    std::vector<SyncStation> refs = {ref(6731, "M")};
    computecarrieroffsets(sync, refs, 0);
    sync.entries[0].expecteddelay = 0.05f;
    sync.entries[0].peaktime[0] = 0.02f;
    sync.entries[0].measured = true;
    TaiResult r = matchoffsets(sync, refs, 100, 3700);
    EXPECT_FALSE(r.match);
    EXPECT_EQ(r.best, 0);
    EXPECT_DOUBLE_EQ(r.ambiguity, 134.62);
    EXPECT_DOUBLE_EQ(r.commonperiod, 0.13462);
    // expectedphase = P x frac((0.05 - 100) / P)
    double x = (static_cast<double>(0.05f) - 100) / 0.13462;
    EXPECT_NEAR(sync.entries[0].expectedphase, 0.13462 * (x - std::floor(x)), 1e-7);
    double d0 = sync.entries[0].expectedphase - 0.02f;
    if (d0 > 0.06731) d0 -= 0.13462;
    if (d0 < -0.06731) d0 += 0.13462;
    EXPECT_DOUBLE_EQ(r.offset, d0);
    EXPECT_EQ(taireport(r, "13:05:07.123").substr(0, 59), "TAI guess at    0.05 s offset, rel. error  0.00 rms,  13:05");
    EXPECT_EQ(ambiguityline(r, refs), "sync: time ambiguous modulo 134.62 ms: references measured on GRI 6731 only");

    // The start time is said to be good to half an interval: a match.
    r = matchoffsets(sync, refs, 100, 0.06f);
    EXPECT_TRUE(r.match);
    EXPECT_EQ(r.ambiguity, 0);
    EXPECT_DOUBLE_EQ(r.offset, d0);
    EXPECT_EQ(ambiguityline(r, refs), "");

    // A secondary of the same chain agreeing 2 ms off the candidate: still a
    // guess at d0, with its residual kept.
    refs.push_back(ref(6731, "Y", 1000, 27.3f));
    computecarrieroffsets(sync, refs, 0);
    sync.entries[0].expecteddelay = 0.05f;
    sync.entries[0].peaktime[0] = 0.02f;
    sync.entries[0].measured = true;
    sync.entries[1].expecteddelay = 0.0773f;
    sync.entries[1].peaktime[1] = 0.0473f + 0.002f;
    sync.entries[1].measured = true;
    r = matchoffsets(sync, refs, 100, 3700);
    EXPECT_FALSE(r.match);
    EXPECT_DOUBLE_EQ(r.offset, d0);
    EXPECT_DOUBLE_EQ(r.ambiguity, 134.62);
    ASSERT_EQ(r.references.size(), 2u);
    EXPECT_NEAR(r.references[1].residual, 0.002, 2e-6);
    EXPECT_NEAR(std::sqrt(r.best), 2.0, 2e-3);  // 1000 x 2 ms

    // GRIs 5000 and 10000 repeat together every 200 ms.
    refs = {ref(5000, "M"), ref(10000, "M")};
    computecarrieroffsets(sync, refs, 0);
    sync.entries[0].measured = sync.entries[1].measured = true;
    r = matchoffsets(sync, refs, 100, 3700);
    EXPECT_FALSE(r.match);
    EXPECT_DOUBLE_EQ(r.ambiguity, 200);
    EXPECT_EQ(ambiguityline(r, refs), "sync: time ambiguous modulo 200.00 ms: references measured on GRIs 5000 and 10000 only");
}

TEST(Matching, CommonPeriodOfTheIntervals) {
    const std::int64_t cap = maxcommonperiodunits;
    EXPECT_EQ(commonperiodunits({}, cap), 0);
    EXPECT_EQ(commonperiodunits({6731, 6731}, cap), 13462);
    // 13462 = 2 x 53 x 127 and 14998 = 2 x 7499: 1009.51538 s.
    EXPECT_EQ(commonperiodunits({6731, 7499}, cap), 13462LL * 7499);
    EXPECT_EQ(commonperiodunits({4000, 5000, 10000}, cap), 40000);
    EXPECT_EQ(commonperiodunits({6731, 7499, 9007, 8000}, cap), cap);  // saturated, no overflow
    EXPECT_EQ(periodtext(13462), "134.62 ms");
    EXPECT_EQ(periodtext(13462LL * 7499), "1009.51538 s");
    EXPECT_EQ(periodtext(100000), "1 s");
    EXPECT_EQ(periodtext(3000050), "30.0005 s");
}

TEST(Matching, CandidateSearch) {
    TaiSync sync;
    const double start = 2121000000.0;
    // Three chains, three seconds (several intervals) off: the whole range is
    // searched, 3700 / 0.13462 = 27484.8 -> 27485 intervals each way.
    std::vector<SyncStation> refs = consistent(sync, start, 3.0);
    TaiResult r = matchoffsets(sync, refs, start, 3700);
    EXPECT_TRUE(r.match);
    EXPECT_NEAR(r.offset, 3.0, 1e-5);
    EXPECT_EQ(r.candidates, 2 * 27485 + 1);
    EXPECT_EQ(guessline(r), "");
    // A search range below half an interval tries n = 0 only: a guess.
    r = matchoffsets(sync, refs, start, 0.06f);
    EXPECT_EQ(r.candidates, 1);
    EXPECT_FALSE(r.match);
    double d0 = sync.entries[0].expectedphase - sync.entries[0].measuredphase;
    EXPECT_NEAR(r.offset, d0 - 0.13462 * std::nearbyint(d0 / 0.13462), 1e-7);
    EXPECT_EQ(guessline(r), "sync: no candidate within the search range fits; the time is a guess");
    // Agreement at n = 0 is still a match after the whole range.
    refs = consistent(sync, start, 0.01);
    r = matchoffsets(sync, refs, start, 3700);
    EXPECT_TRUE(r.match);
    EXPECT_EQ(r.candidates, 2 * 27485 + 1);
    EXPECT_NEAR(r.offset, 0.01, 1e-5);
}

// A fit counts as a match only where chance candidates fitting as well are
// rare over the range searched. 7499 and 8000 at weight 1000 spread a wrong
// candidate's weighted residuals over a 149.98 x 160 box: over 2 x 27485 + 1
// candidates pi x / 23997 x 54971 = 7.2 x chance fits below error x, so 1 %
// allows x < 0.0014; over 100 s (2 x 743 + 1 candidates) x < 0.10.
TEST(Matching, AMatchIsUniqueOverTheRangeSearched) {
    TaiSync sync;
    const double start = 2121000000.0;
    std::vector<SyncStation> refs = consistent(sync, start, 3.0);
    sync.entries[2].peaktime[1] += 0.0002f;  // 0.2 ms: error 0.04
    TaiResult r = matchoffsets(sync, refs, start, 3700);
    EXPECT_FALSE(r.match);
    EXPECT_NEAR(r.matchlimit, 0.01 * 149.98 * 160 / (3.14159265 * 54971), 1e-6);
    EXPECT_NEAR(r.offset, 3.0, 1e-5);  // still the fitting candidate nearest the start time
    EXPECT_NEAR(r.best, 0.04, 1e-3);
    EXPECT_EQ(r.nearest, r.offset);
    r = matchoffsets(sync, refs, start, 100);
    EXPECT_TRUE(r.match);
    EXPECT_NEAR(r.offset, 3.0, 1e-5);

    // Two chains (6731 and 8000) repeat every 13462 x 8000 x 10 us = 1076.96 s:
    // unique within 500 s, not within 3700 s, where the runner-up is a repeat.
    sync.entries[2].peaktime[1] -= 0.0002f;
    sync.entries[1].measured = false;
    EXPECT_TRUE(matchoffsets(sync, refs, start, 500).match);
    r = matchoffsets(sync, refs, start, 3700);
    EXPECT_FALSE(r.match);
    EXPECT_GE(r.fitting, 7);
    const double repeats = (r.runnerup - 3.0) / 1076.96;
    EXPECT_NEAR(repeats, std::nearbyint(repeats), 1e-4);
    EXPECT_NE(std::nearbyint(repeats), 0);
}

TEST(Matching, GuessLineNamesTheCandidates) {
    TaiResult r;
    r.candidates = 54971;
    r.fitting = 9;
    r.nearest = -0.25;
    r.next = 451.3;
    EXPECT_EQ(guessline(r), "sync: 9 candidates within the search range; the nearest at -0.25 s, the next at "
                            "+451.30 s; the time is a guess");
    r.fitting = 1;
    EXPECT_EQ(guessline(r), "sync: 1 candidate within the search range, at -0.25 s; the time is a guess");
    r.ambiguity = 134.62;
    EXPECT_EQ(guessline(r), "");
    r.ambiguity = 0;
    r.match = true;
    EXPECT_EQ(guessline(r), "");
}

TEST(Matching, UnmeasuredEntriesAreLeftOutAndAnUnmeasuredReferenceGivesAGuess) {
    TaiSync sync;
    const double start = 2121000000.0;
    std::vector<SyncStation> refs = consistent(sync, start, 3.0);
    sync.entries[1].peaktime[0] += 0.01f;  // stale
    sync.entries[1].measured = false;
    TaiResult r = matchoffsets(sync, refs, start, 500);
    EXPECT_TRUE(r.match);
    EXPECT_NEAR(r.offset, 3.0, 1e-5);

    sync.entries[0].measured = false;
    r = matchoffsets(sync, refs, start, 3700);
    EXPECT_FALSE(r.match);
    EXPECT_EQ(r.offset, 0);
    EXPECT_EQ(r.best, 1000000);
    EXPECT_EQ(taireport(r, "01:02:03.004"),
              "TAI guess at    0.00 s offset, rel. error %1000.00 rms,  01:02:03.004 UT");
}

TEST(Matching, HugeSearchRangeEndsAfterTheCappedStepCount) {
    TaiSync sync;
    const double start = 2121000000.0;
    std::vector<SyncStation> refs = consistent(sync, start, 3.0);
    sync.entries[1].peaktime[0] += 0.03f;  // no candidate can match within 1 us
    sync.entries[2].peaktime[1] += 0.05f;
    for (SyncStation& r : refs) r.value = 1e6f;
    for (float range : {1e30f, std::numeric_limits<float>::infinity()}) {
        TaiResult r = matchoffsets(sync, refs, start, range);
        EXPECT_FALSE(r.match);
        EXPECT_EQ(r.candidates, 2 * static_cast<std::int64_t>(maxsearchsteps) + 1);
    }
    EXPECT_EQ(matchoffsets(sync, refs, start, -50).candidates, 1);
}

TEST(UtText, TimeOfDayWithCarries) {
    const double day = 24472.0 * 86400;
    const std::int32_t leap = 5;
    auto at = [&](double seconds) { return uttext(day + seconds + 27, leap, 0); };
    EXPECT_EQ(at(13 * 3600 + 5 * 60 + 7.1234), "13:05:07.123");
    EXPECT_EQ(at(0.0004), "00:00:00.000");
    EXPECT_EQ(at(12 * 3600 + 34 * 60 + 59.9996), "12:35:00.000");
    EXPECT_EQ(at(23 * 3600 + 59 * 60 + 59.9996), "24:00:00.000");
    EXPECT_EQ(at(9 * 3600 + 59 * 60 + 59.9996), "10:00:00.000");
    EXPECT_EQ(uttext(day + 3600 + 27 + 2.5f, leap, 2.5f), "01:00:00.000");
}

TEST(Rebase, StartEpochMovesToThePcClockAcrossMidnight) {
    const double day = 24472.0 * 86400;
    // Plain case: the PC clock says 100.0 s of day at sample time 0.
    EXPECT_NEAR(rebasestartepoch(day + 90, 102.0f, 24000, 12000), day + 100.05, 1e-3);
    // Settings read before midnight, first samples after it.
    EXPECT_NEAR(rebasestartepoch(day + 86390, 7.0f, 24000, 12000), day + 86400 + 5.05, 1e-3);
    // And the other way round.
    EXPECT_NEAR(rebasestartepoch(day + 3, 86399.0f, 12000, 12000), day - 2 + 0.05, 1e-3);
}

// The synchronisation on the sample reader, live mode: the receiver hands over one
// file of samples and then a file of length 0 while the synchronisation is
// still gathering.
struct HandOverClock : testing::FakeClock {
    std::string name;
    int emptyfiles = 0;
    void sleepseconds(int seconds, Keyboard& keyboard) override {
        FakeClock::sleepseconds(seconds, keyboard);
        if (fileexists(name)) return;
        File f;
        if (f.open(name, File::Mode::create)) f.close();
        ++emptyfiles;
        if (emptyfiles > 3) throw std::runtime_error("waited past the empty file");
    }
};

struct LivePlatform : Platform {
    testing::FakeConsole fakeconsole;
    testing::FakeKeyboard fakekeyboard;
    HandOverClock fakeclock;
    testing::FakeCommandRunner fakecommands;
    LivePlatform() : Platform(fakeconsole, fakekeyboard, fakeclock, fakecommands) {}
};

struct LiveRun {
    LivePlatform platform;
    TaiConfig settings = syncsettings(12000, 10);
    InputConfig input;
    StationTable table;
    SampleReader reader;
    SampleBuffer buffer;
    ClockState clock;
    TaiSync sync;

    explicit LiveRun(double integrationtime) {
        settings.integrationtime = integrationtime;
        settings.live = true;
        input.sr = settings.sr;
        input.wavinput = 0;
        input.samplefile = testing::testfolder() + "taisync-live.dat";
        input.sleeptime = 1;
        clock.date = "12-07-2025";
        clock.time = "18:35:28";
        platform.fakeclock.name = input.samplefile;
        table.sync = {ref(6731, "M")};
        createsamplebuffer(buffer, input);
        restartbuffer(buffer, settings.sr);
    }
    void run(std::size_t samples) {
        File f;
        ASSERT_TRUE(f.open(input.samplefile, File::Mode::create));
        // A master pulse group at 40 samples into every interval.
        std::vector<std::int16_t> frames(2 * samples, 0);
        TaiSyncEntry pattern;
        buildtemplates(pattern, 6731, settings.sr);
        for (double start = 40; start < static_cast<double>(samples); start += 0.13462 * settings.sr)
            for (int j = 0; j < 18; ++j) {
                auto n = static_cast<std::size_t>(std::lrint(start)) + static_cast<std::size_t>(pattern.templatepos[0][j]);
                if (n < samples) frames[2 * n] = static_cast<std::int16_t>(3000 * pattern.templatesign[0][j]);
            }
        ASSERT_TRUE(f.write(frames.data(), frames.size() * 2));
        ASSERT_TRUE(f.close());
        std::ostringstream warnings;
        openfirstfile(reader, buffer, clock, input, platform, warnings);
        computestartepoch(clock, input.clock, true);
        computecarrieroffsets(sync, table.sync, 0);
        // As run control synchronises: blocks from the reader until the
        // data ends.
        if (!starttaisync(sync, table.sync, buffer, settings, platform.console)) return;
        gathersamples(sync, table.sync, buffer, settings, [&] {
            if (reader.bytesleft <= 0) return false;
            readblock(reader, buffer, clock, input, settings.sr, platform);
            return true;
        });
        finishtaisync(sync, table.sync, {{0.0L}, {}}, clock, settings, platform.console);
    }
    ~LiveRun() { deletefile(input.samplefile); }
};

TEST(RunTaiSync, OffWithIntegrationTimeZeroOrLess) {
    for (double it : {0.0, -5.0}) {
        LiveRun live(it);
        live.run(24000);
        EXPECT_EQ(live.platform.fakeconsole.transcript, "");
        EXPECT_EQ(live.clock.timebase.sampleepoch, 0);
        EXPECT_FALSE(live.clock.timebase.synced);
        EXPECT_EQ(live.reader.bytesleft, 96000);
    }
}

TEST(RunTaiSync, ZeroLengthLiveFileEndsTheGathering) {
    LiveRun live(10);
    live.run(24000);
    EXPECT_EQ(live.platform.fakeclock.emptyfiles, 1);
    EXPECT_EQ(live.reader.bytesleft, 0);
    EXPECT_FALSE(fileexists(live.input.samplefile));  // consumed; the main cycle then ends the run
    EXPECT_NEAR(live.buffer.bufend, 2.0, 1e-9);
    EXPECT_EQ(live.sync.consumed, 24000);
    EXPECT_NE(live.platform.fakeconsole.transcript.find(
                  "{col1}TAI guess at "),
              std::string::npos)
        << live.platform.fakeconsole.transcript;
    EXPECT_NE(live.platform.fakeconsole.transcript.find(
                  "\nsync: time ambiguous modulo 134.62 ms: references measured on GRI 6731 only\n"),
              std::string::npos);
    EXPECT_TRUE(live.clock.timebase.synced);
    EXPECT_FLOAT_EQ(live.sync.entries[0].peaktime[0], 40 / 12000.0f);
}

}  // namespace
}  // namespace corvane
