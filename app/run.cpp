#include "app/run.h"

#include <cmath>
#include <numbers>
#include <ostream>

#include "acquisition/blockgeometry.h"
#include "app/errors.h"
#include "output/numberformat.h"

namespace corvane {

namespace {

constexpr const char* bannertext = "Corvane Loran-C monitor " CORVANE_VERSION;

void startup(Run& run, const std::string& settingsfile) {
    Console& console = run.platform.console;
    console.writeline("");
    console.writeline(bannertext);
    console.writeline("");

    run.settings = loadsettings(settingsfile, run.platform.clock);
    validatesettings(run.settings);

    run.stations = loadstationtable(run.settings);
    showstationlist(run.stations, console);
    if (run.settings.printstationlist != 0) writestationlist(run.stations);
    showsyncsummary(run.stations, console);

    run.configuredsr = run.settings.sr;
    buildpulsepatterns(run.stations, run.timing, run.settings);

    if (run.settings.wavinput == 0) secondticksync(run.clock, run.settings, run.platform.clock);
    computestartepoch(run.clock, run.settings);

    createimage(run.image, run.settings, run.stations);
}

// Bytes of the open sample file not yet read; the run ends when it is 0 or
// less at a block read.
std::int64_t bytesleft(const Run&) { return 0; }
double bufend(const Run&) { return 0; }

void startperiod(Run& run) {
    run.resynccount = 0;
    run.lockcount = 0;
    const std::int32_t overlap = computeblockgeometry(run.settings).overlap;
    const double bufstart = -overlap / run.settings.sr;  // sample buffer
    starttimingperiod(run.stations, run.timing, run.settings, bufstart, overlap, run.clock.sampleepoch);
    const double angle = std::numbers::pi * run.settings.phasereference / 180.0;
    run.phaserotation[0] = static_cast<float>(std::cos(angle));
    run.phaserotation[1] = static_cast<float>(std::sin(angle));
}

void shortintegration(Run& run) {
    run.shortstart += run.settings.shortintegration;
    run.longcount += 1;
    if (run.longcount >= run.settings.longintegration) {
        run.longcount = 0;
    }
}

void endperiod(Run& run) {
    run.resynccount = 0;
    run.lockcount = 0;
    if (run.settings.wavinput != 0) {
        run.clock.startepoch += bufend(run);
    } else {
        run.settings.date = run.platform.clock.datetext();
        run.settings.time = run.platform.clock.timetext();
        computestartepoch(run.clock, run.settings);
    }
    run.settings.sr = run.configuredsr;
}

// The main cycle; returns when the data has ended.
void maincycle(Run& run) {
    for (;;) {
        startperiod(run);
        bool integratefirst = bufend(run) > 0;
        if (integratefirst) run.shortstart = static_cast<float>(bufend(run));
        for (;;) {
            if (!integratefirst) {
                if (bytesleft(run) <= 0) return;
            }
            integratefirst = false;
            if (bufend(run) > static_cast<double>(run.shortstart) + run.settings.shortintegration)
                shortintegration(run);
            if (run.resynccount >= 3) break;
        }
        endperiod(run);
    }
}

}  // namespace

int runmonitor(const std::string& settingsfile, Platform& platform) {
    Run run(platform);
    startup(run, settingsfile);
    maincycle(run);
    platform.console.writeline("");
    return 0;
}

int corvanemain(int argc, const char* const* argv, Platform& platform, std::ostream& err) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        platform.console.writeline(bannertext);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--help") {
        platform.console.writeline(
            "usage: corvane [settings file]\n"
            "\n"
            "Monitors Loran-C signals in the complex baseband samples of a receiver.\n"
            "All arguments, joined by single blanks, name the settings file;\n"
            "without arguments it is \"corvane.ini\". Press q to quit.\n"
            "Exit status: 0 at the end of the data or on q, else the runtime error\n"
            "number (1 illegal function call, 2 file not found, 3 file I/O error,\n"
            "4 out of memory).");
        return 0;
    }
    try {
        return runmonitor(settingsfilename(argc, argv), platform);
    } catch (const QuitRequested&) {
        return 0;
    } catch (const RuntimeError& e) {
        err << runtimeerrorreport(e.number(), e.what()) << std::flush;
        return e.number();
    } catch (const std::bad_alloc&) {
        err << runtimeerrorreport(outofmemory, "") << std::flush;
        return outofmemory;
    }
}

}  // namespace corvane
