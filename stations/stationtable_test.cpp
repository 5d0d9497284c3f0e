#include "stations/stationtable.h"

#include <string>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "platform/platform.h"
#include "platform/testing.h"
#include "stations/geodesy.h"

namespace corvane {
namespace {

StationEntry entry(std::int32_t gri, const char* letter, std::int16_t blanked = 0) {
    StationEntry e;
    e.gri = gri;
    e.letter = letter;
    e.blanked = blanked;
    return e;
}

// A receiver at 50 N, 0 E with the given selection.
StationsConfig configof(std::vector<StationEntry> selection) {
    StationsConfig c;
    c.receiver = {50, 0};
    c.selection = std::move(selection);
    return c;
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
    StationTable t = buildstationtable(configof({entry(7499, "M"), entry(6731, "X"), entry(9007, "W"), entry(7001, "Y"),
                                                 entry(6000, "M"), entry(8000, "M"), entry(7950, "M")}),
                                       table);
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

// A record of a station out of use (GRI -7499) spread over two lines takes
// both; a byte-order mark in front of the first record leaves it readable.
TEST(StationTableReader, EveryNumericRecordTakesItsFifteenFields) {
    const std::string table =
        "\xEF\xBB\xBF" "7499,0,M,Sylt,54,48,36,N,8,18,0,E,0,0,250\n"
        "-7499,0,M,Old Sylt\n"
        "54,48,36,N,8,18,0,E,0,0,250\n"
        "7499,0,X,Lessay,49,8,0,N,1,30,0,W,13,0,250\n"
        "6731,0,Z,Vaerlandet,61,18,0,N,4,42,0,E,27,0,250\n";
    StationTable t = buildstationtable(configof({entry(7499, "M"), entry(7499, "X"), entry(6731, "Z")}), table);
    ASSERT_EQ(t.stations.size(), 3u);
    EXPECT_EQ(t.stations[0].name, "Sylt");
    EXPECT_EQ(t.stations[1].name, "Lessay");
    EXPECT_FLOAT_EQ(t.stations[1].emissiondelay, 0.013f);
    EXPECT_EQ(t.stations[2].name, "Vaerlandet");
    EXPECT_FLOAT_EQ(t.stations[2].emissiondelay, 0.027f);
}

TEST(StationTableReader, MissingFile) {
    StationsConfig s = configof({entry(7499, "M")});
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
    StationsConfig base = configof({entry(7499, "M"), entry(7499, "X")});
    base.blankingdistance = 500;
    StationsConfig c = base;
    c.blankedstns = 1;
    StationTable one = buildstationtable(c, table);
    EXPECT_EQ(one.stations[0].blanked + 2 * one.stations[1].blanked, 1);  // only the first in index order
    EXPECT_EQ(one.blankedcount, 1);
    c = base;
    c.selection.push_back(entry(-7499, "X"));  // minus-marked, but blankedstns 0
    EXPECT_EQ(buildstationtable(c, table).blankedcount, 0);
    // Minus-marked stations count first; a station not found has distance 0.
    c = base;
    c.blankedstns = 2;
    c.selection.push_back(entry(-7499, "X", 1));
    c.selection.push_back(entry(6731, "M"));
    StationTable two = buildstationtable(c, table);
    EXPECT_EQ(two.blankedcount, 2);
    EXPECT_EQ(two.stations[0].blanked + 2 * two.stations[2].blanked + 4 * two.stations[3].blanked, 3);

    c = base;
    c.hidden = -3;
    EXPECT_EQ(buildstationtable(c, table).visiblecount, 2);
    c.hidden = 7;
    EXPECT_EQ(buildstationtable(c, table).visiblecount, 0);
}

// A TAI reference carries its chain's master (same GRI, letter K L M N) from
// the table, selected or not, with the reference's chain delay.
TEST(StationTableJoin, SyncReferencesFindTheirChainMaster) {
    StationsConfig c = configof({entry(6731, "Y")});
    c.taireferences = {{6731, "Y", 1000, 2.0f}, {6731, "M", 1000, 0}, {8000, "X", 1000, 0}};
    // The master record after its secondary; a 50 N 0 E receiver: Anthorn
    // at 5.0 degrees north (556 km), the master on the receiver.
    const std::string text = "6731,2,Y,Anthorn,55,0,0,N,0,0,0,E,27300,0,250\n"
                             "6731,0,M,Lessay,50,0,0,N,0,0,0,E,0,0,250\n"
                             "8000,1,X,Alone,51,0,0,N,0,0,0,E,1000,0,250\n";
    StationTable t = buildstationtable(c, text);
    ASSERT_EQ(t.sync.size(), 3u);
    EXPECT_TRUE(t.sync[0].masterfound);
    EXPECT_FLOAT_EQ(t.sync[0].masteremissiondelay, 2.0f);  // 0 us + the chain delay
    EXPECT_NEAR(t.sync[0].masterdistance, 0, 1e-3);
    EXPECT_FLOAT_EQ(t.sync[0].emissiondelay, 29.3f);
    EXPECT_NEAR(t.sync[0].distance, 556, 3);
    EXPECT_TRUE(t.sync[1].masterfound);   // a master is its own chain's master
    EXPECT_FALSE(t.sync[2].masterfound);  // no 8000 master in the table
    EXPECT_TRUE(unknownreferences(t, "t.txt").empty());

    // A reference whose letter the table lacks, even with its chain there.
    c.taireferences.push_back({8000, "Y", 1000, 0});
    t = buildstationtable(c, text);
    EXPECT_EQ(unknownreferences(t, "t.txt"),
              std::vector<std::string>{"TAI reference 8000Y is not in the station table \"t.txt\""});
    EXPECT_EQ(unknownreferences(buildstationtable(c, ""), "t.txt").size(), 4u);
    c.taireferences = {{50000, "A", 1000, 0}};  // the receiver's own pulse per second
    EXPECT_TRUE(unknownreferences(buildstationtable(c, ""), "t.txt").empty());
}

}  // namespace
}  // namespace corvane
