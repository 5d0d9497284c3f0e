#include "app/check.h"

#include <ostream>

#include "app/settings.h"
#include "core/errors.h"
#include "output/stationlist.h"
#include "platform/platform.h"

namespace corvane {

void reportsettingswarnings(const std::vector<std::string>& warnings, std::ostream& err) {
    for (const std::string& w : warnings) err << "corvane: " << w << "\n";
    err << std::flush;
}

int checksettings(const std::string& settingsfile, Platform& platform, std::ostream& err) {
    Console& console = platform.console;
    std::vector<std::string> refusals;
    int number = illegalfunctioncall;
    try {
        std::vector<std::string> warnings;
        const Settings settings = loadsettings(settingsfile, platform.clock, &warnings);
        reportsettingswarnings(warnings, err);
        refusals = settingsrefusals(settings);
        try {
            const StationsConfig stations = moduleconfigs(settings).stations;
            const StationTable table = loadstationtable(stations);
            for (const std::string& line : unknownreferences(table, stations.table)) refusals.push_back(line);
            showstationlist(table, console);
            showsyncsummary(table, console);
            console.writeline("");
        } catch (const RuntimeError& e) {
            if (refusals.empty()) number = e.number();
            refusals.push_back(e.what());
        }
    } catch (const RuntimeError& e) {
        number = e.number();
        refusals.push_back(e.what());
    }
    if (!refusals.empty()) {
        for (const std::string& r : refusals) err << "corvane: " << r << "\n";
        err << "corvane: " << settingsfile << ": a run with these settings would be refused (runtime error "
            << number << ")\n"
            << std::flush;
        return 1;
    }
    console.writeline("corvane: " + settingsfile + ": a run with these settings would start");
    return 0;
}

}  // namespace corvane
