// Block front end: DC-offset sums of the samples that leave the buffer, and
// for new samples the scaling by `filescale`, the shift down by `looffset` Hz
// (drifting by `lodrift` Hz/s) and the sample power for the noise blanker.
// All arithmetic is real32; results written back into the int16 sample
// arrays are rounded half to even and clamped (NaN gives 0).
#pragma once

#include <cstdint>

namespace corvane {

struct Settings;
struct SampleBuffer;

struct FrontEnd {
    float biassumre = 0;
    float biassumim = 0;
    float biascount = 0;
    float lophase = 0;        // cycles, 0 .. 1
    float lorotor[2] = {1, 0};
    float lostep[2] = {1, 0};
    std::int16_t locount = 0; // samples since the oscillator was re-anchored, 0 .. 99
    float r = 0;              // configured sample rate as real32
};

// Start values, once before the first block.
void initfrontend(FrontEnd& frontend, const Settings& settings);
// Over indices 0 .. n - 1 (the samples leaving the buffer).
void accumulatebias(FrontEnd& frontend, const SampleBuffer& buffer, const Settings& settings, std::int32_t n);
// Over the new samples, indices overlap .. overlap + blocksamples - 1.
void conditionblock(FrontEnd& frontend, SampleBuffer& buffer, Settings& settings);

}  // namespace corvane
