#include "app/run.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <ostream>
#include <vector>

#include "app/check.h"
#include "app/runlog.h"
#include "core/errors.h"
#include "core/numeric.h"
#include "core/numberformat.h"
#include "eloran/message.h"
#include "output/stationlist.h"
#include "stations/geodesy.h"

namespace corvane {

namespace {

constexpr const char* bannertext = "Corvane Loran-C monitor " CORVANE_VERSION;

// Reads the next block: the bias of the samples about to leave the buffer,
// the block itself, then the front end on the new samples.
void readnextblock(Run& run) {
    accumulatebias(run.frontend, run.buffer, run.config.frontend);
    readblock(run.reader, run.buffer, run.clock, run.config.input, run.sampleclock.sr, run.platform);
    conditionblock(run.frontend, run.buffer, run.config.frontend);
}

// The TAI synchronisation, reading its own blocks; the end of a recording,
// or a live file of length 0, ends the gathering (the main cycle then ends
// the run). Returns the result, or nothing when the synchronisation is off.
std::optional<TaiResult> synchronise(Run& run) {
    Console& console = run.platform.console;
    const std::vector<SyncStation>& refs = run.stations.sync;
    if (!starttaisync(run.taisync, refs, run.buffer, run.config.tai, console)) return std::nullopt;
    gathersamples(run.taisync, refs, run.buffer, run.config.tai, [&] {
        if (run.reader.bytesleft <= 0) return false;
        readnextblock(run);
        return true;
    });
    Propagation propagation;
    for (const SyncStation& ref : refs) {
        propagation.station.push_back(propagationtime(ref.distance, run.timing.propagationspeed));
        propagation.master.push_back(propagationtime(ref.masterdistance, run.timing.propagationspeed));
    }
    return finishtaisync(run.taisync, refs, propagation, run.clock, run.config.tai, console);
}

void startup(Run& run, const std::string& settingsfile, std::ostream& err) {
    Console& console = run.platform.console;
    console.writeline("");
    console.writeline(bannertext);
    console.writeline("");

    std::vector<std::string> warnings;
    run.settings = loadsettings(settingsfile, run.platform.clock, &warnings);
    reportsettingswarnings(warnings, err);
    validatesettings(run.settings);
    run.config = moduleconfigs(run.settings);
    const ModuleConfigs& config = run.config;
    openlog(run.log, config.log);

    run.stations = loadstationtable(config.stations);
    const std::vector<std::string> unknown = unknownreferences(run.stations, config.stations.table);
    if (!unknown.empty()) throw RuntimeError(illegalfunctioncall, unknown.front());
    showstationlist(run.stations, console);
    if (run.settings.printstationlist != 0) writestationlist(run.stations);
    showsyncsummary(run.stations, console);

    createsamplebuffer(run.buffer, config.input);
    const auto n = static_cast<std::int32_t>(run.stations.stations.size());
    const std::int32_t d = run.settings.displaysamples;
    createintegrator(run.integrator, n, d);
    if (!config.eloran.stations.empty()) {
        run.channel = std::make_unique<eloran::DataChannel>(config.eloran);
        attachlistener(run.integrator, run.channel.get(), run.channel->flags(n));
    }
    createpulseanalysis(run.reference, d);
    if (d < smallestanalysedwindow)
        console.writeline("displaysamples " + std::to_string(d) + " is below " +
                          std::to_string(smallestanalysedwindow) +
                          ": the reference pulse is not analysed and the sample clock not tracked");
    createoscillator(run.oscillator, config.steering);
    createlongintegration(run.rows, n, d);
    // The bitmap before any sample is read: a folder that cannot take it ends
    // the run here, not after the synchronisation.
    createimage(run.image, config.waterfall, run.stations);

    run.sampleclock = {run.settings.sr, run.settings.sr};
    buildpulsepatterns(run.stations, run.timing, config.timing);
    computecarrieroffsets(run.taisync, run.stations.sync, run.settings.bandcenter);

    restartbuffer(run.buffer, run.sampleclock.sr);
    initfrontend(run.frontend, config.frontend);
    run.clock.date = run.settings.date;
    run.clock.time = run.settings.time;
    if (run.settings.wavinput == 0) secondticksync(run.clock, config.input.clock, run.platform.clock);
    openfirstfile(run.reader, run.buffer, run.clock, config.input, run.platform, err);
    computestartepoch(run.clock, config.input.clock, run.settings.wavinput == 0);
    const std::optional<TaiResult> first = synchronise(run);
    // The start record follows the first synchronisation, so that it carries
    // the synchronised time like the records after it.
    logstart(run, settingsfile);
    logsync(run, first);
}

void startperiod(Run& run) {
    run.ratelimit = {};
    run.health.resynccount = 0;
    run.oscillator.lockcount = 0;
    starttimingperiod(run.stations, run.timing, run.config.timing, run.buffer.bufstart, run.buffer.overlap,
                      run.clock.timebase.sampleepoch);
    corvane::startperiod(run.integrator, run.timing, run.config.integrator);
    const double angle = pi64 * run.settings.phasereference / 180.0;
    run.phaserotation[0] = static_cast<float>(std::cos(angle));
    run.phaserotation[1] = static_cast<float>(std::sin(angle));
    startfoldperiod(run.rows, run.phaserotation);
    if (run.channel) run.channel->restart();
    starteloranperiod(run.elorantime);
}

// The data channel's new messages, each on a line above the status line, and
// the time fix they may give.
void eloranmessages(Run& run) {
    for (const eloran::ChannelMessage& m : run.channel->takemessages()) {
        const eloran::ListenedStation& st = run.channel->config().stations[m.entry];
        Console& console = run.platform.console;
        const StatusValues* status = run.statusshown ? &run.laststatus : nullptr;
        showlineabove(eloran::messageline(m.framed.message, st.id), run.display, status, console);
        logeloranmessage(run, m, st.id);
        const double propagation = static_cast<double>(propagationtime(
            run.stations.stations[static_cast<size_t>(st.station)].distance, run.timing.propagationspeed));
        const std::optional<EloranFix> fix =
            takeeloranmessage(run.elorantime, m, st, propagation, run.clock, run.config.tai.clockoffset);
        if (!fix) continue;
        showlineabove(eloranreport(*fix), run.display, status, console);
        logeloranfix(run, *fix);
    }
}

// The steps of a short integration, in order: reference analysis, sample
// clock, oscillator and steering, status line, fold, period health.
void shortintegrationsteps(Run& run) {
    const ModuleConfigs& config = run.config;
    // A window too short for the edge search leaves the reference and the
    // sample clock as they are.
    if (run.integrator.windowsamples >= smallestanalysedwindow) {
        analysepulse(run.reference, run.integrator, run.settings.referencestation, config.pulse);
        if (config.sampleclock.srcorr != 0) {
            tracksampleclock(run.sampleclock, run.buffer, run.reference.edge, config.sampleclock);
            if (watchratelimit(run.ratelimit, run.sampleclock) && run.err != nullptr)
                *run.err << "corvane: the sample rate has sat at its limit for " << ratelimitcount
                         << " short integrations: the reference station is probably not received;"
                            " give [taisync] reference stations, a resynclimit, or another"
                            " referencestation\n"
                         << std::flush;
        }
    }
    trackoscillator(run.oscillator, run.reference, run.sampleclock, config.steering);
    const std::string command = steeringcommand(run.oscillator, config.steering);
    if (!command.empty()) run.platform.commands.run(command);
    run.laststatus = {run.reference.peak, run.reference.edge, run.sampleclock.sr, run.oscillator.fracfreq,
                      run.oscillator.shownfdrift};
    run.statusshown = true;
    showstatus(run.laststatus, run.platform.console);
    logstatus(run);

    followreference(run.rows, run.reference, config.fold);
    if (config.fold.notch100khz != 0) updatebias(run.rows, takebias(run.frontend));
    fold(run.rows, run.integrator, run.stations, run.timing, config.fold, run.sampleclock.sr);
    judgeshortintegration(run.health, run.reference.peak, run.clock.pcclockerror, config.health);
}

// One waterfall line from the long integration; the daily chain steps follow
// the change to hour 0 UTC.
void longintegration(Run& run) {
    subtractauxiliaryrows(run.rows, run.stations, run.timing, run.stations.visiblecount,
                          run.settings.displaysamples);
    const std::int32_t hour = run.display.utchour;
    const bool newhour = appendline(run.image, run.config.waterfall, run.stations, run.rows, hour, run.platform);
    logline(run);
    if (newhour && hour == 0) shiftwindows(run.integrator, applydailysteps(run.stations, run.timing, run.config.timing));
    clearlongintegration(run.rows);
}

void shortintegration(Run& run) {
    if (run.settings.nb != 0) updatethresholds(run.integrator, run.config.integrator);
    showtimestamp(run.display, run.clock, run.config.display, run.buffer.bufend, run.platform.console);
    shortintegrationsteps(run);
    run.longcount += 1;
    // "Reaches" counts as "at least": a longintegration of 0 or less gives a
    // line every short integration.
    if (run.longcount >= run.settings.longintegration) {
        run.longcount = 0;
        longintegration(run);
    }
}

void endperiod(Run& run) {
    run.health.resynccount = 0;
    run.oscillator.lockcount = 0;
    if (run.settings.wavinput != 0) {
        advancestartepoch(run.clock.timebase, run.buffer.bufend);
    } else {
        const Clock::DateTime now = shifteddatetime(run.platform.clock.datetime(), run.config.input.clock.utcoffset);
        run.clock.date = now.date;
        run.clock.time = now.time;
        computestartepoch(run.clock, run.config.input.clock, true);
    }
    const double carried = run.clock.timebase.sampleepoch + run.buffer.bufend;  // program time of the new buffer time 0
    run.sampleclock.sr = run.sampleclock.configuredsr;
    restartbuffer(run.buffer, run.sampleclock.sr);
    logsync(run, synchronise(run));
    keepeloranfix(run.elorantime, run.clock, carried);
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
        run.shortstart = integratefirst ? run.buffer.bufend : 0.0;
        for (;;) {
            if (!integratefirst) {
                if (run.reader.bytesleft <= 0) return;
                readnextblock(run);
            }
            integratefirst = false;
            integrateblock(run.integrator, run.stations, run.timing, run.buffer, run.config.integrator,
                           run.sampleclock.sr);
            if (run.channel) eloranmessages(run);
            if (shortintegrationdue(run.shortstart, run.buffer.bufend, run.settings.shortintegration))
                shortintegration(run);
            if (run.health.resynccount >= badperiodcount) break;
        }
        endperiod(run);
    }
}

}  // namespace

