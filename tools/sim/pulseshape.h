// The Loran-C pulse as a receiver sampling at a given rate records it: the
// standard envelope (t/65 us)^2 exp(2 - 2t/65 us), band-limited to the
// sampled band and tabulated at fractional start offsets so that a pulse can
// be placed at any arrival time.
//
// Band-limiting is done analytically in the frequency domain: the envelope's
// spectrum E(f) = 2 e^2 tau / (2 + j 2 pi f tau)^3 is multiplied by a
// low-pass H(f) (flat to `passedge`, zero from `stopedge`, an infinitely
// smooth step between, so the filtered pulse's precursor and tail die out
// within a millisecond) and
// transformed back; the sampled pulse therefore has no spectral content
// beyond `stopedge` and nothing aliases as long as `stopedge` stays below half
// the sample rate.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::sim {

inline constexpr double pulsetau = 65e-6;  // s, envelope peak time

// The unfiltered envelope at t seconds after the pulse start; peak 1 at tau.
double loranenvelope(double t);

// Gain of the low-pass at f Hz: 1 to passedge, 0 from stopedge, between them
// psi(1 - x) / (psi(x) + psi(1 - x)), psi(x) = exp(-1 / x).
double lowpassgain(double f, double passedge, double stopedge);

// The band-limited envelope at t seconds after the pulse start (direct
// evaluation, slow; for building tables and for tests).
double bandlimitedenvelope(double t, double passedge, double stopedge);

struct PulseShape {
    double rate = 0;               // samples per second the table is built for
    double passedge = 0;           // Hz
    double stopedge = 0;           // Hz
    std::int32_t fractions = 64;   // rows per sample of offset
    std::int32_t pre = 0;          // samples tabulated before the start sample
    std::int32_t length = 0;       // samples per row
    // Row k (0 .. fractions), element i: the pulse at (i - pre - k / fractions)
    // sample periods after its start.
    std::vector<double> rows;
};

// Cut-off edges for a sample rate and the largest frequency shift the
// signal will see (local-oscillator offset): stop edge min(25 kHz,
// rate/2 - |shift|), pass edge half of it. Returns false when no usable band
// is left (stop edge below 2 kHz).
bool bandedges(double rate, double maxshift, double& passedge, double& stopedge);

PulseShape buildpulseshape(double rate, double passedge, double stopedge);

// The pulse value at sample offset i (relative to the start sample) for a
// start lying `fraction` (0 <= fraction < 1) of a sample after the start
// sample; linear interpolation between the tabulated offsets. i outside
// [-pre, length - pre) gives 0.
double pulsevalue(const PulseShape& shape, std::int32_t i, double fraction);

}  // namespace corvane::sim
