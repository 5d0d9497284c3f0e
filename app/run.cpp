#include "app/run.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "core/errors.h"
#include "core/numeric.h"
#include "core/numberformat.h"

namespace corvane {

namespace {

constexpr const char* bannertext = "Corvane Loran-C monitor " CORVANE_VERSION;

void startup(Run& run, const std::string& settingsfile, std::ostream& err) {
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

    createsamplebuffer(run.buffer, run.settings);
    const auto n = static_cast<std::int32_t>(run.stations.stations.size());
    createintegrator(run.integrator, n, run.settings.displaysamples);
    createsteering(run.steering, n, run.settings.displaysamples, run.settings);

    run.configuredsr = run.settings.sr;
    buildpulsepatterns(run.stations, run.timing, run.settings);
    computecarrieroffsets(run.taisync, run.stations.sync, run.settings.bandcenter);

    restartbuffer(run.buffer, run.settings.sr);
    initfrontend(run.frontend, run.settings);
    if (run.settings.wavinput == 0) secondticksync(run.clock, run.settings, run.platform.clock);
    openfirstfile(run.reader, run.buffer, run.clock, run.settings, run.platform, err);
    computestartepoch(run.clock, run.settings);
    runtaisync(run.taisync, run.stations, run.timing, run.reader, run.buffer, run.frontend, run.clock,
               run.settings, run.platform);
    createimage(run.image, run.settings, run.stations);
}

void startperiod(Run& run) {
    run.resynccount = 0;
    run.lockcount = 0;
    corvane::startperiod(run.integrator, run.settings);
    starttimingperiod(run.stations, run.timing, run.settings, run.buffer.bufstart, run.buffer.overlap,
                      run.clock.sampleepoch);
    const double angle = pi64 * run.settings.phasereference / 180.0;
    run.phaserotation[0] = static_cast<float>(std::cos(angle));
    run.phaserotation[1] = static_cast<float>(std::sin(angle));
    startsteeringperiod(run.steering, run.phaserotation);
}

void shortintegration(Run& run) {
    run.shortstart += run.settings.shortintegration;
    if (run.settings.nb != 0) updatethresholds(run.integrator, run.settings);
    showtimestamp(run.display, run.clock, run.settings, run.buffer.bufend, run.platform.console);
    shortintegrationstep(run.steering, run.integrator, run.stations, run.frontend, run.buffer, run.clock,
                         run.settings, run.configuredsr, run.lockcount, run.resynccount, run.platform);
    run.longcount += 1;
    // "Reaches" counts as "at least": a longintegration of 0 or less gives a
    // line every short integration.
    if (run.longcount >= run.settings.longintegration) {
        run.longcount = 0;
        appendline(run.image, run.settings, run.stations, run.timing, run.steering.longre, run.steering.longim,
                   run.steering.longresidual, run.display.utchour, run.platform);
        std::fill(run.steering.longre.begin(), run.steering.longre.end(), 0.0f);
        std::fill(run.steering.longim.begin(), run.steering.longim.end(), 0.0f);
        std::fill(run.steering.longresidual.begin(), run.steering.longresidual.end(), 0.0f);
    }
}

void endperiod(Run& run) {
    run.resynccount = 0;
    run.lockcount = 0;
    if (run.settings.wavinput != 0) {
        run.clock.startepoch += run.buffer.bufend;
    } else {
        run.settings.date = run.platform.clock.datetext();
        run.settings.time = run.platform.clock.timetext();
        computestartepoch(run.clock, run.settings);
    }
    run.settings.sr = run.configuredsr;
    restartbuffer(run.buffer, run.settings.sr);
    runtaisync(run.taisync, run.stations, run.timing, run.reader, run.buffer, run.frontend, run.clock,
               run.settings, run.platform);
}

// The main cycle; returns when the data has ended.
void maincycle(Run& run) {
    for (;;) {
        startperiod(run);
        // Samples the synchronisation has read are integrated before the next
        // read. Otherwise the period starts at sample time 0, and so does the
        // short integration (keeping the old period's shortstart would hold
        // back the first status line for as long as the old period lasted).
        bool integratefirst = run.buffer.bufend > 0;
        run.shortstart = integratefirst ? static_cast<float>(run.buffer.bufend) : 0.0f;
        for (;;) {
            if (!integratefirst) {
                if (run.reader.bytesleft <= 0) return;
                readblock(run.reader, run.buffer, run.frontend, run.clock, run.settings, run.platform);
            }
            integratefirst = false;
            integrateblock(run.integrator, run.stations, run.timing, run.buffer, run.settings);
            if (run.buffer.bufend > static_cast<double>(run.shortstart) + run.settings.shortintegration)
                shortintegration(run);
            if (run.resynccount >= 3) break;
        }
        endperiod(run);
    }
}

}  // namespace

int runmonitor(const std::string& settingsfile, Platform& platform, std::ostream& err) {
    Run run(platform);
    startup(run, settingsfile, err);
    maincycle(run);
    platform.console.writeline("");
    if (!run.reader.file.close())
        throw RuntimeError(fileioerror, "cannot close sample file \"" + run.settings.samplefile + "\": " + lastoserror());
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
        return runmonitor(settingsfilename(argc, argv), platform, err);
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
