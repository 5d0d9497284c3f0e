// Number formats of the console and the text files.
//
// Integers are written as a sign position (blank or "-"), the digits and one
// trailing blank; converted to text they lack the trailing blank. Reals are
// written with up to 7 (real32) or 16 (real64) significant digits in the
// shorter of fixed and exponent form, with a blank before them when not
// negative. Pictures: "#" a digit place, "." the decimal point, a leading "+"
// a forced sign, "^^^^" a four-character exponent; other characters are
// copied. A value too wide for its field is written in full after a "%".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace corvane {

std::string integertext(std::int64_t value);    // " 5", "-5"
std::string writeinteger(std::int64_t value);   // " 5 ", "-5 "
std::string real32text(float value);            // "%.7g" with sign position
std::string real64text(double value);           // "%.16g" with sign position

// Reads a decimal number (optional sign, digits, decimal point, exponent) from
// the start of text, after blanks and tabs; stops at the first character that
// cannot continue it. A text without a leading number, and forms such as
// "nan", "inf" or hexadecimal, read as 0. The result is always finite.
double readnumber(std::string_view text);

// Formats values through a picture, one value per field, in order. Missing
// values count as 0.
std::string picture(std::string_view picturetext, std::initializer_list<double> values);

}  // namespace corvane
