#include "timeaxis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvane::plot {

namespace {

constexpr Millis second = 1000, minute = 60 * second, hour = 60 * minute, day = 24 * hour;

// Largest multiple of step not above t (also for negative t).
Millis floorto(Millis t, Millis step) {
    Millis q = t / step;
    if (q * step > t) --q;
    return q * step;
}

}  // namespace

Millis timestep(Millis from, Millis to, int maxticks) {
    static const Millis steps[] = {second,      2 * second,  5 * second,  10 * second, 15 * second, 30 * second,
                                   minute,      2 * minute,  5 * minute,  10 * minute, 15 * minute, 30 * minute,
                                   hour,        2 * hour,    3 * hour,    6 * hour,    12 * hour,   day,
                                   2 * day,     7 * day,     14 * day,    28 * day};
    const Millis span = to - from;
    for (Millis step : steps)
        if ((floorto(to, step) - floorto(from - 1, step)) / step <= maxticks) return step;
    // Longer than the table: whole multiples of 28 days.
    Millis step = 28 * day;
    while (span / step >= maxticks) step *= 2;
    return step;
}

std::vector<TimeTick> timeticks(Millis from, Millis to, int maxticks) {
    std::vector<TimeTick> ticks;
    if (to <= from || maxticks < 1) return ticks;
    const Millis step = timestep(from, to, maxticks);
    const bool crossesmidnight = formatdate(from) != formatdate(to);
    std::string lastdate;
    for (Millis t = floorto(from - 1, step) + step; t <= to; t += step) {
        TimeTick tick;
        tick.t = t;
        if (step >= day)
            tick.label = formatdate(t);
        else
            tick.label = step < minute ? formathhmmss(t) : formathhmm(t);
        const std::string date = formatdate(t);
        if (crossesmidnight && step < day && date != lastdate) tick.date = date;
        lastdate = date;
        ticks.push_back(tick);
    }
    return ticks;
}

std::vector<double> valueticks(double lo, double hi, int maxticks, double& step) {
    std::vector<double> ticks;
    if (!(lo < hi) || maxticks < 2) {
        step = 0;
        return ticks;
    }
    const double rough = (hi - lo) / (maxticks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    step = 10 * power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        const double s = m * power;
        if (std::floor(hi / s) - std::ceil(lo / s) + 1 <= maxticks) {
            step = s;
            break;
        }
    }
    for (double k = std::ceil(lo / step); k * step <= hi + step * 1e-9; k += 1) ticks.push_back(k * step);
    return ticks;
}

std::string formattick(double value, double step) {
    if (std::fabs(value) < std::fabs(step) * 1e-6) return "0";
    char buf[40];
    const int stepexponent = static_cast<int>(std::floor(std::log10(std::fabs(step)) + 1e-9));
    if (std::fabs(value) >= 1e-3 && std::fabs(value) < 1e9) {
        // Fixed point down to the step's digit.
        std::snprintf(buf, sizeof buf, "%.*f", std::max(0, std::min(-stepexponent, 12)), value);
    } else {
        // Significant digits: those of the value down to the step's digit.
        const int digits = static_cast<int>(std::floor(std::log10(std::fabs(value)))) - stepexponent + 1;
        std::snprintf(buf, sizeof buf, "%.*g", std::max(1, std::min(digits, 17)), value);
    }
    return buf;
}

}  // namespace corvane::plot
