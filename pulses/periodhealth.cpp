#include "pulses/periodhealth.h"

#include <cmath>
#include <limits>

namespace corvane {

void judgeshortintegration(PeriodHealth& health, float refpeak, float pcclockerror, const HealthConfig& config) {
    const bool bad = refpeak < config.resynclimit ||
                     (config.live && config.clockerrorlimit > 0 && std::fabs(pcclockerror) > config.clockerrorlimit);
    if (bad) {
        if (health.resynccount < std::numeric_limits<std::int32_t>::max()) health.resynccount += 1;
    } else if (health.resynccount > 0) {
        health.resynccount -= 1;
    }
}

}  // namespace corvane
