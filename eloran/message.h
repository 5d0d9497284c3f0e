// eLoran data channel: the 70-bit data block of a message and its fields.
//
// Layout: the 10 data words d0..d9 (7 bits each) form W = sum d_i 2^(7i), so
// d0 holds bits 0..6 with its LSB at bit 0. Bits 0..3: message type; bits
// 4..55: data; bits 56..69: CRC-14 of bits 0..55 (= d8 + 128 d9, crc14.h).
// A field at bit p with n bits is (W >> p) & (2^n - 1). Types with subtypes
// (type 6, UTC) carry the subtype in bits 4..5.
//
// The kinds decoded field by field (type 6 subtypes 1 and 2, type 4) and
// their fields are one table, messagekinds(): decoding, encoding and the log
// values all read it. The UTC time is the transmission time of the station's
// modulated group in the GRI after the message's last word. Any other type
// (and type 6 with subtype 0 or 3) is kept as its data words.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

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

// The kinds named by the rest of the program.
constexpr int utctype = 6;        // UTC, with subtypes
constexpr int utchoursubtype = 1; // time in the hour, hour of the year and year
constexpr int utcleapsubtype = 2; // time in the hour, fine time and leap seconds
constexpr int stationtype = 4;    // station ID, health, role and one coordinate

// A UTC message with the hour of the year (type 6, subtype 1).
bool isutchour(const Message& message);
// A UTC message with the time in the hour and the leap seconds only (type 6, subtype 2).
bool isutcleap(const Message& message);

// How a field is written to the measurement log.
enum class LogAs {
    none,        // not logged
    integer,     // its value under its log key
    scaled,      // value x scale under its log key
    utc,         // the message's UTC, ISO 8601, under its log key
    coordinate,  // value x scale under "latitude" (coordinate kind 1) or "longitude"
};

// One field of a message kind: bits first .. first + width - 1 of W.
struct MessageField {
    const char* name;     // as in Message
    int first;            // bit 4 .. 55
    int width;            // bits, 1 .. 32
    bool issigned;        // two's complement
    double scale;         // one step in `unit`
    const char* unit;     // "" when a count or code
    LogAs logas;
    const char* logkey;   // the log's name; nullptr when not logged
    std::int64_t (*get)(const Message&);
    void (*set)(Message&, std::int64_t);
};

// A message kind decoded field by field.
struct MessageKind {
    int type;        // 0 .. 15
    int subtype;     // 0 .. 3; -1: the type has no subtypes
    std::span<const MessageField> fields;
    std::string (*text)(const Message&);  // the console line after "eLoran <station>"
};

// The table of decoded kinds; the kind of a message, nullptr when it is kept
// as data words.
std::span<const MessageKind> messagekinds();
const MessageKind* messagekind(const Message& message);

// One value of a message as the log writes it.
struct MessageValue {
    std::string key;
    std::variant<std::int64_t, double, std::string> value;
};

// The logged values of a message in table order (none for kinds kept as words).
std::vector<MessageValue> loggedvalues(const Message& message);

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
