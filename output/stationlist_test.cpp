#include "output/stationlist.h"

#include <string>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace corvane {
namespace {

StationEntry entry(std::int32_t gri, const char* letter, std::int16_t blanked = 0, const char* suffix = "",
                   float chaindelay = 0) {
    StationEntry e;
    e.gri = gri;
    e.letter = letter;
    e.blanked = blanked;
    e.suffix = suffix;
    e.chaindelay = chaindelay;
    return e;
}

TEST(StationList, ConsoleFileAndSummary) {
    // A blanked, a long-path, a missing and a hidden station.
    StationsConfig settings;
    settings.receiver = {50, 0};
    settings.hidden = 1;
    settings.blankedstns = 1;
    settings.selection = {entry(7499, "M"), entry(-7499, "X", 1), entry(7499, "M", 0, " l"), entry(6731, "Z"),
                          entry(7001, "M", 0, "", 0.5f)};
    settings.taireferences = {{7499, "M", 1, 0}, {6731, "Z", 1, 0}};
    StationTable t = buildstationtable(settings,
                                       "7499,0,M,Sylt,50,0,0,N,10,0,0,E,0,0,250\n"
                                       "7499,1,X,\"Lessay, France\",49,0,0,N,0,0,0,W,15068.1,11000,400\n"
                                       "7001,0,M,Bo,51,0,0,N,0,0,0,E,0,0,400\n");
    testing::FakeConsole console;
    showstationlist(t, console);
    showsyncsummary(t, console);
    EXPECT_EQ(console.transcript,
              " 7499 M Sylt 0ms 250kW 716.423km\n"
              " 7499 X Lessay, France 15.0681ms 400kW 111.2194km (blanked)\n"
              " 7499 M Sylt 0ms 250kW 39319.17km l\n"
              " 6731 Z not found in table\n"
              " 7001 M Bo 0.5ms 400kW 111.2387km (hidden)\n"
              " 1 blanked, sync to 7499 M 6731 Z");
    EXPECT_FLOAT_EQ(t.sync[0].distance, 716.4230f);  // short path
    EXPECT_EQ(t.sync[1].distance, 0);

    const std::string file = testing::testfolder() + "stationlist-test-stations.txt";
    writestationlist(t, file);
    std::string written;
    ASSERT_TRUE(readwholefile(file, written));
    deletefile(file);
    EXPECT_EQ(written,
              " Sylt\r\n_7499M 716km\r\n"
              " Lessay, France\r\n_7499X 111km\r\n"
              " Sylt\r\n_7499M 39319km\r\n"
              " \r\n_6731Z ?\r\n");
    EXPECT_THROW(writestationlist(t, "/nonexistent/stations.txt"), RuntimeError);

    // A transmitter at the receiver's own position is found, at 0 km.
    StationsConfig one;
    one.receiver = {50, 0};
    one.selection = {entry(7499, "M")};
    StationTable here = buildstationtable(one, "7499,0,M,Here,50,0,0,N,0,0,0,E,0,0,5\n");
    console.transcript.clear();
    showstationlist(here, console);
    EXPECT_EQ(console.transcript, " 7499 M Here 0ms 5kW 0km\n");
    EXPECT_EQ(stationlisttext(here), " Here\r\n_7499M 0km\r\n");
}

}  // namespace
}  // namespace corvane
