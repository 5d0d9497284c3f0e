#include "plotoptions.h"

#include <cctype>

#include "tools/common/options.h"

namespace corvane::plot {

namespace {

Millis time(const std::string& option, const std::string& value) {
    Millis t = 0;
    if (!parseutc(value, t))
        badoption("option " + option + ": \"" + value +
                  "\" is not a UTC time such as 2025-12-07T18:35:31Z, 2025-12-07T18:35 or 2025-12-07");
    return t;
}

}  // namespace

PlotOptions parseplotoptions(const std::vector<std::string>& args) {
    PlotOptions o;
    OptionReader options(args);
    while (options.next()) {
        const std::string& a = options.name();
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version" || a == "-V") {
            o.version = true;
        } else if (a == "--svg") {
            o.svg = options.value();
        } else if (a == "--csv") {
            o.csv = options.value();
        } else if (a == "--waterfall") {
            o.waterfall = options.value();
        } else if (a == "--tdev") {
            o.tdev = true;
        } else if (a == "--stations") {
            std::string list = options.value(), id;
            list += ',';
            for (char c : list) {
                if (c != ',') {
                    id += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                    continue;
                }
                if (!id.empty()) o.selection.stations.push_back(id);
                id.clear();
            }
            if (o.selection.stations.empty()) badoption("option --stations needs station ids such as 6731M,6731Y");
        } else if (a == "--from") {
            o.selection.from = time(a, options.value());
            o.selection.hasfrom = true;
        } else if (a == "--to") {
            o.selection.to = time(a, options.value());
            o.selection.hasto = true;
        } else if (a.size() > 1 && a[0] == '-') {
            badoption("unknown option " + options.raw());
        } else {
            o.logs.push_back(options.raw());
        }
    }
    if (o.help || o.version) return o;
    if (o.svg.empty() && o.csv.empty()) badoption("nothing to write: give --svg FILE and/or --csv FILE");
    if (!o.waterfall.empty() && o.svg.empty()) badoption("option --waterfall needs --svg FILE for the picture");
    if (o.tdev && !o.waterfall.empty()) badoption("options --tdev and --waterfall do not go together");
    if (o.logs.empty() && o.waterfall.empty()) badoption("no log file given");
    if (o.logs.empty() && !o.csv.empty()) badoption("option --csv needs a log file");
    if (o.selection.hasfrom && o.selection.hasto && o.selection.to <= o.selection.from)
        badoption("option --to must come after --from");
    return o;
}

const char* plothelp() {
    return "usage: corvane-plot [OPTIONS] LOG...\n"
           "\n"
           "Reads the monitor's measurement logs (JSON Lines; several files in any\n"
           "order, several runs per file) and writes charts and a spreadsheet file.\n"
           "\n"
           "  --svg FILE        charts against UTC: peak (dB) and edge per station, the\n"
           "                    reference station's carrier phase, SR, LO (fraction and\n"
           "                    microseconds), PC offset in live mode, each station's\n"
           "                    time of arrival when the log has it; sync and eLoran\n"
           "                    events as vertical lines\n"
           "  --csv FILE        one row per status record and station:\n"
           "                    utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc\n"
           "  --waterfall BMP   with --svg: the waterfall bitmap as SVG instead, with\n"
           "                    station ids over their columns and UTC ticks taken from\n"
           "                    the log's line records (a log is optional here)\n"
           "  --tdev            with --svg and --csv: the time deviation of each station's\n"
           "                    time of arrival (toa_us) instead: overlapping TDEV at\n"
           "                    tau = m tau0, m = 1, 2, 4, ... up to a third of the\n"
           "                    longest run, tau0 the status interval; each run on its\n"
           "                    own, the runs' terms pooled. A value missing from a\n"
           "                    status record is not filled in: the terms that span it\n"
           "                    are left out. --svg: a log-log chart, tau (s) across,\n"
           "                    TDEV (ns) up; --csv: station,tau_s,tdev_ns,n with n the\n"
           "                    number of terms (second differences of m-value means)\n"
           "                    in the estimate, N - 3m + 1 for a run of N values\n"
           "                    without gaps\n"
           "  --stations LIST   only these stations, e.g. 6731M,6731Y\n"
           "  --from TIME       only records at or after TIME (2025-12-07T18:35:31Z,\n"
           "                    2025-12-07T18:35 or a date alone for its midnight, UTC)\n"
           "  --to TIME         only records before TIME\n"
           "  -h, --help        this text\n"
           "  -V, --version     the program's version\n"
           "\n"
           "Lines that do not parse (a line cut by a kill) are skipped and counted on\n"
           "standard error. Exit status: 0 on success, 1 for a usage mistake, an\n"
           "unreadable bitmap or logs without a single record, 2 when a file is\n"
           "missing, 3 when an output cannot be written.\n";
}

}  // namespace corvane::plot
