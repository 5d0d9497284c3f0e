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
    const double t = utctime(bufend + epochofbuffer(clock.timebase), clock.leapsecs) - config.clockoffset;
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
    display.stamptext = display.timestamp;
    if (config.live) display.stamptext += picture(" PC###.##s", {-static_cast<double>(clock.pcclockerror)});
    console.write(display.stamptext);
}

void endstatusline(Console& console) {
    console.rowup();
    console.writeline("");
}

std::string statustext(const StatusValues& values) {
    return picture(" max##### edge##.## ", {values.refpeak, values.refedge}) +
           picture("SR #####.####Hz ", {values.sr}) +
           picture("LO +#.#^^^^######.##us", {values.fracfreq, values.shownfdrift});
}

void showstatus(const StatusValues& values, Console& console) {
    console.write(statustext(values));
    endstatusline(console);
}

void showlineabove(const std::string& line, const Display& display, const StatusValues* status,
                   Console& console) {
    if (status == nullptr) {
        console.writeline(line);
        return;
    }
    const std::string last = display.stamptext + statustext(*status);
    console.column1();
    console.writeline(line.size() < last.size() ? line + std::string(last.size() - line.size(), ' ') : line);
    console.write(last);
    endstatusline(console);
}

}  // namespace corvane
