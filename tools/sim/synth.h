// The signal engine of the simulator: complex baseband samples, in units of
// the output's full scale, of Loran-C stations as a receiver tuned to 100 kHz
// records them, with the receiver's impairments.
//
// Time: sample n is taken n / (rate x (1 + ppm 1e-6)) seconds after the
// start. The start lies on the program time scale (UTC + 22 s + leap
// seconds, the Loran time scale); every station's phase code interval (two
// GRIs) begins at whole multiples of two GRIs since 1 January 1958 on that
// scale, and its pulses reach the receiver `delay` seconds later.
//
// Baseband: the local oscillator sits at 100 kHz - `looffset` (drifting by
// `lodrift` Hz/s) with phase 0 at the first sample, so a station's carrier
// appears at +`looffset` Hz. A pulse arriving at time T is
// sign x amplitude x envelope(t - T) x (-j) exp(-j 2 pi 100 kHz T).
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "eloran/schedule.h"
#include "pulseshape.h"

namespace corvane::sim {

// Pulse pattern of one phase code interval as transmitted.
struct PulsePattern {
    std::int32_t count = 0;      // 18 (master) or 16 (secondary)
    double offset[18] = {};      // s from the interval start
    std::int16_t sign[18] = {};  // +1 / -1
};

// Masters "KLMN" (nine pulses per GRI, the ninth 2 ms after the eighth),
// secondaries "OPQRSTUVWXYZ" (eight pulses). Returns false for any other
// letter.
bool transmitpattern(std::int32_t gri, char letter, PulsePattern& pattern);

struct SimStation {
    std::int32_t gri = 0;        // 10 us
    char letter = 'M';
    double delay = 0;            // s: emission delay (+ chain delay) + propagation time
    double amplitude = 0;        // envelope peak, full-scale units
    // eLoran data channel (secondaries only): pulses 3..8 of each GRI are
    // moved by -1, 0 or +1 us, envelope and carrier, by the pattern of the
    // word the schedule sends in that GRI.
    bool eloran = false;
    eloran::ScheduleConfig schedule;
};

// Ground-wave amplitude: level x sqrt(power / 1000 kW) x (1000 km / d) x
// 10^(-attenuation x (d - 1000 km) / 1000 km / 20), with d at least 10 km.
// attenuation in dB per 1000 km beyond the spreading loss.
double groundwaveamplitude(double level, double powerkw, double distancekm, double attenuation);

struct CwTone {
    double frequency = 0;        // Hz from 100 kHz
    double amplitude = 0;        // full-scale units
};

struct Impairments {
    double noise = 0;            // RMS per channel, full-scale units
    std::vector<CwTone> cw;
    double impulserate = 0;      // bursts per second (Poisson)
    double impulseamplitude = 0; // full-scale units, peak
    double impulsedecay = 100e-6;  // s, exponential decay time of a burst
    double ppm = 0;              // sample-rate error: true rate = rate x (1 + ppm 1e-6)
    double looffset = 0;         // Hz
    double lodrift = 0;          // Hz per second
};

// Program-scale start: whole seconds since 1 January 1958 plus a fraction.
struct StartTime {
    std::int64_t seconds = 0;
    double fraction = 0;         // 0 <= fraction < 1
};

// UTC date and time to the program time scale with the monitor's leap-second
// table.
StartTime programtime(std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                      std::int32_t minute, double second);

struct Burst {
    std::int64_t start = 0;      // sample index
    double re = 0, im = 0;       // complex peak
};

struct StationState {
    SimStation station;
    PulsePattern pattern;
    double period = 0;           // s, two GRIs
    double lead = 0;             // s: stream start minus the start of interval 0
    double phasorre = 0, phasorim = 0;  // amplitude x carrier phase
    std::int64_t interval = 0;   // interval of the first pulse not yet finished
    std::int32_t pulse = 0;      // its index in the pattern
    std::int64_t firstgri = 0;   // GRIs since 1958 on the Loran scale at the start of interval 0
    std::shared_ptr<eloran::MessageSchedule> schedule;  // with the data channel
};

struct Synth {
    double rate = 0;             // nominal sample rate, Hz
    double truerate = 0;         // rate x (1 + ppm 1e-6)
    Impairments impairments;
    PulseShape shape;
    std::vector<StationState> stations;
    std::int64_t position = 0;   // index of the next sample
    std::mt19937_64 noiserng;
    std::mt19937_64 impulserng;
    bool hasspare = false;
    double spare = 0;
    double nextimpulse = 0;      // sample index of the next burst
    std::vector<Burst> bursts;   // bursts still ringing
};

// Sets up the engine for a run of `duration` seconds (the oscillator's drift
// over it narrows the band); throws RuntimeError 1 for an unknown station
// letter or a sample rate with no usable band left.
Synth makesynth(double rate, const std::vector<SimStation>& stations, const Impairments& impairments,
                StartTime start, std::uint64_t seed, double duration = 0);

// The next `frames` complex samples into re and im (resized as needed).
void synthesize(Synth& synth, std::int32_t frames, std::vector<double>& re, std::vector<double>& im);

// Standard normal deviate from the engine's own generator (Marsaglia's polar
// method on 53-bit uniforms), identical on every standard library.
double normal(Synth& synth);

// Frames into bytes: 16-bit signed little-endian (x 32767) or 8-bit unsigned
// (x 127, plus 128), one channel (I only) or two (I, Q); values beyond full
// scale are clipped. Returns the number of clipped values.
std::int64_t encodeframes(const std::vector<double>& re, const std::vector<double>& im, std::int32_t frames,
                          std::int32_t bits, std::int32_t channels, std::vector<unsigned char>& bytes);

}  // namespace corvane::sim