bool shortintegrationdue(double& shortstart, double bufend, float shortintegration) {
    if (!(bufend > shortstart + shortintegration)) return false;
    shortstart += shortintegration;
    return true;
}

int runmonitor(const std::string& settingsfile, Platform& platform, std::ostream& err) {
    Run run(platform);
    run.err = &err;
    // Every way out of the run ends the log with its reason.
    try {
        startup(run, settingsfile, err);
        maincycle(run);
        platform.console.writeline("");
        if (!run.reader.file.close())
            throw RuntimeError(fileioerror,
                               "cannot close sample file \"" + run.settings.samplefile + "\": " + lastoserror());
    } catch (const QuitRequested&) {
        logend(run, "quit key", 0);
        throw;
    } catch (const RuntimeError& e) {
        logend(run, "runtime error", e.number(), e.number(), e.what());
        throw;
    } catch (const std::bad_alloc&) {
        logend(run, "runtime error", outofmemory, outofmemory, "");
        throw;
    }
    if (!logend(run, "end of data", 0))
        throw RuntimeError(fileioerror, "cannot write log file \"" + run.log.path + "\": " + lastoserror());
    closelog(run.log);
    return 0;
}

// The --help text.
constexpr const char* helptext =
    "usage: corvane [--check] [settings file]\n"
    "       corvane -h | --help | -V | --version\n"
    "\n"
    "Monitors Loran-C signals in the complex baseband samples of a receiver.\n"
    "All other arguments, joined by single blanks, name the settings file;\n"
    "without them it is \"corvane.ini\". Press q to quit.\n"
    "\n"
    "  --check        read and check the settings file and the station table,\n"
    "                 print the station list, every warning and the refusal\n"
    "                 if any; exit 0 when a run would start, 1 when refused;\n"
    "                 the samples are not opened\n"
    "  -h, --help     this text\n"
    "  -V, --version  the program's version\n"
    "\n"
    "Every argument starting with \"-\" is taken as an option, and one not\n"
    "listed here is an error: a settings file whose name starts with \"-\" is\n"
    "given as ./-name.\n"
    "\n"
    "Exit status: 0 at the end of the data or on q, else the runtime error\n"
    "number (1 illegal function call, 2 file not found, 3 file I/O error,\n"
    "4 out of memory).";

int corvanemain(int argc, const char* const* argv, Platform& platform, std::ostream& err) {
    // Every argument starting with "-" is an option: a settings file name
    // starting with "-" is not worth the confusion.
    bool help = false, version = false, check = false;
    std::vector<const char*> names{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version" || a == "-V") {
            version = true;
        } else if (a == "--check") {
            check = true;
        } else if (!a.empty() && a[0] == '-') {
            err << "corvane: unknown option \"" << a << "\"; see corvane --help\n" << std::flush;
            return illegalfunctioncall;
        } else {
            names.push_back(argv[i]);
        }
    }
    if (help) {
        platform.console.writeline(helptext);
        return 0;
    }
    if (version) {
        platform.console.writeline(bannertext);
        return 0;
    }
    const std::string settingsfile = settingsfilename(static_cast<int>(names.size()), names.data());
    if (check) return checksettings(settingsfile, platform, err);
    try {
        return runmonitor(settingsfile, platform, err);
    } catch (const QuitRequested&) {
        // The status line ends before the program does: the shell's prompt
        // starts on a fresh line.
        platform.console.writeline("");
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
