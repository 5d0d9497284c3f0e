#include "stations/stationtable.h"

#include <string>

#include <gtest/gtest.h>

#include "app/errors.h"
#include "app/settings.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "stations/geodesy.h"

namespace corvane {
namespace {

Settings settingsfrom(const std::string& text) { return parsesettings(text, "01-15-2020", "12:00:00"); }

const char* const selection =
    "[location]\nlat = 50\nlon = 0\n"
    "[stations]\n7499m\n6731x\n9007w\n7001y\n";

TEST(StationTableReader, FieldSyntax) {
    const std::string table =
        "GRI,nr,letter,name,latd,latm,lats,ns,lond,lonm,lons,ew,ed,cd,kW\n"  // header line
        "\n"
        "   \t \n"
        "; a comment, with commas\n"
        "7499,0,M,\"Sylt, Rantum\",54,48,29.9,N,8,17,36.9,E,0,0,250,\n"  // a comma at the line end
        "\t6731 ,\t1,x, Soustons ,-43,44,23,n,1,22,49,w,12936.53,11000,250\n"  // tabs, blanks, lower case
        "9007,1,W,Jan Mayen,70,54,51,s\n"                                      // a record over two lines
        "8,43,57,W,14464.69,0,250\n"
        "7001,0,Y,Old,1,0,0,N,1,0,0,E,1,0,1\n"
        "7001,0,Y,New,-54,30,0,N,3,0,0,X,27300,0,0.5\n"  // overwrites the record before
        "\n";
    StationTable t = buildstationtable(settingsfrom(selection), table);
    ASSERT_EQ(t.stations.size(), 4u);

    const Station& sylt = t.stations[0];
    EXPECT_EQ(sylt.name, "Sylt, Rantum");
    EXPECT_FLOAT_EQ(sylt.power, 250);
    EXPECT_FLOAT_EQ(sylt.distance,
                    static_cast<float>(geodesicdistance({50, 0}, {54 + 48 / 60.0 + 29.9 / 3600, 8 + 17 / 60.0 + 36.9 / 3600})));

    const Station& soustons = t.stations[1];
    EXPECT_EQ(soustons.name, "Soustons ");  // blanks before the comma stay
    EXPECT_FLOAT_EQ(soustons.emissiondelay, 12.93653f);
    EXPECT_FLOAT_EQ(soustons.distance,
                    static_cast<float>(geodesicdistance({50, 0}, {43 + 44 / 60.0 + 23 / 3600.0, -(1 + 22 / 60.0 + 49 / 3600.0)})));

    const Station& janmayen = t.stations[2];
    EXPECT_EQ(janmayen.name, "Jan Mayen");
    EXPECT_FLOAT_EQ(janmayen.emissiondelay, 14.46469f);
    EXPECT_FLOAT_EQ(janmayen.distance,
                    static_cast<float>(geodesicdistance({50, 0}, {-(70 + 54 / 60.0 + 51 / 3600.0), -(8 + 43 / 60.0 + 57 / 3600.0)})));

    const Station& later = t.stations[3];
    EXPECT_EQ(later.name, "New");
    EXPECT_FLOAT_EQ(later.emissiondelay, 27.3f);
    EXPECT_FLOAT_EQ(later.power, 0.5f);
    EXPECT_FLOAT_EQ(later.distance, static_cast<float>(geodesicdistance({50, 0}, {54.5, 3})));
}

TEST(StationTableReader, MalformedInputNeverShiftsLaterRecords) {
    const std::string table =
        "not a record\n"
        "-7499,0,M,Negative,1,0,0,N,1,0,0,E,0,0,1\n"  // GRI 0 or less: the line is skipped
        "7499 \t,0,M,Sylt,54,0,0,N,8,0,0,E,abc,0,x\n"  // blanks after a number; garbage numbers
        "6731,0,X,\"unclosed,quote\n"                     // quote ends at the line end
        "43,0,0,N,1,0,0,W,5000,0,10\n"
        "\"quoted\",1,2\n"
        "9007,0,W," + std::string(100000, 'a') + ",70,0,0,N,8,0,0,W,1,0,1\n"  // overlong name
        "7001,0,Y,Short";                                                     // fields missing at the end
    StationTable t = buildstationtable(settingsfrom(selection), table);
    EXPECT_EQ(t.stations[0].name, "Sylt");
    EXPECT_FLOAT_EQ(t.stations[0].emissiondelay, 0);
    EXPECT_FLOAT_EQ(t.stations[0].power, 0);
    EXPECT_EQ(t.stations[1].name, "unclosed,quote");
    EXPECT_FLOAT_EQ(t.stations[1].power, 10);
    EXPECT_EQ(t.stations[2].name.size(), 100000u);
    EXPECT_FLOAT_EQ(t.stations[2].power, 1);
    EXPECT_TRUE(t.stations[3].found);
    EXPECT_EQ(t.stations[3].name, "Short");
    EXPECT_FLOAT_EQ(t.stations[3].distance, static_cast<float>(geodesicdistance({50, 0}, {0, 0})));
}

TEST(StationTableReader, EmptyLineInsideRecordIsSkipped) {
    // A blank line between two lines of one record holds no field.
    StationTable t = buildstationtable(settingsfrom(selection),
                                       "7499,0,M,Sylt,54,0,0,N\r\n\r\n8,0,0,E,0,0,250\r\n6731,0,X,B,1,0,0,N,1,0,0,E,0,0,7");
    EXPECT_FLOAT_EQ(t.stations[0].power, 250);
    EXPECT_FLOAT_EQ(t.stations[1].power, 7);
}

TEST(StationTableReader, MissingFileIsFileNotFound) {
    Settings s = settingsfrom(selection);
    s.table = "/nonexistent/corvane-table.txt";
    try {
        loadstationtable(s);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), filenotfound);
        EXPECT_NE(std::string(e.what()).find("\"/nonexistent/corvane-table.txt\""), std::string::npos);
    }
}

