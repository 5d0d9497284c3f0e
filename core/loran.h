// Facts of the Loran-C system that every module uses: the phase codes, the
// station letters, the lengths of a GRI and of a phase code interval, and the
// program time scale.
//
// Units: a GRI is an integer in 10 us (GRI 7499 lasts 74.99 ms); times are
// seconds. The program time scale counts seconds since 1 January 1958 as
// UTC + 22 s + the leap seconds counted since 1999 (`leapsecs`), which is the
// Loran time scale (TAI - 10 s) while `leapsecs` counts them all.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// Master A, master B, secondary A, secondary B: 9 + 9 + 8 + 8 signs, "1" is
// +1 and "0" is -1. A and B alternate from one GRI to the next.
inline constexpr const char* PhaseCode = "1100101011001111101111100110101100";
// Sign of character i of PhaseCode.
constexpr std::int16_t phasecodesign(int i) { return PhaseCode[i] == '1' ? 1 : -1; }

// Pulses of one phase code interval: 18 for a master (9 per GRI), 16 for a
// secondary (8 per GRI); no pattern has more.
inline constexpr int maxpulses = 18;

// Station letters that send the master (nine-pulse) and the secondary
// (eight-pulse) pattern.
inline constexpr std::string_view masterletters = "KLMN";
inline constexpr std::string_view secondaryletters = "OPQRSTUVWXYZ";

// Whether the first character of letter (upper case) is in the set.
constexpr bool letterin(std::string_view letter, std::string_view set) {
    return !letter.empty() && set.find(letter[0]) != std::string_view::npos;
}
constexpr bool ismasterletter(std::string_view letter) { return letterin(letter, masterletters); }
constexpr bool issecondaryletter(std::string_view letter) { return letterin(letter, secondaryletters); }

// The 10 us unit of GRIs and of eLoran times, counted per second, hour and day.
inline constexpr std::int64_t tenuspersecond = 100000;
inline constexpr std::int64_t tenusperhour = 3600 * tenuspersecond;
inline constexpr std::int64_t tenusperday = 24 * tenusperhour;

// One GRI and one phase code interval (two GRIs), seconds.
constexpr double griseconds(std::int32_t gri) { return gri / static_cast<double>(tenuspersecond); }
constexpr double phasecodeinterval(std::int32_t gri) { return gri / 50000.0; }

// An integration window starts this many samples before the expected start
// of a pulse; the sample-clock loop holds the reference edge one sample
// earlier.
inline constexpr int pulseoffset = 6;

// The program time scale is UTC + programscaleoffset + leapsecs: 32 s of TAI
// minus UTC before 2006, less the 10 s that TAI minus UTC amounted to in 1972.
inline constexpr std::int32_t programscaleoffset = 22;

// Program-scale seconds of a UTC time (seconds since 1958, leap seconds not
// counted in it), and back.
constexpr double programtime(double utc, std::int32_t leapsecs) { return utc + programscaleoffset + leapsecs; }
constexpr double utctime(double program, std::int32_t leapsecs) { return program - programscaleoffset - leapsecs; }

}  // namespace corvane
