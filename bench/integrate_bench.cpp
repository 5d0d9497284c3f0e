// One block of 4096 samples at 22050 Hz integrated for 20 stations (half of
// them masters with 18 pulses per phase code interval, half secondaries with
// 16), 24-sample windows. A block lasts 0.186 s of real time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "acquisition/samplereader.h"
#include "pulses/integrator.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace {

using namespace corvane;

struct Scene {
    static constexpr double sr = 22050;
    IntegratorConfig settings;
    StationTable table;
    ChainTiming timing;
    SampleBuffer buffer;
    PulseIntegrator integrator;
    std::vector<double> firstwindow;

    Scene(std::int16_t nb, int blanked) {
        constexpr int n = 20;
        settings.nb = nb;
        settings.displaysamples = 24;
        table.stations.resize(n);
        timing.patterns.resize(n);
        std::mt19937 random(7);
        for (int s = 0; s < n; ++s) {
            Station& st = table.stations[static_cast<size_t>(s)];
            st.gri = 5000 + 250 * s;
            st.blanked = s < blanked ? 1 : 0;
            const bool master = s % 2 == 0;
            PulsePattern& pattern = timing.patterns[static_cast<size_t>(s)];
            pattern.pulsecount = master ? 18 : 16;
            for (int j = 0; j < pattern.pulsecount; ++j) {
                pattern.pulseinterval[j] = 0.001;
                pattern.phasesign[j] = (random() & 1) ? 1 : -1;
            }
            if (master) {
                pattern.pulseinterval[7] = pattern.pulseinterval[16] = 0.002;
                pattern.pulseinterval[8] = pattern.pulseinterval[17] = (st.gri - 900) * 0.00001;
            } else {
                pattern.pulseinterval[7] = pattern.pulseinterval[15] = (st.gri - 700) * 0.00001;
            }
            firstwindow.push_back(0.001 * s);
        }
        for (int s = 0; s < n; ++s)
            if (table.stations[static_cast<size_t>(s)].blanked) timing.processingorder.push_back(static_cast<std::int16_t>(s));
        for (int s = 0; s < n; ++s)
            if (!table.stations[static_cast<size_t>(s)].blanked) timing.processingorder.push_back(static_cast<std::int16_t>(s));
        timing.blankedsamples = 8;

        buffer.overlap = 256;
        buffer.blocklen = 4096;
        buffer.blocksamples = 4096;
        const size_t size = 256 + 4096;
        buffer.samplere.resize(size);
        buffer.sampleim.resize(size);
        buffer.samplepower.resize(size);
        std::normal_distribution<float> noise(0, 300);
        for (size_t i = 0; i < size; ++i) {
            buffer.samplere[i] = static_cast<std::int16_t>(noise(random));
            buffer.sampleim[i] = static_cast<std::int16_t>(noise(random));
            buffer.samplepower[i] = static_cast<float>(buffer.samplere[i]) * buffer.samplere[i] +
                                    static_cast<float>(buffer.sampleim[i]) * buffer.sampleim[i];
        }
        buffer.bufstart = -256 / 22050.0;
        buffer.bufend = 4096 / 22050.0;
        createintegrator(integrator, n, 24);
        startperiod(integrator, timing, settings);
    }
    void rewind() {
        for (size_t s = 0; s < integrator.walks.size(); ++s) {
            WindowWalk& walk = integrator.walks[s];
            walk.windowstart = walk.windowanchor = firstwindow[s];
            walk.pulseindex = 0;
        }
    }
};

void integrate(benchmark::State& state, std::int16_t nb, int blanked) {
    Scene scene(nb, blanked);
    for (auto _ : state) {
        scene.rewind();
        integrateblock(scene.integrator, scene.table, scene.timing, scene.buffer, scene.settings, Scene::sr);
        benchmark::DoNotOptimize(scene.integrator.sumre.data());
    }
    std::int64_t windows = 0;
    for (std::int32_t c : scene.integrator.windowcount) windows += c;
    state.counters["windows/block"] = static_cast<double>(windows) / static_cast<double>(state.iterations());
}

void BM_IntegrateBlock(benchmark::State& state) { integrate(state, 0, 0); }
void BM_IntegrateBlockNoiseBlankerTwoBlanked(benchmark::State& state) { integrate(state, 1, 2); }

BENCHMARK(BM_IntegrateBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IntegrateBlockNoiseBlankerTwoBlanked)->Unit(benchmark::kMicrosecond);

}  // namespace