TEST(StationTableJoin, ChainDelaysSyncEntriesAndDuplicates) {
    const std::string text =
        "[location]\nlat = 50\nlon = 0\n"
        "[chaindelay]\n7499 = 0.5\n"
        "[taisync]\n7499m = 1\n6731z = 2\n"
        "[stations]\n7499m\n7499ml\n";
    StationTable t = buildstationtable(settingsfrom(text), "7499,0,M,Sylt,50,0,0,N,10,0,0,E,1000,0,250\n");
    ASSERT_EQ(t.stations.size(), 2u);
    // The same station twice, once over the long path.
    EXPECT_NEAR(t.stations[0].distance, 716.4230, 0.001);
    EXPECT_NEAR(t.stations[1].distance, 39319.169, 0.01);
    EXPECT_FLOAT_EQ(t.stations[0].emissiondelay, 1.5f);
    ASSERT_EQ(t.sync.size(), 2u);
    EXPECT_FLOAT_EQ(t.sync[0].emissiondelay, 1.5f);
    EXPECT_NEAR(t.sync[0].distance, 716.4230, 0.001);  // never the long path
    EXPECT_FLOAT_EQ(t.sync[1].distance, 0);             // not in the table
    EXPECT_FLOAT_EQ(t.sync[1].emissiondelay, 0);
}

