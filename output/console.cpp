#include "output/console.h"

#include <cmath>
#include <cstdio>

#include "acquisition/clock.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "core/numberformat.h"
#include "platform/platform.h"

namespace corvane {

void showtimestamp(Display& display, const ClockState& clock, const DisplayConfig& config, double bufend,
                   Console& console) {
    const double t = utctime(bufend + displayepoch(clock), clock.leapsecs) - config.clockoffset;
    const double d = t - std::floor(t / 86400) * 86400;
    std::int64_t c = toint64(d * 100);  // hundredths of the day
    if (c < 0) c = 0;
    if (c > 8640000) c = 8640000;
    const std::int64_t hours = c / 360000;
    const std::int64_t minutes = (c - hours * 360000) / 6000;
    const std::int64_t seconds = (c - hours * 360000 - minutes * 6000) / 100;
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(hours), static_cast<int>(minutes),
                  static_cast<int>(seconds));
    display.timestamp = text;
    display.utchour = static_cast<std::int32_t>(hours);

    console.write(display.timestamp);
    if (config.live) console.write(picture(" PC###.##s", {-static_cast<double>(clock.pcclockerror)}));
}

void endstatusline(Console& console) {
    console.rowup();
    console.writeline("");
}

void showstatus(const StatusValues& values, Console& console) {
    console.write(picture(" max##### edge##.## ", {values.refpeak, values.refedge}));
    console.write(picture("SR #####.####Hz ", {values.sr}));
    console.write(picture("LO +#.#^^^^######.##us", {values.fracfreq, values.shownfdrift}));
    endstatusline(console);
}

}  // namespace corvane
