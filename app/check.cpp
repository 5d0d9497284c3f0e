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
    try {
        std::vector<std::string> warnings;
        const Settings settings = loadsettings(settingsfile, platform.clock, &warnings);
        reportsettingswarnings(warnings, err);
        validatesettings(settings);
        const StationTable table = loadstationtable(moduleconfigs(settings).stations);
        showstationlist(table, console);
        showsyncsummary(table, console);
        console.writeline("");
    } catch (const RuntimeError& e) {
        err << "corvane: " << e.what() << "\ncorvane: " << settingsfile
            << ": a run with these settings would be refused (runtime error " << e.number() << ")\n"
            << std::flush;
        return 1;
    }
    console.writeline("corvane: " + settingsfile + ": a run with these settings would start");
    return 0;
}

}  // namespace corvane
