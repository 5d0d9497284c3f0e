// Run control's records of the measurement log: each call takes the run's
// state, hands the log module plain values and writes one record when the log
// is on; when it is off, nothing is done (no analysis, no text).
#pragma once

#include <optional>
#include <string>

#include "app/run.h"

namespace corvane {

// The start record: version, settings, input, position and stations.
void logstart(Run& run, const std::string& settingsfile);
// One status record per short integration: the status line's values and every
// station's pulse, analysed here from the integration rows (call before the
// fold clears them).
void logstatus(Run& run);
// The TAI result of a synchronisation; nothing when it did not run.
void logsync(Run& run, const std::optional<TaiResult>& result);
// The waterfall line just appended.
void logline(Run& run);
// A decoded eLoran message of the data channel, and a time fix from one.
void logeloranmessage(Run& run, const eloran::ChannelMessage& message, const std::string& station);
void logeloranfix(Run& run, const EloranFix& fix);
// How the run ended: reason "end of data", "quit key" or "runtime error"
// (error 1 .. 4 and its message), with the exit status. Never throws: a failed
// run's end must not hide its error. Returns false when the write failed.
bool logend(Run& run, const std::string& reason, int status, int error = 0, const std::string& message = "");

}  // namespace corvane
