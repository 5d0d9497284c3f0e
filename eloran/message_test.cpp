#include "eloran/message.h"

#include <gtest/gtest.h>

#include <utility>
#include <variant>
#include <vector>

namespace corvane::eloran {
namespace {

DataWords hexwords(const char* hex) {
    DataWords d{};
    for (int i = 0; i < datawords; ++i) d[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
    return d;
}

// Every Anthorn UTC time + 27 s, counted from 1958, lies 27 300 us after a
// whole GRI of 67 310 us.
std::int64_t grioffset(std::int64_t utc10us) { return (utc10us + 2700000) % 6731; }

// Decodes a CRC-valid UTC subtype 1 message of 2025 and checks its fields.
Message utcone(const char* hex, std::uint32_t timeinhour, int hourofyear, const std::string& line) {
    const DecodedMessage d = decodemessage(hexwords(hex));
    EXPECT_TRUE(d.crcok);
    EXPECT_EQ(d.message.type, 6);
    EXPECT_EQ(d.message.subtype, 1);
    EXPECT_EQ(d.message.timeinhour, timeinhour);
    EXPECT_EQ(d.message.hourofyear, hourofyear);
    EXPECT_EQ(d.message.year, 25);
    EXPECT_EQ(messageline(d.message, "6731Y"), line);
    return d.message;
}

TEST(Message, UtcSubtypeOne) {
    const Message a = utcone("167a4c4507713f194177", 31640820, 8177,
                             "eLoran 6731Y UTC 2025-12-07 17:05:16.40820 hour 8177");
    // 24 472 days (67 years, 17 leap days) from 1958 to 2025, then 8177 h and 316.40820 s.
    EXPECT_EQ(utctime(a), 24472ll * 8640000000ll + 8177ll * 360000000ll + 31640820ll);
    EXPECT_EQ(grioffset(utctime(a)), 2730);
    // Hour 5253 = 7 August 21h.
    const Message b = utcone("16277523140529197b5d", 85062990, 5253,
                             "eLoran 6731Y UTC 2025-08-07 21:14:10.62990 hour 5253");
    EXPECT_EQ(grioffset(utctime(b)), 2730);
}

TEST(Message, UtcSubtypeTwo) {
    const DecodedMessage m = decodemessage(hexwords("26442f731c0058010879"));
    EXPECT_TRUE(m.crcok);
    EXPECT_EQ(m.message.type, 6);
    EXPECT_EQ(m.message.subtype, 2);
    EXPECT_EQ(m.message.timeinhour, 121221000u);
    EXPECT_EQ(m.message.finetime, 0);
    EXPECT_EQ(m.message.leapseconds, 27);
    EXPECT_EQ(m.message.leapchange, 0);
    EXPECT_EQ(messageline(m.message, "6731Y"), "eLoran 6731Y UTC 20:12.21000 into the hour, leap 27");
    // Sent 2025-10-14 in hour 6876 (12h); that hour puts it on the GRI grid.
    const std::int64_t start = hourstart(25, 6876);
    EXPECT_EQ(start, 24472ll * 8640000000ll + 6876ll * 360000000ll);
    EXPECT_EQ(grioffset(utctime(m.message, start)), 2730);
    EXPECT_NE(grioffset(utctime(m.message, hourstart(25, 6875))), 2730);
}

TEST(Message, Station) {
    const DecodedMessage lon = decodemessage(hexwords("54440e45094b027f472a"));
    EXPECT_TRUE(lon.crcok);
    EXPECT_EQ(lon.message.type, 4);
    EXPECT_EQ(lon.message.stationid, 549);
    EXPECT_EQ(lon.message.health, 6);
    EXPECT_EQ(lon.message.system, 1);
    EXPECT_EQ(lon.message.role, 4);
    EXPECT_EQ(lon.message.coordinatekind, 2);
    EXPECT_EQ(lon.message.coordinate, -32876392);
    EXPECT_EQ(messageline(lon.message, "6731Y"), "eLoran 6731Y station 549 health 6 eLoran role Y longitude -3.2876392");
    const DecodedMessage lat = decodemessage(hexwords("54440e0b6f592e10012a"));
    EXPECT_TRUE(lat.crcok);
    EXPECT_EQ(lat.message.coordinatekind, 1);
    EXPECT_EQ(lat.message.coordinate, 549113585);
    EXPECT_EQ(messageline(lat.message, "6731Y"), "eLoran 6731Y station 549 health 6 eLoran role Y latitude 54.9113585");

    Message odd = lat.message;
    odd.system = 2;
    odd.role = 7;
    odd.coordinatekind = 0;
    odd.coordinate = -5;
    EXPECT_EQ(messageline(odd, "8830W"), "eLoran 8830W station 549 health 6 system 2 role 7 coordinate kind 0 -0.0000005");
    odd.coordinate = INT32_MIN;
    EXPECT_TRUE(messageline(odd, "8830W").ends_with(" -214.7483648"));
}

TEST(Message, OtherTypesKeepTheirWords) {
    const DecodedMessage m = decodemessage(hexwords("0d640a00000000007a13"));
    EXPECT_TRUE(m.crcok);
    EXPECT_EQ(m.message.type, 13);
    EXPECT_EQ(messageline(m.message, "6731Y"), "eLoran 6731Y type 13 0d640a00000000007a13");
    const DecodedMessage t12 = decodemessage(hexwords("4c6039290f12635a5b5d"));
    EXPECT_TRUE(t12.crcok);
    EXPECT_EQ(messageline(t12.message, "6731Y"), "eLoran 6731Y type 12 4c6039290f12635a5b5d");
}

TEST(Message, CrcFailureIsReported) {
    DataWords d = hexwords("54440e0b6f592e10012a");
    d[3] ^= 0x10;
    EXPECT_FALSE(decodemessage(d).crcok);
    d = hexwords("54440e0b6f592e10012a");
    d[9] ^= 0x01;
    EXPECT_FALSE(decodemessage(d).crcok);
}

TEST(Message, EncodeReproducesReceivedMessages) {
    for (const char* hex : {"167a4c4507713f194177", "16277523140529197b5d", "26442f731c0058010879",
                            "54440e45094b027f472a", "54440e0b6f592e10012a", "0d640a00000000007a13",
                            "4c6039290f12635a5b5d"}) {
        const DataWords d = hexwords(hex);
        EXPECT_EQ(encodemessage(decodemessage(d).message), d) << hex;
    }
    // From fields alone.
    Message m;
    m.type = 6;
    m.subtype = 1;
    m.timeinhour = 213822870;  // 35:38.22870
    m.hourofyear = 8178;
    m.year = 25;
    const DecodedMessage back = decodemessage(encodemessage(m));
    EXPECT_TRUE(back.crcok);
    EXPECT_EQ(messageline(back.message, "6731Y"), "eLoran 6731Y UTC 2025-12-07 18:35:38.22870 hour 8178");
    EXPECT_EQ(grioffset(utctime(back.message)), 2730);
    // Fields wider than their bits are cut to the width, not spilled over.
    m.year = 64 + 25;
    EXPECT_EQ(decodemessage(encodemessage(m)).message.year, 25);
}

TEST(Message, LoggedValuesFollowTheKind) {
    using Values = std::vector<std::pair<std::string, std::variant<std::int64_t, double, std::string>>>;
    auto logged = [](const char* hex) {
        Values out;
        for (const MessageValue& v : loggedvalues(decodemessage(hexwords(hex)).message)) out.emplace_back(v.key, v.value);
        return out;
    };
    EXPECT_EQ(logged("167a4c4507713f194177"),
              (Values{{"message_utc", std::string("2025-12-07T17:05:16.40820Z")}, {"hour_of_year", std::int64_t{8177}}}));
    EXPECT_EQ(logged("26442f731c0058010879"), (Values{{"leap", std::int64_t{27}}}));
    EXPECT_EQ(logged("54440e45094b027f472a"),
              (Values{{"station_id", std::int64_t{549}}, {"health", std::int64_t{6}}, {"longitude", -32876392 * 1e-7}}));
    EXPECT_EQ(logged("54440e0b6f592e10012a"),
              (Values{{"station_id", std::int64_t{549}}, {"health", std::int64_t{6}}, {"latitude", 549113585 * 1e-7}}));
    EXPECT_TRUE(logged("0d640a00000000007a13").empty());
}

}  // namespace
}  // namespace corvane::eloran