TEST(StationTableJoin, DistanceBlankingAndHidden) {
    // Two stations at about 111 and 222 km, neither negative in the selection.
    const std::string table =
        "7499,0,M,Near,51,0,0,N,0,0,0,E,0,0,1\n"
        "7499,0,X,Far,52,0,0,N,0,0,0,E,0,0,1\n";
    const std::string base = "[location]\nlat = 50\nlon = 0\n[stations]\n7499m\n7499x\n";
    StationTable one = buildstationtable(settingsfrom(base + "blankedstns = 1\nblankingdistance = 500\n"), table);
    EXPECT_EQ(one.stations[0].blanked, 1);
    EXPECT_EQ(one.stations[1].blanked, 0);
    EXPECT_EQ(one.blankedcount, 1);

    StationTable none = buildstationtable(settingsfrom(base + "blankedstns = 0\nblankingdistance = 500\n-7499x\n"), table);
    EXPECT_EQ(none.blankedcount, 0);
    for (const Station& s : none.stations) EXPECT_EQ(s.blanked, 0);

    // A negative selection GRI comes first; a missing station has distance 0.
    StationTable first =
        buildstationtable(settingsfrom(base + "blankedstns = 2\nblankingdistance = 500\n-7499x\n6731m\n"), table);
    EXPECT_EQ(first.blankedcount, 2);
    EXPECT_EQ(first.stations[0].blanked, 1);
    EXPECT_EQ(first.stations[1].blanked, 0);
    EXPECT_EQ(first.stations[2].blanked, 1);
    EXPECT_EQ(first.stations[3].blanked, 0);

    EXPECT_EQ(buildstationtable(settingsfrom(base + "hidden = -3\n"), table).visiblecount, 2);
    EXPECT_EQ(buildstationtable(settingsfrom(base + "hidden = 1\n"), table).visiblecount, 1);
    EXPECT_EQ(buildstationtable(settingsfrom(base + "hidden = 7\n"), table).visiblecount, 0);
}

// A hidden, a blanked, a long-path and a missing station.
StationTable listexample() {
    const std::string text =
        "[location]\nlat = 50\nlon = 0\n"
        "[taisync]\n7499m = 1\n6731z = 1\n"
        "[stations]\nhidden = 1\nblankedstns = 1\nprintstationlist\n"
        "7499m\n-7499x\n7499m l\n6731z\n7001m\n";
    const std::string table =
        "7499,0,M,Sylt,50,0,0,N,10,0,0,E,0,0,250\n"
        "7499,1,X,\"Lessay, France\",49,0,0,N,0,0,0,W,15068.1,11000,400\n"
        "7001,0,M,Bo,51,0,0,N,0,0,0,E,0,0,400\n";
    return buildstationtable(settingsfrom(text), table);
}

TEST(StationList, ConsoleFileAndSummary) {
    StationTable t = listexample();
    testing::FakeConsole console;
    showstationlist(t, console);
    const std::string expected =
        " 7499 M Sylt 0ms 250kW 716.423km\n"
        " 7499 X Lessay, France 15.0681ms 400kW 111.2194km (blanked)\n"
        " 7499 M Sylt 0ms 250kW 39319.17km l\n"
        " 6731 Z not found in table\n"
        " 7001 M Bo 0ms 400kW 111.2387km (hidden)\n";
    EXPECT_EQ(console.transcript, expected);

    console.transcript.clear();
    showsyncsummary(t, console);
    EXPECT_EQ(console.transcript, " 1 blanked, sync to 7499 M 6731 Z");

    const std::string file = "stationtable-test-stations.txt";
    writestationlist(t, file);
    std::string written;
    ASSERT_TRUE(readwholefile(file, written));
    EXPECT_EQ(written,
              " Sylt\r\n_7499M 716km\r\n"
              " Lessay, France\r\n_7499X 111km\r\n"
              " Sylt\r\n_7499M 39319km\r\n"
              " \r\n_6731Z ?\r\n");
    deletefile(file);

    try {
        writestationlist(t, "/nonexistent/stations.txt");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), fileioerror);
    }
}

TEST(StationList, StationAtTheReceiverIsFound) {
    StationTable t = buildstationtable(settingsfrom("[location]\nlat = 50\nlon = 0\n[stations]\n7499m\n"),
                                       "7499,0,M,Here,50,0,0,N,0,0,0,E,0,0,5\n");
    testing::FakeConsole console;
    showstationlist(t, console);
    EXPECT_EQ(console.transcript, " 7499 M Here 0ms 5kW 0km\n");
    EXPECT_EQ(stationlisttext(t), " Here\r\n_7499M 0km\r\n");
}

}  // namespace
}  // namespace corvane
