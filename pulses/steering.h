// Tracking and steering of the receiver's local oscillator at the end of
// every short integration: the change of the reference station's carrier
// phase gives the oscillator's fractional frequency error, whose sum is its
// accumulated time error; once locked (four good short integrations in a
// row) the receiver is steered by running an external command with a new
// tone frequency.
//
// Units: `fracfreq` as a fraction of the 100 kHz carrier, drifts in
// microseconds, frequencies in Hz, phases in radians.
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

struct PulseAnalysis;
struct SampleClock;

// What the oscillator tracking and the steering read of the settings.
struct SteeringConfig {
    float shortintegration = 30;         // s, > 0
    float srlofactor = 0;                // part of the drift explained by the sample-rate correction
    float srlooffset = 0;
    float resynclimit = 0;               // a peak above it counts as good for the lock
    std::int16_t pllenabled = 0;         // 1: steering command configured
    std::string pllcommand = "Tonegen1 /testsig=";
    double pllcenter = 900;              // Hz, tone at zero drift
    float plllow = 0;                    // Hz, limits of the commanded tone
    float pllhigh = 0;
    float pllfactort = 10;               // Hz per us of drift
    float pllfactorf = 2000000000.0f;    // Hz per unit of fractional frequency
    float plldither = 0;                 // Hz, uniform dither amplitude
    float pllaveragef = 0.1f;            // weight of a new fracfreq in its running mean
    float pllavfini = 0;                 // start of that mean
    float ffactor = 0;
    float srloavfac = 0;
    float srloavini = 0;
};

struct Oscillator {
    float lastrefcycles = 0;      // reference phase in cycles at the previous short integration
    float fracfreq = 0;           // fractional frequency error of the oscillator
    float driftus = 0;            // accumulated oscillator time error, us
    float srlodrift = 0;          // drift explained by the sample-rate correction, us per short integration
    float shownfdrift = 0;        // driftus as last shown while locked
    float pllfavg = 0;            // running mean of fracfreq
    float srloavg = 0;            // running mean of srlodrift as fractional frequency
    double pllfreq = 0;           // tone frequency last commanded, Hz
    std::int32_t lockcount = 0;   // good short integrations in a row, 0 .. 4 (4: locked)
    std::uint64_t randomstate = 0x2545F4914F6CDD1DULL;  // dither generator
};

// Start values: pllfavg from `pllavfini`.
void createoscillator(Oscillator& oscillator, const SteeringConfig& config);

// One short integration: phase step, frequency and drift, lock count.
void trackoscillator(Oscillator& oscillator, const PulseAnalysis& reference, const SampleClock& clock,
                     const SteeringConfig& config);

// The steering command line ("pllcommand", a blank and the first 10
// characters of the tone frequency as "% .16g") when locked and steering is
// configured; empty otherwise.
std::string steeringcommand(Oscillator& oscillator, const SteeringConfig& config);

}  // namespace corvane
