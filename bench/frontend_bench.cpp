// Reading, decoding and the front end at 48000 samples per second, 16-bit
// stereo (blocks of 9216 frames): a block read as run control reads it from a
// recording in the page cache (bias sums of the departing block, then
// readblock's overlap move, read and decode, then the front end's pass over
// the new samples with their power), and the front end's steps alone. The
// counter "realtime" is seconds of signal per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "pulses/frontend.h"

namespace {

using namespace corvane;

constexpr double rate = 48000;
constexpr std::int32_t blockframes = 9216;

// A recording of noise with a few strong impulses: 46 header bytes, then
// 16-bit stereo frames.
std::string makerecording(std::int32_t blocks) {
    const auto name = (std::filesystem::temp_directory_path() / "corvane-frontend-bench.wav").string();
    std::string bytes(46, '\0');
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0, 600);
    for (std::int64_t k = 0; k < static_cast<std::int64_t>(blocks) * blockframes; ++k) {
        const float scale = k % 5000 == 0 ? 30.0f : 1.0f;
        for (int c = 0; c < 2; ++c) {
            float v = noise(random) * scale;
            v = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
            const auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
            bytes += static_cast<char>(u & 0xff);
            bytes += static_cast<char>(u >> 8);
        }
    }
    File file;
    if (!file.open(name, File::Mode::create) || !file.write(bytes.data(), bytes.size()) || !file.close())
        throw std::runtime_error("cannot write " + name);
    return name;
}

struct Reading {
    InputConfig input;
    FrontEndConfig frontconfig;
    ClockState clock;
    SampleBuffer buffer;
    SampleReader reader;
    FrontEnd frontend;
    testing::FakePlatform platform;
    std::ostringstream warnings;

    Reading(const std::string& name, std::int16_t nb, double looffset) {
        input.sr = rate;
        input.wavinput = 1;
        input.samplefile = name;
        input.keeppower = nb != 0;
        frontconfig.sr = rate;
        frontconfig.nb = nb;
        frontconfig.looffset = looffset;
        createsamplebuffer(buffer, input);
        initfrontend(frontend, frontconfig);
        open();
    }
    void open() {
        reader.file.close();
        restartbuffer(buffer, input.sr);
        openfirstfile(reader, buffer, clock, input, platform, warnings);
    }
};

void readblocks(benchmark::State& state) {
    static const std::string name = makerecording(64);
    Reading r(name, static_cast<std::int16_t>(state.range(0)), static_cast<double>(state.range(1)));
    std::int64_t samples = 0;
    for (auto _ : state) {
        if (r.reader.bytesleft <= 0) {
            state.PauseTiming();
            r.open();
            state.ResumeTiming();
        }
        accumulatebias(r.frontend, r.buffer, r.frontconfig);
        readblock(r.reader, r.buffer, r.clock, r.input, rate, r.platform);
        conditionblock(r.frontend, r.buffer, r.frontconfig);
        samples += r.buffer.blocksamples;
        benchmark::DoNotOptimize(r.buffer.samplepower.data());
    }
    state.counters["realtime"] = benchmark::Counter(static_cast<double>(samples) / rate, benchmark::Counter::kIsRate);
}

// One block already decoded: the front end's own passes.
struct Block {
    FrontEndConfig settings;
    SampleBuffer buffer;
    FrontEnd frontend;
    std::vector<std::int16_t> re, im;

    Block(std::int16_t nb, double looffset) {
        settings.sr = rate;
        settings.nb = nb;
        settings.looffset = looffset;
        InputConfig input;
        input.sr = rate;
        createsamplebuffer(buffer, input);
        initfrontend(frontend, settings);
        std::mt19937 random(5);
        std::normal_distribution<float> noise(0, 600);
        for (std::size_t i = 0; i < buffer.samplere.size(); ++i) {
            buffer.samplere[i] = static_cast<std::int16_t>(noise(random));
            buffer.sampleim[i] = static_cast<std::int16_t>(noise(random));
        }
        buffer.blocksamples = buffer.blocklen;
        re = buffer.samplere;
        im = buffer.sampleim;
        conditionblock(frontend, buffer, settings);
    }
};

void condition(benchmark::State& state) {
    Block b(static_cast<std::int16_t>(state.range(0)), static_cast<double>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        b.buffer.samplere = b.re;  // the rotor works on fresh samples
        b.buffer.sampleim = b.im;
        state.ResumeTiming();
        conditionblock(b.frontend, b.buffer, b.settings);
        benchmark::DoNotOptimize(b.buffer.samplepower.data());
    }
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * b.buffer.blocksamples / rate, benchmark::Counter::kIsRate);
}

void biassums(benchmark::State& state) {
    Block b(static_cast<std::int16_t>(state.range(0)), 0);
    for (auto _ : state) {
        accumulatebias(b.frontend, b.buffer, b.settings);
        benchmark::DoNotOptimize(b.frontend.biassumre);
    }
    state.counters["realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * b.buffer.blocksamples / rate, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(readblocks)->Args({1, 0})->Args({0, 0})->Args({1, 150})->ArgNames({"nb", "looffset"});
BENCHMARK(condition)->Args({1, 0})->Args({1, 150})->ArgNames({"nb", "looffset"});
BENCHMARK(biassums)->Arg(1)->Arg(0)->ArgName("nb");
