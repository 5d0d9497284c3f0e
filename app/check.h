// `corvane --check`: reads and checks the settings file and the station table
// as a run would at start, without opening the samples or the bitmap.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane {

class Platform;

// Prints the station list and the synchronisation summary on the console,
// every settings warning and the refusal (if any) to err. Returns 0 when a
// run with these settings would start, 1 when it would be refused (settings
// refused, settings file or station table unreadable).
int checksettings(const std::string& settingsfile, Platform& platform, std::ostream& err);

// Writes each settings warning as one line "corvane: FILE:LINE: ..." to err.
void reportsettingswarnings(const std::vector<std::string>& warnings, std::ostream& err);

}  // namespace corvane
