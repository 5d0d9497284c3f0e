// A listener for single integration windows: run control attaches one to the
// integrator for the stations whose individual pulses it wants to see (the
// eLoran data channel), before they are summed and lost in the integration.
#pragma once

#include <cstdint>

namespace corvane {

// One window of one station as the integrator adds it.
struct PulseWindow {
    std::int32_t station = 0;      // index as the stations, 0 .. N - 1
    std::int32_t pulseindex = 0;   // pulse within the phase code interval, 0 .. pulsecount - 1
    const std::int16_t* re = nullptr;  // the window's D samples, conditioned (front end)
    const std::int16_t* im = nullptr;
    std::int32_t samples = 0;      // D
    std::int16_t sign = 1;         // the pulse's phase-code sign, +1 or -1
    double windowstart = 0;        // s, buffer time of the window's first sample
};

class WindowListener {
public:
    virtual ~WindowListener() = default;
    // Called for every integrated window of a listened station, in time order
    // per station; the samples are valid only during the call.
    virtual void window(const PulseWindow& w) = 0;
};

}  // namespace corvane
