// Command line of corvane-plot.
#pragma once

#include <string>
#include <vector>

#include "plotcsv.h"

namespace corvane::plot {

struct PlotOptions {
    std::vector<std::string> logs;  // log files, any order
    std::string svg, csv, waterfall;
    Selection selection;
    bool tdev = false;  // --svg and --csv give the time deviation instead
    bool help = false, version = false;
};

// Throws RuntimeError 1 naming the option on a mistake: an unknown option,
// a missing value, a bad station id or time, no output asked for, no log
// (except for --waterfall alone), --waterfall without --svg, --tdev with
// --waterfall.
PlotOptions parseplotoptions(const std::vector<std::string>& args);

const char* plothelp();

}  // namespace corvane::plot
