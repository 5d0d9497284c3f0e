// The selection of stations and time that the charts and the CSV file share,
// and the CSV file: one row per status record and station.
#pragma once

#include <string>
#include <vector>

#include "plotlog.h"

namespace corvane::plot {

struct Selection {
    std::vector<std::string> stations;  // empty: every station
    bool hasfrom = false, hasto = false;
    Millis from = 0;  // first time included
    Millis to = 0;    // first time no longer included
    bool station(const std::string& id) const;
    bool time(Millis t) const { return (!hasfrom || t >= from) && (!hasto || t < to); }
};

// "utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc", then one row per status
// record and selected station in time order; utc as the log wrote it,
// numbers in the shortest form that reads back to the same double, a
// missing value (pc in recording mode) empty. Lines end in "\n".
std::string csvtext(const Log& log, const Selection& selection);

// The shortest decimal text that reads back as v; empty for NaN.
std::string shortest(double v);

}  // namespace corvane::plot
