#include "plotcsv.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace corvane::plot {

namespace {

// A field quoted when it holds a comma, quote or line end.
std::string field(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

}  // namespace

bool Selection::station(const std::string& id) const {
    return stations.empty() || std::find(stations.begin(), stations.end(), id) != stations.end();
}

std::string shortest(double v) {
    if (std::isnan(v)) return "";
    char buf[40];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

std::string csvtext(const Log& log, const Selection& selection) {
    std::string out = "utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc\n";
    for (const Run& run : log.runs)
        for (const StatusRecord& r : run.status) {
            if (!selection.time(r.utc)) continue;
            std::string common;
            for (double v : {r.sr, r.lo, r.lous, r.pc}) common.append(",").append(shortest(v));
            for (const StationStatus& s : r.stations) {
                if (!selection.station(s.id)) continue;
                out.append(field(r.utctext)).append(",").append(field(s.id));
                for (double v : {s.peak, s.edge, s.phasedeg, s.snrdb}) out.append(",").append(shortest(v));
                out.append(common).append("\n");
            }
        }
    return out;
}

}  // namespace corvane::plot
