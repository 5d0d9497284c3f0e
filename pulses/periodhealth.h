// The health of the averaging period: a short integration is bad when the
// reference peak stays below `resynclimit`, or, in live mode with a
// `clockerrorlimit`, when the sample clock and the PC clock disagree by more
// than that many seconds. Bad ones raise the counter by 1, good ones lower
// it by 1 (not below 0); at 3 run control ends the period.
#pragma once

#include <cstdint>

namespace corvane {

struct HealthConfig {
    float resynclimit = 0;       // reference peak (sample units); 0: never bad by the peak
    float clockerrorlimit = 0;   // s; 0: never bad by the clock
    bool live = true;            // the clock check applies in live mode only
};

struct PeriodHealth {
    std::int32_t resynccount = 0;  // 3 or more ends the averaging period
};

inline constexpr std::int32_t badperiodcount = 3;

// One short integration with reference peak `refpeak` and PC clock error
// `pcclockerror` (s).
void judgeshortintegration(PeriodHealth& health, float refpeak, float pcclockerror, const HealthConfig& config);

}  // namespace corvane
