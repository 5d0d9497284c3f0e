#include "eloran/message.h"

#include <cstdio>

#include "core/calendar.h"
#include "core/loran.h"
#include "eloran/crc14.h"

namespace corvane::eloran {
namespace {

constexpr std::uint64_t low56 = (std::uint64_t{1} << 56) - 1;

std::uint64_t field(std::uint64_t w, int position, int bits) {
    return (w >> position) & ((std::uint64_t{1} << bits) - 1);
}

void put(std::uint64_t& w, int position, int bits, std::uint64_t value) {
    w |= (value & ((std::uint64_t{1} << bits) - 1)) << position;
}

constexpr std::int64_t epochdays = daysfromcivil(1958, 1, 1);

bool decodedlayout(const Message& m) { return m.type == 4 || (m.type == 6 && (m.subtype == 1 || m.subtype == 2)); }

std::uint64_t wordsvalue(const DataWords& d) {
    std::uint64_t w = 0;  // bits 0..55 only: d8, d9 hold the CRC
    for (int i = 0; i < 8; ++i) w |= static_cast<std::uint64_t>(d[i] & 0x7f) << (7 * i);
    return w;
}

const char* const rolenames = "MVWXYZ";

}  // namespace

DecodedMessage decodemessage(const DataWords& data) {
    DecodedMessage out;
    Message& m = out.message;
    for (int i = 0; i < datawords; ++i) m.words[i] = static_cast<std::uint8_t>(data[i] & 0x7f);
    const std::uint64_t w = wordsvalue(m.words);
    out.crcok = crc14(w) == m.words[8] + 128 * m.words[9];
    m.type = static_cast<int>(field(w, 0, 4));
    if (m.type == 6) {
        m.subtype = static_cast<int>(field(w, 4, 2));
        if (m.subtype == 1 || m.subtype == 2) m.timeinhour = static_cast<std::uint32_t>(field(w, 6, 29));
        if (m.subtype == 1) {
            m.hourofyear = static_cast<std::uint16_t>(field(w, 35, 14));
            m.year = static_cast<std::uint8_t>(field(w, 49, 6));
        } else if (m.subtype == 2) {
            m.finetime = static_cast<std::uint16_t>(field(w, 35, 10));
            m.leapseconds = static_cast<std::uint8_t>(field(w, 45, 8));
            m.leapchange = static_cast<std::uint8_t>(field(w, 53, 2));
        }
    } else if (m.type == 4) {
        m.stationid = static_cast<std::uint16_t>(field(w, 4, 10));
        m.health = static_cast<std::uint8_t>(field(w, 14, 3));
        m.system = static_cast<std::uint8_t>(field(w, 17, 2));
        m.role = static_cast<std::uint8_t>(field(w, 19, 3));
        m.coordinatekind = static_cast<std::uint8_t>(field(w, 22, 2));
        const std::uint32_t raw = static_cast<std::uint32_t>(field(w, 24, 32));
        // Two's complement without relying on a narrowing conversion.
        m.coordinate = raw >= 0x80000000u ? static_cast<std::int32_t>(static_cast<std::int64_t>(raw) - 0x100000000ll)
                                          : static_cast<std::int32_t>(raw);
    }
    return out;
}

DataWords encodemessage(const Message& m) {
    std::uint64_t w = 0;
    if (decodedlayout(m)) {
        put(w, 0, 4, static_cast<std::uint64_t>(m.type));
        if (m.type == 6) {
            put(w, 4, 2, static_cast<std::uint64_t>(m.subtype));
            put(w, 6, 29, m.timeinhour);
            if (m.subtype == 1) {
                put(w, 35, 14, m.hourofyear);
                put(w, 49, 6, m.year);
            } else {
                put(w, 35, 10, m.finetime);
                put(w, 45, 8, m.leapseconds);
                put(w, 53, 2, m.leapchange);
            }
        } else {
            put(w, 4, 10, m.stationid);
            put(w, 14, 3, m.health);
            put(w, 17, 2, m.system);
            put(w, 19, 3, m.role);
            put(w, 22, 2, m.coordinatekind);
            put(w, 24, 32, static_cast<std::uint32_t>(m.coordinate));
        }
    } else {
        w = (wordsvalue(m.words) & ~std::uint64_t{0xf}) | (static_cast<std::uint64_t>(m.type) & 0xf);
    }
    w &= low56;
    const std::uint16_t crc = crc14(w);
    DataWords d{};
    for (int i = 0; i < 8; ++i) d[i] = static_cast<std::uint8_t>(field(w, 7 * i, 7));
    d[8] = static_cast<std::uint8_t>(crc & 0x7f);
    d[9] = static_cast<std::uint8_t>(crc >> 7);
    return d;
}

std::int64_t hourstart(int year, int hourofyear) {
    return (daysfromcivil(2000 + year, 1, 1) - epochdays) * tenusperday + hourofyear * tenusperhour;
}

std::int64_t utctime(const Message& m) { return hourstart(m.year, m.hourofyear) + m.timeinhour; }

std::int64_t utctime(const Message& m, std::int64_t start) { return start + m.timeinhour; }

std::string utctext(std::int64_t t) {
    const CivilDate c = civilfromdays(t / tenusperday + epochdays);
    const std::int64_t inday = t % tenusperday;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%05d", static_cast<int>(c.year), c.month, c.day,
                  static_cast<int>(inday / tenusperhour), static_cast<int>(inday / (60 * tenuspersecond) % 60),
                  static_cast<int>(inday / tenuspersecond % 60), static_cast<int>(inday % tenuspersecond));
    return buf;
}

std::string wordshex(const DataWords& words) {
    std::string hex;
    char buf[3];
    for (std::uint8_t d : words) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(d));
        hex += buf;
    }
    return hex;
}

std::string messageline(const Message& m, const std::string& stationid) {
    char buf[160];
    std::string line = "eLoran " + stationid;
    if (m.type == 6 && m.subtype == 1) {
        // utctime is never negative: year >= 2000.
        std::snprintf(buf, sizeof buf, " UTC %s hour %d", utctext(utctime(m)).c_str(), static_cast<int>(m.hourofyear));
    } else if (m.type == 6 && m.subtype == 2) {
        const std::uint32_t t = m.timeinhour;
        std::snprintf(buf, sizeof buf, " UTC %02u:%02u.%05u into the hour, leap %d",
                      static_cast<unsigned>(t / 6000000u), static_cast<unsigned>(t / 100000u % 60u),
                      static_cast<unsigned>(t % 100000u), static_cast<int>(m.leapseconds));
    } else if (m.type == 4) {
        std::string system = m.system == 1 ? "eLoran" : "system " + std::to_string(m.system);
        std::string role = m.role < 6 ? std::string(1, rolenames[m.role]) : std::to_string(m.role);
        std::string kind = m.coordinatekind == 1   ? "latitude"
                           : m.coordinatekind == 2 ? "longitude"
                                                   : "coordinate kind " + std::to_string(m.coordinatekind);
        const std::int64_t v = m.coordinate;
        const std::int64_t a = v < 0 ? -v : v;
        std::snprintf(buf, sizeof buf, " station %d health %d %s role %s %s %s%d.%07d", static_cast<int>(m.stationid),
                      static_cast<int>(m.health), system.c_str(), role.c_str(), kind.c_str(), v < 0 ? "-" : "",
                      static_cast<int>(a / 10000000), static_cast<int>(a % 10000000));
    } else {
        std::snprintf(buf, sizeof buf, " type %d ", m.type);
        return line + buf + wordshex(m.words);
    }
    return line + buf;
}

}  // namespace corvane::eloran
