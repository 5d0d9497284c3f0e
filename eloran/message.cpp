#include "eloran/message.h"

#include <cstdio>
#include <type_traits>

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

std::uint64_t wordsvalue(const DataWords& d) {
    std::uint64_t w = 0;  // bits 0..55 only: d8, d9 hold the CRC
    for (int i = 0; i < 8; ++i) w |= static_cast<std::uint64_t>(d[i] & 0x7f) << (7 * i);
    return w;
}

const char* const rolenames = "MVWXYZ";
constexpr int subtypefirst = 4, subtypewidth = 2;

template <auto member>
std::int64_t getmember(const Message& m) {
    return static_cast<std::int64_t>(m.*member);
}

template <auto member>
void setmember(Message& m, std::int64_t value) {
    m.*member = static_cast<std::remove_cvref_t<decltype(m.*member)>>(value);
}

template <auto member>
constexpr MessageField unlogged(const char* name, int first, int width, double scale, const char* unit) {
    return {name, first, width, false, scale, unit, LogAs::none, nullptr, &getmember<member>, &setmember<member>};
}

template <auto member>
constexpr MessageField logged(const char* name, int first, int width, LogAs logas, const char* logkey) {
    return {name, first, width, false, 1, "", logas, logkey, &getmember<member>, &setmember<member>};
}

std::string utchourtext(const Message& m);
std::string utcleaptext(const Message& m);
std::string stationtext(const Message& m);

constexpr MessageField utchourfields[] = {
    {"timeinhour", 6, 29, false, 1e-5, "s", LogAs::utc, "message_utc", &getmember<&Message::timeinhour>,
     &setmember<&Message::timeinhour>},
    logged<&Message::hourofyear>("hourofyear", 35, 14, LogAs::integer, "hour_of_year"),
    unlogged<&Message::year>("year", 49, 6, 1, "year - 2000"),
};

constexpr MessageField utcleapfields[] = {
    unlogged<&Message::timeinhour>("timeinhour", 6, 29, 1e-5, "s"),
    unlogged<&Message::finetime>("finetime", 35, 10, 1e-8, "s"),
    logged<&Message::leapseconds>("leapseconds", 45, 8, LogAs::integer, "leap"),
    unlogged<&Message::leapchange>("leapchange", 53, 2, 1, ""),
};

constexpr MessageField stationfields[] = {
    logged<&Message::stationid>("stationid", 4, 10, LogAs::integer, "station_id"),
    logged<&Message::health>("health", 14, 3, LogAs::integer, "health"),
    unlogged<&Message::system>("system", 17, 2, 1, ""),
    unlogged<&Message::role>("role", 19, 3, 1, ""),
    unlogged<&Message::coordinatekind>("coordinatekind", 22, 2, 1, ""),
    {"coordinate", 24, 32, true, 1e-7, "degree", LogAs::coordinate, "", &getmember<&Message::coordinate>,
     &setmember<&Message::coordinate>},
};

constexpr MessageKind kinds[] = {
    {utctype, utchoursubtype, utchourfields, &utchourtext},
    {utctype, utcleapsubtype, utcleapfields, &utcleaptext},
    {stationtype, -1, stationfields, &stationtext},
};

bool hassubtypes(int type) {
    for (const MessageKind& k : kinds)
        if (k.type == type && k.subtype >= 0) return true;
    return false;
}

const MessageKind* findkind(int type, int subtype) {
    for (const MessageKind& k : kinds)
        if (k.type == type && (k.subtype < 0 || k.subtype == subtype)) return &k;
    return nullptr;
}

std::int64_t fieldvalue(std::uint64_t w, const MessageField& f) {
    const auto raw = static_cast<std::int64_t>(field(w, f.first, f.width));
    // Two's complement without relying on a narrowing conversion.
    if (f.issigned && raw >= (std::int64_t{1} << (f.width - 1))) return raw - (std::int64_t{1} << f.width);
    return raw;
}

}  // namespace

std::span<const MessageKind> messagekinds() { return kinds; }

const MessageKind* messagekind(const Message& m) { return findkind(m.type, m.subtype); }

bool isutchour(const Message& m) { return m.type == utctype && m.subtype == utchoursubtype; }

bool isutcleap(const Message& m) { return m.type == utctype && m.subtype == utcleapsubtype; }

DecodedMessage decodemessage(const DataWords& data) {
    DecodedMessage out;
    Message& m = out.message;
    for (int i = 0; i < datawords; ++i) m.words[i] = static_cast<std::uint8_t>(data[i] & 0x7f);
    const std::uint64_t w = wordsvalue(m.words);
    out.crcok = crc14(w) == m.words[8] + 128 * m.words[9];
    m.type = static_cast<int>(field(w, 0, 4));
    if (hassubtypes(m.type)) m.subtype = static_cast<int>(field(w, subtypefirst, subtypewidth));
    if (const MessageKind* kind = messagekind(m))
        for (const MessageField& f : kind->fields) f.set(m, fieldvalue(w, f));
    return out;
}

DataWords encodemessage(const Message& m) {
    std::uint64_t w = 0;
    if (const MessageKind* kind = messagekind(m)) {
        put(w, 0, 4, static_cast<std::uint64_t>(m.type));
        if (kind->subtype >= 0) put(w, subtypefirst, subtypewidth, static_cast<std::uint64_t>(m.subtype));
        for (const MessageField& f : kind->fields) put(w, f.first, f.width, static_cast<std::uint64_t>(f.get(m)));
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

std::vector<MessageValue> loggedvalues(const Message& m) {
    std::vector<MessageValue> values;
    const MessageKind* kind = messagekind(m);
    if (!kind) return values;
    for (const MessageField& f : kind->fields) {
        const std::int64_t v = f.get(m);
        switch (f.logas) {
            case LogAs::none: break;
            case LogAs::integer: values.push_back({f.logkey, v}); break;
            case LogAs::scaled: values.push_back({f.logkey, static_cast<double>(v) * f.scale}); break;
            case LogAs::utc: {
                std::string text = utctext(utctime(m));
                text[10] = 'T';  // ISO 8601
                values.push_back({f.logkey, text + "Z"});
                break;
            }
            case LogAs::coordinate:
                values.push_back({m.coordinatekind == 1 ? "latitude" : "longitude", static_cast<double>(v) * f.scale});
                break;
        }
    }
    return values;
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

namespace {

// utctime is never negative: year >= 2000.
std::string utchourtext(const Message& m) {
    return " UTC " + utctext(utctime(m)) + " hour " + std::to_string(static_cast<int>(m.hourofyear));
}

std::string utcleaptext(const Message& m) {
    char buf[96];
    const std::uint32_t t = m.timeinhour;
    std::snprintf(buf, sizeof buf, " UTC %02u:%02u.%05u into the hour, leap %d", static_cast<unsigned>(t / 6000000u),
                  static_cast<unsigned>(t / 100000u % 60u), static_cast<unsigned>(t % 100000u),
                  static_cast<int>(m.leapseconds));
    return buf;
}

std::string stationtext(const Message& m) {
    char buf[160];
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
    return buf;
}

}  // namespace

std::string messageline(const Message& m, const std::string& stationid) {
    const std::string line = "eLoran " + stationid;
    if (const MessageKind* kind = messagekind(m)) return line + kind->text(m);
    return line + " type " + std::to_string(m.type) + " " + wordshex(m.words);
}

}  // namespace corvane::eloran
