#include "app/runlog.h"

#include <cmath>
#include <limits>

#include "core/numeric.h"

namespace corvane {

namespace {

std::string stationid(std::int32_t gri, const std::string& letter) { return std::to_string(gri) + letter; }

// The time of the newest sample, as the log writes it.
std::string newestsample(const Run& run) {
    return logutc(epochofbuffer(run.clock.timebase) + run.buffer.bufend, run.clock.leapsecs, run.config.log.clockoffset);
}

}  // namespace

void logeloranmessage(Run& run, const eloran::ChannelMessage& channelmessage, const std::string& station) {
    if (!run.log.on()) return;
    const eloran::Message& m = channelmessage.framed.message;
    const LogEloranMessage record{.station = station,
                                  .msgtype = m.type,
                                  .subtype = m.subtype,
                                  .values = eloran::loggedvalues(m),
                                  .words = eloran::wordshex(channelmessage.framed.data)};
    writerecord(run.log, eloranmessagerecord(record, newestsample(run)));
}

void logeloranfix(Run& run, const EloranFix& fix) {
    if (!run.log.on()) return;
    const LogEloranFix record{fix.match ? "match" : "disagree", fix.station, fix.offset, fix.residual, fix.ut};
    writerecord(run.log, eloranfixrecord(record, newestsample(run)));
}

void logstart(Run& run, const std::string& settingsfile) {
    if (!run.log.on()) return;
    const Settings& s = run.settings;
    LogStart start{CORVANE_VERSION, settingsfile, s.wavinput == 0, s.samplefile, s.lat, s.lon, s.sr,
                   s.displaysamples, s.shortintegration, s.longintegration, s.bmp, "", {}};
    const std::vector<Station>& stations = run.stations.stations;
    if (s.referencestation >= 0 && static_cast<std::size_t>(s.referencestation) < stations.size())
        start.reference = stationid(stations[static_cast<std::size_t>(s.referencestation)].gri,
                                    stations[static_cast<std::size_t>(s.referencestation)].letter);
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const Station& st = stations[i];
        start.stations.push_back({stationid(st.gri, st.letter), st.gri, st.letter, st.name, st.distance,
                                  st.emissiondelay, st.blanked != 0,
                                  static_cast<std::int32_t>(i) >= run.stations.visiblecount});
    }
    writerecord(run.log, startrecord(start, newestsample(run)));
}

void logstatus(Run& run) {
    if (!run.log.on()) return;
    StationPulses& pulses = run.stationpulses;
    if (pulses.analyses.size() != run.stations.stations.size())
        createstationpulses(pulses, static_cast<std::int32_t>(run.stations.stations.size()),
                            run.settings.displaysamples);
    analysestations(pulses, run.integrator, run.config.pulse);
    LogStatus status{run.reference.peak, run.reference.edge, run.sampleclock.sr, run.oscillator.fracfreq,
                     run.oscillator.shownfdrift, run.oscillator.lockcount >= 4, run.settings.wavinput == 0,
                     -run.clock.pcclockerror, {}};
    for (std::size_t s = 0; s < pulses.analyses.size(); ++s) {
        const Station& st = run.stations.stations[s];
        const PulseAnalysis& a = pulses.analyses[s];
        status.stations.push_back({stationid(st.gri, st.letter), pulses.analysed[s] != 0, a.peak, a.edge,
                                   static_cast<float>(a.phase * 180.0 / pi64), pulses.snrdb[s]});
    }
    writerecord(run.log, statusrecord(status, newestsample(run)));
}

void logsync(Run& run, const std::optional<TaiResult>& result) {
    if (!run.log.on() || !result) return;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    LogTaiSync sync{result->match, result->offset, std::sqrt(result->best),
                    uttext(run.clock.timebase.sampleepoch, run.clock.leapsecs, run.config.tai.clockoffset),
                    result->ambiguity > 0 ? result->ambiguity : nan, {}};
    const std::vector<SyncStation>& refs = run.stations.sync;
    for (std::size_t t = 0; t < refs.size() && t < run.taisync.entries.size(); ++t) {
        const TaiSyncEntry& e = run.taisync.entries[t];
        LogSyncReference reference{stationid(refs[t].gri, refs[t].letter), e.measured, e.measuredphase, nan, nan};
        if (t < result->references.size()) {
            const TaiReferenceResult& r = result->references[t];
            reference.peak = r.amplitude;
            if (r.measured) reference.residualms = r.residual * 1000;
        }
        sync.references.push_back(reference);
    }
    sync.candidates = result->fitting;
    sync.runnerup = result->runnerup;
    writerecord(run.log, taisyncrecord(sync, newestsample(run)));
}

void logline(Run& run) {
    if (!run.log.on()) return;
    writerecord(run.log, linerecord(run.image.imageheight, newestsample(run)));
}

bool logend(Run& run, const std::string& reason, int status, int error, const std::string& message) {
    try {
        return trywriterecord(run.log, endrecord({reason, status, error, message}, newestsample(run)));
    } catch (...) {  // out of memory while building the record
        return false;
    }
}

}  // namespace corvane
