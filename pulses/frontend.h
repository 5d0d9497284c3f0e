// Block front end: DC-offset sums of the samples that leave the buffer, and
// for new samples the scaling by `filescale`, the shift down by `looffset` Hz
// (drifting by `lodrift` Hz/s) and the sample power for the noise blanker.
// All arithmetic is real32; results written back into the int16 sample
// arrays are rounded half to even and clamped (NaN gives 0).
#pragma once

#include <cstdint>

namespace corvane {

struct SampleBuffer;

// What the front end reads of the settings.
struct FrontEndConfig {
    float filescale = 1.0f;      // factor applied to every new sample
    double looffset = 0;         // Hz, shift down at the start of the run
    float lodrift = 0;           // Hz per second of samples
    std::int16_t channels = 2;   // 1: the imaginary part is not scaled
    std::int16_t nb = 0;         // noise blanker on: sample powers and gated bias sums
    float nbfac = 2.0f;          // bias sums keep samples below nbfac x the mean power
    double sr = 22050;           // nominal sample rate, Hz (the oscillator's R)
};

struct FrontEnd {
    double looffset = 0;      // Hz, the oscillator's offset, advanced by lodrift
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
void initfrontend(FrontEnd& frontend, const FrontEndConfig& config);
// Over indices 0 .. blocksamples - 1 of the previous block (the samples about
// to leave the buffer); nothing before the first block.
void accumulatebias(FrontEnd& frontend, const SampleBuffer& buffer, const FrontEndConfig& config);
// Over the new samples, indices overlap .. overlap + blocksamples - 1.
void conditionblock(FrontEnd& frontend, SampleBuffer& buffer, const FrontEndConfig& config);

// The DC offset gathered since the last call: the mean of the departed
// samples (kept when none departed), and the sums start again.
struct BiasEstimate {
    bool fresh = false;  // samples departed since the last call
    float re = 0;
    float im = 0;
};
BiasEstimate takebias(FrontEnd& frontend);

}  // namespace corvane
