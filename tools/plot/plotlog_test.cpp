#include "plotlog.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plotcsv.h"

namespace corvane::plot {
namespace {

// 2025-12-07 is day 20429 after 1970-01-01 (55 years with 14 leap days,
// then 334 days of January to November, then 6): 1765065600 s.
constexpr Millis dec7 = 1765065600000;

TEST(ParseUtc, ReadsTheLogsTimesAndTheShortForms) {
    Millis t = 0;
    ASSERT_TRUE(parseutc("2025-12-07T18:35:31.000Z", t));
    EXPECT_EQ(t, dec7 + (18 * 3600 + 35 * 60 + 31) * 1000);
    ASSERT_TRUE(parseutc("2025-12-07", t));
    EXPECT_EQ(t, dec7);
    ASSERT_TRUE(parseutc("2025-12-07T18:35", t));
    EXPECT_EQ(t, dec7 + (18 * 3600 + 35 * 60) * 1000);
    ASSERT_TRUE(parseutc("2025-12-07 00:00:01.5", t));
    EXPECT_EQ(t, dec7 + 1500);
    // Five fraction digits as in an eLoran message time: rounded to the millisecond.
    ASSERT_TRUE(parseutc("2025-12-07T00:00:38.22870Z", t));
    EXPECT_EQ(t, dec7 + 38229);
    ASSERT_TRUE(parseutc("2025-12-07T00:00:38.22849Z", t));
    EXPECT_EQ(t, dec7 + 38228);
    // 2024 is a leap year: 2024-02-29 is day 19782 (54 years with 13 leap days, then 59 days).
    ASSERT_TRUE(parseutc("2024-02-29", t));
    EXPECT_EQ(t, Millis{19782} * 86400000);
    EXPECT_EQ(formatutc(dec7 + 86399999), "2025-12-07T23:59:59.999Z");
    EXPECT_EQ(formatutc(Millis{19782} * 86400000 + 61001), "2024-02-29T00:01:01.001Z");

    for (const char* bad : {"", "2025-13-01", "2025-02-29", "2025-12-32", "2025-12-07T24:00", "2025-12-07T18:60",
                            "2025-12-07T18:35:31.", "2025-12-07T18:35:31Zx", "25-12-07", "1969-12-31",
                            "2025-12-07T18", "2025-1-07"})
        EXPECT_FALSE(parseutc(bad, t)) << bad;
}

std::string status(const char* utc, const char* id, double peak) {
    return std::string("{\"type\":\"status\",\"utc\":\"") + utc + "\",\"sr\":12000,\"lo\":1e-9,\"lo_us\":0.5,"
        "\"stations\":[{\"id\":\"" + id + "\",\"peak\":" + std::to_string(peak) + ",\"edge\":5,\"phase_deg\":1,\"snr_db\":2}]}\n";
}

TEST(ReadLog, SkipsACutLineAndSplitsRunsAtStartRecords) {
    std::string a = std::string("{\"type\":\"start\",\"utc\":\"2025-12-07T10:00:00.000Z\",\"reference\":\"6731M\","
                                "\"bmp\":\"a.bmp\",\"displaysamples\":24,\"stations\":[{\"id\":\"6731M\"},"
                                "{\"id\":\"6731X\",\"hidden\":true}]}\n") +
                    status("2025-12-07T10:00:05.000Z", "6731M", 10) + "\n" +  // a blank line is no fault
                    "{\"type\":\"line\",\"utc\":\"2025-12-07T10:00:05.000Z\",\"line\":1}\r\n" +
                    "{\"type\":\"status\",\"utc\":\"2025-12-07T10:00:10.000Z\",\"sr\":119";  // cut by a kill
    // The second run in another file, given first; its status record comes
    // before its start record in the file but after it in time.
    std::string b = status("2025-12-07T11:00:05.000Z", "6731Y", 20) +
                    "{\"type\":\"start\",\"utc\":\"2025-12-07T11:00:00.000Z\",\"reference\":\"6731Y\"}\n"
                    "[1,2]\n"
                    "{\"type\":\"status\",\"utc\":\"yesterday\"}\n"
                    "{\"utc\":\"2025-12-07T11:00:06.000Z\"}\n"
                    "{\"type\":\"sync\",\"utc\":\"2025-12-07T11:00:07.000Z\",\"method\":\"eloran\",\"result\":\"match\",\"station\":\"6731Y\"}\n"
                    "{\"type\":\"end\",\"utc\":\"2025-12-07T11:00:08.000Z\",\"reason\":\"runtime error\",\"error\":3,\"text\":\"file I/O error\"}\n";
    const Log log = readlog({{"b.jsonl", b}, {"a.jsonl", a}});

    ASSERT_EQ(log.skipped.size(), 4u);
    EXPECT_EQ(log.skipped[0].path, "b.jsonl");
    EXPECT_EQ(log.skipped[0].lineno, 3);
    EXPECT_EQ(log.skipped[1].lineno, 4);
    EXPECT_EQ(log.skipped[2].lineno, 5);
    EXPECT_EQ(log.skipped[3].path, "a.jsonl");
    EXPECT_EQ(log.skipped[3].lineno, 5);

    ASSERT_EQ(log.runs.size(), 2u);
    const plot::Run& one = log.runs[0];
    EXPECT_TRUE(one.hasstart);
    EXPECT_EQ(one.reference, "6731M");
    EXPECT_EQ(one.displaysamples, 24);
    ASSERT_EQ(one.stations.size(), 2u);
    EXPECT_TRUE(one.stations[1].hidden);
    ASSERT_EQ(one.status.size(), 1u);
    EXPECT_EQ(one.status[0].stations.at(0).peak, 10);
    EXPECT_TRUE(std::isnan(one.status[0].pc));
    ASSERT_EQ(one.lines.size(), 1u);
    EXPECT_EQ(one.lines[0].line, 1);

    const plot::Run& two = log.runs[1];
    EXPECT_EQ(two.reference, "6731Y");
    ASSERT_EQ(two.status.size(), 1u);
    EXPECT_EQ(two.status[0].stations.at(0).id, "6731Y");
    ASSERT_EQ(two.events.size(), 2u);
    EXPECT_EQ(two.events[0].label, "eLoran match 6731Y");
    EXPECT_EQ(two.events[1].label, "end: runtime error (file I/O error)");
}

TEST(ReadLog, RecordsBeforeAnyStartFormARunOfTheirOwn) {
    const Log log = readlog({{"c", status("2025-12-07T09:00:00Z", "6731M", 1) +
                                       "{\"type\":\"start\",\"utc\":\"2025-12-07T09:30:00Z\"}\n" +
                                       status("2025-12-07T09:30:05Z", "6731M", 2)}});
    ASSERT_EQ(log.runs.size(), 2u);
    EXPECT_FALSE(log.runs[0].hasstart);
    EXPECT_TRUE(log.runs[1].hasstart);
    EXPECT_EQ(log.runs[1].status.at(0).stations.at(0).peak, 2);
}

TEST(Csv, OneRowPerStatusRecordAndSelectedStation) {
    const std::string text =
        "{\"type\":\"start\",\"utc\":\"2025-12-07T23:59:50.000Z\",\"reference\":\"6731M\"}\n"
        "{\"type\":\"status\",\"utc\":\"2025-12-07T23:59:55.000Z\",\"sr\":11998.9723,\"lo\":-9.5e-09,\"lo_us\":-0.07,"
        "\"stations\":[{\"id\":\"6731M\",\"peak\":1882.1,\"edge\":5.13,\"phase_deg\":123.4,\"snr_db\":35.2},"
        "{\"id\":\"6731Y\",\"peak\":950.2,\"edge\":5.4,\"phase_deg\":10.0,\"snr_db\":29.8}]}\n"
        "{\"type\":\"status\",\"utc\":\"2025-12-08T00:00:00.000Z\",\"sr\":12000,\"lo\":0,\"lo_us\":0,\"pc\":-0.25,"
        "\"stations\":[{\"id\":\"6731M\",\"peak\":1,\"edge\":5}]}\n";
    const Log log = readlog({{"d", text}});
    Selection all;
    EXPECT_EQ(csvtext(log, all),
              "utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc\n"
              "2025-12-07T23:59:55.000Z,6731M,1882.1,5.13,123.4,35.2,11998.9723,-9.5e-09,-0.07,\n"
              "2025-12-07T23:59:55.000Z,6731Y,950.2,5.4,10,29.8,11998.9723,-9.5e-09,-0.07,\n"
              "2025-12-08T00:00:00.000Z,6731M,1,5,,,12000,0,0,-0.25\n");
    // --stations 6731Y --to 2025-12-08 (a date alone: its midnight, not included).
    Selection some;
    some.stations = {"6731M"};
    some.hasto = true;
    ASSERT_TRUE(parseutc("2025-12-08", some.to));
    EXPECT_EQ(csvtext(log, some), "utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc\n"
                                  "2025-12-07T23:59:55.000Z,6731M,1882.1,5.13,123.4,35.2,11998.9723,-9.5e-09,-0.07,\n");
    some.hasto = false;
    some.hasfrom = true;
    some.from = some.to;
    some.stations = {"6731Y"};
    EXPECT_EQ(csvtext(log, some), "utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc\n");
}

}  // namespace
}  // namespace corvane::plot
