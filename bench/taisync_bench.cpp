// Gathering of the TAI synchronisation: three reference stations at 48000
// samples per second, one block of 9216 samples per iteration. The
// real-time factor is the counter "realtime" (seconds of signal per second).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "acquisition/samplereader.h"
#include "platform/testing.h"
#include "stations/stationtable.h"
#include "timesync/taisync.h"

namespace {

using namespace corvane;

void gathering(benchmark::State& state) {
    const double sr = 48000;
    TaiConfig settings;
    settings.sr = sr;
    settings.integrationtime = 1e9;
    settings.bandcenter = state.range(0) != 0 ? 12000 : 0;
    std::vector<SyncStation> refs(3);
    const std::int32_t gris[3] = {6731, 7499, 9007};
    for (int t = 0; t < 3; ++t) {
        refs[static_cast<std::size_t>(t)].gri = gris[t];
        refs[static_cast<std::size_t>(t)].letter = "M";
    }
    SampleBuffer buffer;
    buffer.overlap = 256;
    buffer.blocklen = 9216;
    buffer.samplere.resize(256 + 9216);
    buffer.sampleim.resize(256 + 9216);
    std::uint32_t noise = 1;
    for (std::size_t i = 0; i < buffer.samplere.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        buffer.samplere[i] = static_cast<std::int16_t>((noise >> 16) % 4001) - 2000;
        buffer.sampleim[i] = static_cast<std::int16_t>((noise >> 8) % 4001) - 2000;
    }
    TaiSync sync;
    computecarrieroffsets(sync, refs, settings.bandcenter);
    testing::FakeConsole console;
    buffer.bufstart = -256 / sr;
    buffer.bufend = 0;
    starttaisync(sync, refs, buffer, settings, console);
    buffer.blocksamples = 9216;
    for (auto _ : state) {
        buffer.bufstart = buffer.bufend - 256 / sr;
        buffer.bufend = buffer.bufstart + (9216 + 256) / sr;
        foldblock(sync, refs, buffer, sr, settings.bandcenter);
        benchmark::DoNotOptimize(sync.foldre.data());
    }
    const double samples = static_cast<double>(state.iterations()) * 9216;
    state.counters["realtime"] = benchmark::Counter(samples / sr, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(gathering)->Arg(0)->Arg(1)->ArgName("rotation");
