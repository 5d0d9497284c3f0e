// corvane-plot: charts, a spreadsheet file and the waterfall picture from the
// monitor's measurement log. See --help.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/errors.h"
#include "bmpread.h"
#include "charts.h"
#include "platform/platform.h"
#include "plotcsv.h"
#include "plotlog.h"
#include "plotoptions.h"
#include "tdevplot.h"

namespace {

using namespace corvane;
using namespace corvane::plot;

std::string readinput(const std::string& what, const std::string& path) {
    std::string text;
    if (!readwholefile(path, text))
        throw RuntimeError(fileexists(path) ? fileioerror : filenotfound,
                           "cannot read " + what + " \"" + path + "\": " + lastoserror());
    return text;
}

// Writes under a temporary name beside path, then renames, so that a failed
// run leaves no half-written file of the final name.
void writeoutput(const std::string& what, const std::string& path, const std::string& text) {
    const std::string part = path + ".corvane-plot-part";
    File f;
    if (!f.open(part, File::Mode::create))
        throw RuntimeError(fileioerror, "cannot create " + what + " \"" + path + "\" (as \"" + part + "\"): " + lastoserror());
    if (!f.write(text.data(), text.size()) || !f.close()) {
        const std::string error = lastoserror();
        deletefile(part);
        throw RuntimeError(fileioerror, "cannot write " + what + " \"" + path + "\" (as \"" + part + "\"): " + error);
    }
    if (!renamefile(part, path)) {
        const std::string error = lastoserror();
        deletefile(part);
        throw RuntimeError(fileioerror, "cannot rename \"" + part + "\" to " + what + " \"" + path + "\": " + error);
    }
}

void reportskipped(const Log& log) {
    if (log.skipped.empty()) return;
    const std::size_t n = log.skipped.size();
    std::cerr << "corvane-plot: skipped " << n << (n == 1 ? " line" : " lines") << " that did not parse:";
    const std::size_t shown = std::min<std::size_t>(n, 10);
    for (std::size_t i = 0; i < shown; ++i)
        std::cerr << (i ? ", " : " ") << log.skipped[i].path << ":" << log.skipped[i].lineno << " ("
                  << log.skipped[i].reason << ")";
    if (shown < n) std::cerr << " and " << n - shown << " more";
    std::cerr << "\n";
}

// A note for each station of --stations that no status record names.
void noteunseenstations(const Log& log, const PlotOptions& options) {
    for (const std::string& id : options.selection.stations) {
        bool seen = false;
        for (const Run& run : log.runs)
            for (const StatusRecord& r : run.status)
                for (const StationStatus& s : r.stations) seen = seen || s.id == id;
        if (!seen && !options.logs.empty())
            std::cerr << "corvane-plot: note: station " << id << " is in no status record\n";
    }
}

std::string logtitle(const std::string& what, const PlotOptions& options) {
    std::string title = what;
    for (const std::string& path : options.logs) title += " " + path;
    return title;
}

// --tdev: the time deviation table and chart instead of the status ones.
void writetdev(const Log& log, const PlotOptions& options) {
    std::vector<std::string> notes;
    const std::vector<TdevCurve> curves = tdevcurves(log, options.selection, notes);
    for (const std::string& note : notes) std::cerr << "corvane-plot: note: " << note << "\n";
    if (curves.empty())
        throw RuntimeError(illegalfunctioncall, "no time deviation: no selected station has toa_us in 3 status records "
                                                "of a run in a row (logs of monitors without the time of arrival have none)");
    if (!options.csv.empty()) writeoutput("CSV file", options.csv, tdevcsv(curves));
    if (options.svg.empty()) return;
    std::string svg;
    try {
        svg = tdevsvg(curves, logtitle("Corvane TDEV", options));
    } catch (const std::runtime_error& e) {
        throw RuntimeError(illegalfunctioncall, std::string("cannot draw the time deviation: ") + e.what());
    }
    writeoutput("SVG file", options.svg, svg);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    PlotOptions options;
    try {
        options = parseplotoptions(args);
    } catch (const RuntimeError& e) {
        std::cerr << "corvane-plot: " << e.what() << "\ncorvane-plot: see corvane-plot --help\n";
        return 1;
    }
    if (options.help) {
        std::cout << plothelp();
        return 0;
    }
    if (options.version) {
        std::cout << "corvane-plot " << CORVANE_VERSION << "\n";
        return 0;
    }
    try {
        std::vector<LogText> texts;
        for (const std::string& path : options.logs) texts.push_back({path, readinput("log", path)});
        const Log log = readlog(texts);
        reportskipped(log);
        if (!options.logs.empty() && log.runs.empty() && options.waterfall.empty())
            throw RuntimeError(illegalfunctioncall, "no record read from the log" +
                                                        std::string(options.logs.size() == 1 ? " \"" + options.logs[0] + "\"" : "s"));
        noteunseenstations(log, options);
        if (options.tdev) {
            writetdev(log, options);
            return 0;
        }
        if (!options.csv.empty()) writeoutput("CSV file", options.csv, csvtext(log, options.selection));
        if (!options.waterfall.empty()) {
            Picture picture;
            const std::string bytes = readinput("bitmap", options.waterfall);
            try {
                picture = readbmp(bytes);
            } catch (const std::runtime_error& e) {
                throw RuntimeError(illegalfunctioncall, "cannot read bitmap \"" + options.waterfall + "\": " + e.what());
            }
            std::vector<std::string> notes;
            const std::string svg = waterfallsvg(picture, log, options.waterfall, notes);
            for (const std::string& note : notes) std::cerr << "corvane-plot: note: " << note << "\n";
            writeoutput("SVG file", options.svg, svg);
        } else if (!options.svg.empty()) {
            std::string svg;
            try {
                svg = chartsvg(log, options.selection, logtitle("Corvane log", options));
            } catch (const std::runtime_error& e) {
                throw RuntimeError(illegalfunctioncall, std::string("cannot draw charts of the log: ") + e.what());
            }
            writeoutput("SVG file", options.svg, svg);
        }
        return 0;
    } catch (const RuntimeError& e) {
        std::cerr << "corvane-plot: " << e.what() << "\n";
        return e.number();
    } catch (const std::bad_alloc&) {
        std::cerr << "corvane-plot: out of memory\n";
        return outofmemory;
    }
}
