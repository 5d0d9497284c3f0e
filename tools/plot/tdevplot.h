// The time deviation of each station's time of arrival (the status records'
// toa_us) as corvane-plot writes it: a table and a log-log chart.
#pragma once

#include <string>
#include <vector>

#include "plotcsv.h"
#include "plotlog.h"

namespace corvane::plot {

struct TdevPoint {
    double taus = 0;         // averaging time tau = m tau0, seconds
    double tdevns = 0;       // nanoseconds
    std::int64_t terms = 0;  // second-difference terms in the estimate, all runs together
};

// One station's estimates from the runs that share one status interval.
struct TdevCurve {
    std::string station;
    double tau0s = 0;  // seconds between status records
    std::vector<TdevPoint> points;  // tau ascending, only taus with terms
};

// Per station and status interval: each run's selected status records in
// order give one value each (toa_us; a record without it, or without the
// station, is a missing value), the runs' series are never joined; for
// m = 1, 2, 4, ... while 3m is at most the longest run's count of records,
// the terms of every run are pooled into one estimate. tau0 is the run's
// shortintegration from its start record, else the median step of its
// status records' times. notes receives what was left out and why.
std::vector<TdevCurve> tdevcurves(const Log& log, const Selection& selection, std::vector<std::string>& notes);

// "station,tau_s,tdev_ns,n", then a row per point of each curve; numbers in
// their shortest exact form. Lines end in "\n".
std::string tdevcsv(const std::vector<TdevCurve>& curves);

// A log-log chart: one line per curve, tau (s) across, TDEV (ns) up. title
// names the log files. Points with a TDEV of 0 cannot be drawn and are left
// out. Throws std::runtime_error when no curve has a point above 0.
std::string tdevsvg(const std::vector<TdevCurve>& curves, const std::string& title);

}  // namespace corvane::plot
