// Tick marks of the chart axes: round UTC times along the time axis and
// round values (1, 2 or 5 times a power of ten) along the value axes.
#pragma once

#include <string>
#include <vector>

#include "plotlog.h"

namespace corvane::plot {

struct TimeTick {
    Millis t = 0;
    std::string label;  // "18:35", or "18:35:30" for steps under a minute, or a date for steps of days
    std::string date;   // "2025-12-08" at the first tick and wherever the date changes, when the
                        // axis crosses midnight; empty otherwise
};

// The tick step in milliseconds: the smallest of 1, 2, 5, 10, 15, 30 s,
// 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h, 1, 2, 7, 14, 28 days ... that
// puts at most maxticks ticks into [from, to] (from < to, maxticks >= 1).
Millis timestep(Millis from, Millis to, int maxticks);
// The ticks: every multiple of the step (counted from midnight UTC) within
// [from, to].
std::vector<TimeTick> timeticks(Millis from, Millis to, int maxticks);

// Round value ticks within [lo, hi] (lo < hi, both finite), at most maxticks
// of them (>= 2), and the step between them.
std::vector<double> valueticks(double lo, double hi, int maxticks, double& step);
// A tick value with as many digits as the step needs: 11998.97 for a step of
// 0.01; -9.5e-09 for small numbers; "0" for a value within step / 1e6 of 0.
std::string formattick(double value, double step);

}  // namespace corvane::plot
