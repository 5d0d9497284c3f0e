// Fuzz target: the station table reader, the join and the station list.
#include <cstdint>
#include <string>

#include "output/stationlist.h"
#include "platform/testing.h"
#include "stations/stationtable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const corvane::StationsConfig settings = [] {
        corvane::StationsConfig c;
        c.receiver = {54, -3};
        c.blankedstns = 2;
        c.blankingdistance = 500;
        c.hidden = 1;
        c.selection = {{6731, "M", "", 0, 0}, {-6731, "Y", "", 1, 0}, {6731, "Y", "l", 0, 0},
                       {7499, "X", "", 0, 0}, {1, "A", "", 0, 0}};
        c.taireferences = {{6731, "M", 1, 0}, {7499, "X", 2, 0}};
        return c;
    }();
    std::string text(reinterpret_cast<const char*>(data), size);
    corvane::StationTable table = corvane::buildstationtable(settings, text);
    corvane::testing::FakeConsole console;
    corvane::showstationlist(table, console);
    corvane::showsyncsummary(table, console);
    return 0;
}
