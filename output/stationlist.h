// The station list on the console and in the station list file
// "stations.txt", and the synchronisation summary.
//
// Console line per station: GRI, letter, then name, emission delay (ms),
// power (kW) and distance (km) as real32 numbers, or " not found in table";
// " (hidden)", " (blanked)", the suffix. File: two CR LF lines per visible
// station, " name" and "_GRIletter distance-in-whole-km km" (" ?" when not
// found).
#pragma once

#include <string>

#include "stations/stationtable.h"

namespace corvane {

class Console;

void showstationlist(const StationTable& table, Console& console);
std::string stationlisttext(const StationTable& table);
// Writes the station list file; a failure throws RuntimeError "file I/O error".
void writestationlist(const StationTable& table, const std::string& path = "stations.txt");
// The blanked count and the TAI reference stations; the line is left open.
void showsyncsummary(const StationTable& table, Console& console);

}  // namespace corvane
