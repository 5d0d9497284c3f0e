// One waterfall line for 20 stations of 24 positions: the pixels alone
// (drawline) in greyscale, colour and logarithmic levels, and the whole
// appendline with its write into a bitmap file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>

#include "output/waterfall.h"
#include "platform/testing.h"
#include "pulses/fold.h"
#include "stations/stationtable.h"

namespace {

using namespace corvane;
namespace fs = std::filesystem;

struct Line {
    fs::path folder = fs::temp_directory_path() / "corvane-waterfall-bench";
    WaterfallConfig settings;
    StationTable table;
    WaterfallImage image;
    LongIntegration rows;
    testing::FakePlatform platform;

    Line(std::int16_t colour, float dbrange) {
        fs::create_directories(folder);
        settings.bmp = (folder / "w.bmp").string();
        settings.colour = colour;
        settings.dbrange = dbrange;
        settings.displaysamples = 24;
        constexpr int n = 20;
        table.stations.assign(n, Station{});
        for (int s = 0; s < n; ++s) {
            table.stations[static_cast<std::size_t>(s)].gri = 5000 + 250 * s;
            table.stations[static_cast<std::size_t>(s)].distance = 300 + 100 * s;
            table.stations[static_cast<std::size_t>(s)].power = 250;
        }
        table.visiblecount = n;
        createlongintegration(rows, n, 24);
        std::mt19937 random(4);
        std::normal_distribution<float> noise(0, 500);
        for (std::size_t k = 0; k < rows.longre.size(); ++k) {
            rows.longre[k] = noise(random);
            rows.longim[k] = noise(random);
        }
        rows.longresidual.assign(n, 0.3f);
        createimage(image, settings, table);
    }
    ~Line() { fs::remove_all(folder); }
};

void draw(benchmark::State& state) {
    Line line(static_cast<std::int16_t>(state.range(0)), static_cast<float>(state.range(1)));
    for (auto _ : state) {
        drawline(line.image, line.settings, line.table, line.rows);
        benchmark::DoNotOptimize(line.image.rowbuffer.data());
    }
}

void append(benchmark::State& state) {
    Line line(1, 0);
    std::int64_t lines = 0;
    for (auto _ : state) {
        if (++lines % 10000 == 0) {  // keep the file small
            state.PauseTiming();
            createimage(line.image, line.settings, line.table);
            state.ResumeTiming();
        }
        appendline(line.image, line.settings, line.table, line.rows, 0, line.platform);
    }
}

}  // namespace

BENCHMARK(draw)->Args({0, 0})->Args({1, 0})->Args({0, 40})->ArgNames({"colour", "dbrange"});
BENCHMARK(append)->Unit(benchmark::kMicrosecond);
