// Fuzz target: the station table reader, the join and the station list.
#include <cstdint>
#include <string>

#include "app/settings.h"
#include "output/stationlist.h"
#include "platform/testing.h"
#include "stations/stationtable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const corvane::StationsConfig settings = corvane::moduleconfigs(corvane::parsesettings(
        "[location]\nlat = 54\nlon = -3\n[stations]\nblankedstns = 2\nblankingdistance = 500\n"
        "hidden = 1\n6731m\n-6731y\n6731yl\n7499x\n1a\n[taisync]\n6731m = 1\n7499x = 2\n",
        "01-15-2020", "12:00:00")).stations;
    std::string text(reinterpret_cast<const char*>(data), size);
    corvane::StationTable table = corvane::buildstationtable(settings, text);
    corvane::testing::FakeConsole console;
    corvane::showstationlist(table, console);
    corvane::showsyncsummary(table, console);
    return 0;
}
