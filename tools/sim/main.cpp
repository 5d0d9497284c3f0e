// corvane-sim: simulated Loran-C receiver samples, as a recording or as live
// files for the monitor. See --help.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "platform/platform.h"
#include "simoptions.h"
#include "simrun.h"
#include "synth.h"

int main(int argc, char** argv) {
    using namespace corvane;
    using namespace corvane::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        SimOptions options = parsesimoptions(args);
        if (options.help) {
            std::cout << simhelp();
            return 0;
        }
        if (options.version) {
            std::cout << "corvane-sim " << CORVANE_VERSION << "\n";
            return 0;
        }
        std::string tabletext;
        if (!options.stations.empty() && !readwholefile(options.table, tabletext))
            throw RuntimeError(filenotfound, "cannot open station table \"" + options.table + "\": " + lastoserror());
        std::string summary;
        std::vector<SimStation> stations = simstations(options, tabletext, summary);
        StartTime start = programtime(options.year, options.month, options.day, options.hour, options.minute,
                                      options.second);
        Synth synth = makesynth(options.rate, stations, options.impairments, start, options.seed, options.duration);
        auto platform = makesystemplatform();
        Clock& clock = platform->clock;
        const double begin = clock.counter();
        if (!options.quiet) {
            char line[200];
            std::snprintf(line, sizeof line, "corvane-sim: %.6g s at %.10g Hz (true %.10g Hz), %d bit, %s, band %.0f Hz\n",
                          options.duration, options.rate, synth.truerate, options.bits,
                          options.channels == 2 ? "stereo" : "mono", synth.shape.stopedge);
            std::cerr << line << summary;
        }
        RunTotals totals = options.output.empty() ? writelive(synth, options, clock) : writerecording(synth, options);
        if (!options.quiet) {
            char line[200];
            std::snprintf(line, sizeof line, "corvane-sim: %lld frames", static_cast<long long>(totals.frames));
            std::cerr << line;
            if (!options.live.empty()) std::cerr << " in " << totals.files << " live files";
            std::snprintf(line, sizeof line, ", %lld clipped values, %.2f s\n", static_cast<long long>(totals.clipped),
                          clock.counter() - begin);
            std::cerr << line;
        }
        return 0;
    } catch (const RuntimeError& e) {
        std::cerr << "corvane-sim: " << e.what() << "\n";
        if (e.number() == illegalfunctioncall) std::cerr << "corvane-sim: see corvane-sim --help\n";
        return e.number();
    } catch (const std::bad_alloc&) {
        std::cerr << "corvane-sim: out of memory\n";
        return outofmemory;
    }
}
