// runtaisync: the synchronisation joined to the sample reader and the
// propagation model.
#include "acquisition/clock.h"
#include "acquisition/samplereader.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "pulses/frontend.h"
#include "stations/chaintiming.h"
#include "stations/geodesy.h"
#include "stations/stationtable.h"
#include "timesync/taisync.h"

namespace corvane {

void runtaisync(TaiSync& sync, const StationTable& table, const ChainTiming& timing,
                SampleReader& reader, SampleBuffer& buffer, FrontEnd& frontend, ClockState& clock,
                Settings& settings, Platform& platform) {
    if (!starttaisync(sync, table.sync, buffer, settings, platform.console)) return;
    // The end of a recording, or a live file of length 0, ends the gathering;
    // the main cycle then ends the run.
    gathersamples(sync, table.sync, buffer, settings, [&] {
        if (reader.bytesleft <= 0) return false;
        readblock(reader, buffer, frontend, clock, settings, platform);
        return true;
    });
    std::vector<long double> propagation;
    for (const SyncStation& ref : table.sync)
        propagation.push_back(propagationtime(ref.distance, timing.propagationspeed));
    finishtaisync(sync, table.sync, propagation, clock, settings, platform.console);
}

}  // namespace corvane
