#include "output/measurementlog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/errors.h"

namespace corvane {
namespace {

TEST(MeasurementLog, StringsAreEscaped) {
    EXPECT_EQ(jsonstring("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(jsonstring("line\nnext\r\ttab"), R"("line\nnext\r\ttab")");
    EXPECT_EQ(jsonstring(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
    EXPECT_EQ(jsonstring(std::string("nul\0end", 7)), R"("nul\u0000end")");
    EXPECT_EQ(jsonstring("Lessay \xC3\xA9"), "\"Lessay \xC3\xA9\"");  // UTF-8 as it is
}

TEST(MeasurementLog, NumbersAreShortestAndFinite) {
    JsonWriter w;
    w.open('[').value(5.13f).value(4168.9043f).value(-9.5e-09f).value(0.1).value(22050.0);
    w.value(std::numeric_limits<double>::quiet_NaN()).value(-std::numeric_limits<float>::infinity());
    w.value(std::int64_t{-12}).value(true).close(']');
    EXPECT_EQ(w.text(), "[5.13,4168.9043,-9.5e-09,0.1,22050,null,null,-12,true]");
}

TEST(MeasurementLog, UtcAcrossMidnightLeapSecondsAndClockOffset) {
    // 2017-01-01T00:00:00 UTC is 1861920000 s after 1958-01-01 (59 years, 15
    // leap days); the program scale adds 22 s and the five leap seconds
    // counted since 1999 by then.
    const double newyear = 1861920000.0 + 22 + 5;
    EXPECT_EQ(logutc(newyear, 5, 0), "2017-01-01T00:00:00.000Z");
    EXPECT_EQ(logutc(newyear - 0.0006, 5, 0), "2016-12-31T23:59:59.999Z");
    EXPECT_EQ(logutc(newyear - 0.0004, 5, 0), "2017-01-01T00:00:00.000Z");  // rounds into the new day
    EXPECT_EQ(logutc(newyear, 4, 0), "2017-01-01T00:00:01.000Z");
    EXPECT_EQ(logutc(newyear, 5, 1.5f), "2016-12-31T23:59:58.500Z");
    // 2024-02-29T12:00:00: 24165 days after 1958-01-01 and a half.
    EXPECT_EQ(logutc(24165.5 * 86400 + 22 + 5, 5, 0), "2024-02-29T12:00:00.000Z");
    EXPECT_EQ(logutc(std::nan(""), 5, 0), "1958-01-01T00:00:00.000Z");
    EXPECT_EQ(logutc(-1e300, 5, 0), "1958-01-01T00:00:00.000Z");
    EXPECT_EQ(logutc(1e300, 5, 0), "9999-12-31T23:59:59.999Z");
}

TEST(MeasurementLog, Records) {
    LogStatus status{4169.5f, 4.5f, 22050.25, 2e-08f, -0.07f, true, true, 0.25f, {}};
    status.stations.push_back({"6731M", true, 100, 5.25f, 90, 40.5f});
    status.stations.push_back({"7001X", false, 1, 2, 3, 4});
    EXPECT_EQ(statusrecord(status, "2024-06-15T11:58:25.000Z"),
              R"({"type":"status","utc":"2024-06-15T11:58:25.000Z","max":4169.5,"edge":4.5,"sr":22050.25,)"
              R"("lo":2e-08,"lo_us":-0.07,"pc":0.25,"locked":true,"stations":[{"id":"6731M","peak":100,)"
              R"("edge":5.25,"phase_deg":90,"snr_db":40.5},{"id":"7001X","peak":null,"edge":null,)"
              R"("phase_deg":null,"snr_db":null}]})");
    status.live = false;
    EXPECT_EQ(statusrecord(status, "t").find("\"pc\""), std::string::npos);

    const double nan = std::nan("");
    LogTaiSync sync{true, -0.25, 0.5, "11:58:19.750", nan, {{"6731M", true, 0.125f, nan, nan}}, 3, nan};
    EXPECT_EQ(taisyncrecord(sync, "t"),
              R"({"type":"sync","utc":"t","method":"tai","result":"match","offset_s":-0.25,"rel_error":0.5,)"
              R"("ut":"11:58:19.750","candidates":3,"references":[{"id":"6731M","measured":true,"peak_s":0.125}]})");
    sync.runnerup = 451.5;
    EXPECT_NE(taisyncrecord(sync, "t").find(R"("candidates":3,"runnerup_offset_s":451.5,"references")"),
              std::string::npos);
    EXPECT_EQ(endrecord({"runtime error", 3, 3, "cannot write \"x\""}, "t"),
              R"({"type":"end","utc":"t","reason":"runtime error","status":3,"error":3,)"
              R"("text":"file I/O error","message":"cannot write \"x\""})");
    EXPECT_EQ(endrecord({"quit key", 0, 0, ""}, "t"), R"({"type":"end","utc":"t","reason":"quit key","status":0})");
}

TEST(MeasurementLog, AppendsAndEndsACutLine) {
    const std::string path = ::testing::TempDir() + "measurementlog_test.jsonl";
    deletefile(path);
    {
        MeasurementLog log;
        openlog(log, {path, 0});
        writerecord(log, R"({"a":1})");
        ASSERT_TRUE(log.file.write("{\"cut", 5));  // a kill in the middle of a record
    }
    {
        MeasurementLog log;
        openlog(log, {path, 0});
        writerecord(log, R"({"b":2})");
        closelog(log);
    }
    {
        MeasurementLog log;
        openlog(log, {path, 0});  // whole lines: nothing added
        writerecord(log, R"({"c":3})");
    }
    std::string text;
    ASSERT_TRUE(readwholefile(path, text));
    EXPECT_EQ(text, "{\"a\":1}\n{\"cut\n{\"b\":2}\n{\"c\":3}\n");
    deletefile(path);

    MeasurementLog off;
    openlog(off, {"", 0});
    EXPECT_FALSE(off.on());
    writerecord(off, "{}");  // nothing, no error

    MeasurementLog bad;
    try {
        openlog(bad, {::testing::TempDir() + "no-such-folder/x.log", 0});
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), fileioerror);
        EXPECT_NE(std::string(e.what()).find("no-such-folder/x.log"), std::string::npos);
    }
}

}  // namespace
}  // namespace corvane
