// eLoran data channel: the 70-bit data block of a message and its fields.
//
// Layout: the 10 data words d0..d9 (7 bits each) form W = sum d_i 2^(7i), so
// d0 holds bits 0..6 with its LSB at bit 0. Bits 0..3: message type; bits
// 4..55: data; bits 56..69: CRC-14 of bits 0..55 (= d8 + 128 d9, crc14.h).
// A field at bit p with n bits is (W >> p) & (2^n - 1).
//
// Type 6, UTC (bits 4..5 = subtype):
//   subtype 1: 6..34 time within the UTC hour (10 us), 35..48 hour of the
//              year (0 = 1 January 00h), 49..54 year - 2000, 55 spare;
//   subtype 2: 6..34 time within the hour (10 us), 35..44 fine time (10 ns),
//              45..52 leap seconds (Loran time - UTC, s), 53..54 leap second
//              change, 55 spare.
// The time is the UTC transmission time of the station's modulated group in
// the GRI after the message's last word.
// Type 4, station: 4..13 station ID, 14..16 health, 17..18 system (1 =
// eLoran), 19..21 role (0..5 = M V W X Y Z), 22..23 coordinate kind (1 =
// latitude, 2 = longitude), 24..55 coordinate, two's complement, 1e-7 degree.
// Any other type (and type 6 with subtype 0 or 3) is kept as its data words.
#pragma once

#include <cstdint>
#include <string>

#include "eloran/reedsolomon.h"

namespace corvane::eloran {

struct Message {
    int type = 0;                     // 0 .. 15
    int subtype = 0;                  // type 6 only: 0 .. 3 (1 and 2 are decoded)
    // Type 6.
    std::uint32_t timeinhour = 0;     // 10 us units, 0 .. 2^29 - 1 (valid below 360 000 000)
    std::uint16_t hourofyear = 0;     // subtype 1: 0 .. 16383 (valid below 8784)
    std::uint8_t year = 0;            // subtype 1: year - 2000, 0 .. 63
    std::uint16_t finetime = 0;       // subtype 2: 10 ns units, 0 .. 1023
    std::uint8_t leapseconds = 0;     // subtype 2: s, 0 .. 255
    std::uint8_t leapchange = 0;      // subtype 2: 0 .. 3 (coding not known)
    // Type 4.
    std::uint16_t stationid = 0;      // 0 .. 1023
    std::uint8_t health = 0;          // 0 .. 7
    std::uint8_t system = 0;          // 0 .. 3, 1 = eLoran
    std::uint8_t role = 0;            // 0 .. 7, 0..5 = M V W X Y Z
    std::uint8_t coordinatekind = 0;  // 0 .. 3: 1 latitude, 2 longitude
    std::int32_t coordinate = 0;      // 1e-7 degree
    // d0..d9 as received (decodemessage) or, for the types kept as words, the
    // source of bits 4..55 for encodemessage.
    DataWords words{};
};

struct DecodedMessage {
    Message message;
    bool crcok = false;  // the CRC in d8, d9 matches bits 0..55
};

// Fields of the data words d0..d9 (bits above bit 6 of each word ignored).
DecodedMessage decodemessage(const DataWords& data);

// Data words d0..d9 with the CRC. Types 4 and 6 (subtypes 1, 2) are built from
// the fields (each masked to its width, spare bits 0); any other message from
// bits 4..55 of `words` with the type bits set to `type`.
DataWords encodemessage(const Message& message);

// One console line, e.g. "eLoran 6731Y UTC 2025-12-07 18:35:38.22870 hour 8178";
// `stationid` names the station (e.g. "6731Y").
std::string messageline(const Message& message, const std::string& stationid);

// Start of hour `hourofyear` (0 = 1 January 00h) of year 2000 + `year`, in
// 10 us units since 1958-01-01 00:00:00 UTC, counting 86400 s a day (no leap
// seconds). year 0 .. 63, hourofyear 0 .. 16383.
std::int64_t hourstart(int year, int hourofyear);

// The UTC of a type 6 subtype 1 message, 10 us units since 1958-01-01 00:00:00
// UTC (86400 s a day).
std::int64_t utctime(const Message& message);

// The UTC of a type 6 subtype 2 message, which carries only the time within the
// hour: `hourstart` (10 us units since 1958-01-01, see hourstart()) plus it.
std::int64_t utctime(const Message& message, std::int64_t hourstart);

// "yyyy-mm-dd hh:mm:ss.sssss" of a UTC time in 10 us units since 1958-01-01
// (0 or more), as the subtype-1 line shows it.
std::string utctext(std::int64_t units);

// The 10 data words as 20 lower-case hex digits, d0 first.
std::string wordshex(const DataWords& words);

}  // namespace corvane::eloran
