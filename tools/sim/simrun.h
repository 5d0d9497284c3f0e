// corvane-sim's run: the stations from the table, then the samples block by
// block into a recording or into live files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simoptions.h"
#include "synth.h"

namespace corvane {
class Clock;
}

namespace corvane::sim {

// The chosen stations joined with the table text (the monitor's reader and
// geodesy): delay = emission delay (+ chain delay) + propagation time from the
// receiver, amplitude by the ground-wave model. One line per station is
// appended to `summary`. Throws RuntimeError 1 for a station not in the table.
std::vector<SimStation> simstations(const SimOptions& options, const std::string& tabletext, std::string& summary);

struct RunTotals {
    std::int64_t frames = 0;
    std::int64_t clipped = 0;
    std::int64_t files = 0;      // live files handed over, the end file included
};

// Frames of the run: duration x rate, rounded.
std::int64_t runframes(const SimOptions& options);

// Writes the recording under FILE.part and renames it to FILE when complete;
// throws RuntimeError 3 on a write failure (the partial file is removed).
RunTotals writerecording(Synth& synth, const SimOptions& options);

// Writes live files by the rename convention (acquisition/livewriter.h).
RunTotals writelive(Synth& synth, const SimOptions& options, Clock& clock);

}  // namespace corvane::sim
