#include "stations/stationtable.h"

#include <string>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "stations/geodesy.h"

namespace corvane {
namespace {

Settings settingsfrom(const std::string& stations) {
    return parsesettings("[location]\nlat = 50\nlon = 0\n" + stations, "01-15-2020", "12:00:00");
}

float distanceto(double lat, double lon) { return static_cast<float>(geodesicdistance({50, 0}, {lat, lon})); }

TEST(StationTableReader, FieldSyntax) {
    const std::string table =
        "GRI,nr,letter,name,latd,latm,lats,ns,lond,lonm,lons,ew,ed,cd,kW\n"  // header
        "\n   \t \n"
        "; a comment, with commas\n"
        "7499,0,M,\"Sylt, Rantum\",54,48,36,N,8,18,0,E,0,0,250,\n"  // comma at the line end
        "\t6731 \t,\t1,x, Soustons ,-43,45,0,n,1,30,0,w,12936.53,0,9\n"
        "9007,1,W,Jan Mayen,70,54,0,s\r\n"  // a record over two lines
        "\r\n8,45,0,W,14464.69,0,7\n"
        "7001,0,Y,Old,1,0,0,N,1,0,0,E,1,0,1\n"
        "-1,0,Y,Negative,1,0,0,N,1,0,0,E,1,0,1\n"
        "7001,0,Y,New,-54,30,0,X,3,0,0,,27300,abc,0.5\n"  // overwrites Old
        "6000,0,M,\"unclosed,quote\n"
        "7,0,0,N,1,0,0,E,0,0,3\n"
        "8000,0,M," + std::string(100000, 'a') + ",1,0,0,N,1,0,0,E,0,0,4\n"
        "7950,0,M,Short\n";  // fields missing at the end
    StationTable t = buildstationtable(settingsfrom("[stations]\n7499m\n6731x\n9007w\n7001y\n6000m\n8000m\n7950m\n"), table);
    ASSERT_EQ(t.stations.size(), 7u);
    EXPECT_EQ(t.stations[0].name, "Sylt, Rantum");
    EXPECT_EQ(t.stations[0].distance, distanceto(54.81, 8.3));
    EXPECT_EQ(t.stations[1].name, "Soustons ");
    EXPECT_FLOAT_EQ(t.stations[1].emissiondelay, 12.93653f);
    EXPECT_EQ(t.stations[1].distance, distanceto(43.75, -1.5));
    EXPECT_EQ(t.stations[2].distance, distanceto(-70.9, -8.75));
    EXPECT_FLOAT_EQ(t.stations[2].power, 7);
    EXPECT_EQ(t.stations[3].name, "New");
    EXPECT_EQ(t.stations[3].distance, distanceto(54.5, 3));
    EXPECT_FLOAT_EQ(t.stations[3].emissiondelay, 27.3f);
    EXPECT_FLOAT_EQ(t.stations[3].power, 0.5f);
    EXPECT_EQ(t.stations[4].name, "unclosed,quote");
    EXPECT_FLOAT_EQ(t.stations[4].power, 3);
    EXPECT_EQ(t.stations[5].name.size(), 100000u);
    EXPECT_FLOAT_EQ(t.stations[5].power, 4);
    EXPECT_TRUE(t.stations[6].found);
    EXPECT_EQ(t.stations[6].distance, distanceto(0, 0));
}

TEST(StationTableReader, MissingFile) {
    Settings s = settingsfrom("[stations]\n7499m\n");
    s.table = "/nonexistent/corvane-table.txt";
    try {
        loadstationtable(s);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), filenotfound);
        EXPECT_NE(std::string(e.what()).find("\"/nonexistent/corvane-table.txt\""), std::string::npos);
    }
}

TEST(StationTableJoin, BlankingAndHidden) {
    const std::string table = "7499,0,M,Near,51,0,0,N,0,0,0,E,0,0,1\n7499,0,X,Far,52,0,0,N,0,0,0,E,0,0,1\n";
    const std::string base = "[stations]\n7499m\n7499x\nblankingdistance = 500\n";
    StationTable one = buildstationtable(settingsfrom(base + "blankedstns = 1\n"), table);
    EXPECT_EQ(one.stations[0].blanked + 2 * one.stations[1].blanked, 1);  // only the first in index order
    EXPECT_EQ(one.blankedcount, 1);
    EXPECT_EQ(buildstationtable(settingsfrom(base + "-7499x\n"), table).blankedcount, 0);  // blankedstns 0
    // Minus-marked stations count first; a station not found has distance 0.
    StationTable two = buildstationtable(settingsfrom(base + "blankedstns = 2\n-7499x\n6731m\n"), table);
    EXPECT_EQ(two.blankedcount, 2);
    EXPECT_EQ(two.stations[0].blanked + 2 * two.stations[2].blanked + 4 * two.stations[3].blanked, 3);

    EXPECT_EQ(buildstationtable(settingsfrom(base + "hidden = -3\n"), table).visiblecount, 2);
    EXPECT_EQ(buildstationtable(settingsfrom(base + "hidden = 7\n"), table).visiblecount, 0);
}

TEST(StationList, ConsoleFileAndSummary) {
    // A blanked, a long-path, a missing and a hidden station.
    Settings settings = settingsfrom(
        "[chaindelay]\n7001 = 0.5\n[taisync]\n7499m = 1\n6731z = 1\n"
        "[stations]\nhidden = 1\nblankedstns = 1\n7499m\n-7499x\n7499m l\n6731z\n7001m\n");
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

    const std::string file = "stationtable-test-stations.txt";
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
    StationTable here = buildstationtable(settingsfrom("[stations]\n7499m\n"), "7499,0,M,Here,50,0,0,N,0,0,0,E,0,0,5\n");
    console.transcript.clear();
    showstationlist(here, console);
    EXPECT_EQ(console.transcript, " 7499 M Here 0ms 5kW 0km\n");
    EXPECT_EQ(stationlisttext(here), " Here\r\n_7499M 0km\r\n");
}

}  // namespace
}  // namespace corvane
