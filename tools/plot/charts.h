// The two SVG pages of corvane-plot: the time-series charts of a log and the
// waterfall bitmap with its station columns and time ticks.
#pragma once

#include <string>
#include <vector>

#include "plotcsv.h"
#include "plotlog.h"
#include "png.h"

namespace corvane::plot {

// One page of charts against UTC: per selected station the peak in dB
// (20 log10 peak) and the edge, the reference station's carrier phase, SR,
// LO as a fraction and in microseconds, and PC offset when the log has it;
// sync, eLoran and abnormal end records as vertical lines with a short
// label. Each run is drawn apart, so a gap between runs stays a gap. title
// names the log files. Throws std::runtime_error when the selection holds no
// status record.
std::string chartsvg(const Log& log, const Selection& selection, const std::string& title);

// The waterfall page: the picture (top row = newest line) as an embedded PNG,
// the station ids over their columns and time ticks down the left side from
// the line records of the run that wrote the bitmap (the last run whose
// "bmp" has bmpname's file name, else the last run with line records).
// notes receives what did not fit (columns or line counts that disagree).
std::string waterfallsvg(const Picture& picture, const Log& log, const std::string& bmpname,
                         std::vector<std::string>& notes);

}  // namespace corvane::plot
