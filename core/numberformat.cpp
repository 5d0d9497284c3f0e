#include "core/numberformat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace corvane {

double readnumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') { number += text[i++]; digits = true; }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') { number += text[i++]; digits = true; }
    }
    if (!digits) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        bool expdigits = false;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') { exponent += text[j++]; expdigits = true; }
        if (expdigits) number += exponent;
    }
    double value = std::strtod(number.c_str(), nullptr);
    // An exponent beyond the real64 range gives the largest finite magnitude.
    if (std::isinf(value)) value = std::copysign(std::numeric_limits<double>::max(), value);
    return value;
}

std::string integertext(std::int64_t value) {
    std::string digits = std::to_string(value);
    return value < 0 ? digits : " " + digits;
}

std::string writeinteger(std::int64_t value) { return integertext(value) + " "; }

namespace {

std::string realtext(double value, int digits) {
    if (value == 0) value = 0;  // no "-0"
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    std::string text = buffer;
    if (!text.empty() && text.back() == '.') text.pop_back();
    return (std::signbit(value) ? "" : " ") + text;
}

// One field of a picture: its digit places before and after the point,
// whether it forces a sign and whether it has an exponent.
struct Field {
    int before = 0;
    int after = -1;  // -1: no decimal point
    bool plus = false;
    bool exponent = false;
    int width() const {
        return (plus ? 1 : 0) + before + (after >= 0 ? 1 + after : 0) + (exponent ? 4 : 0);
    }
};

std::string fixedfield(const Field& f, double v) {
    int decimals = f.after < 0 ? 0 : f.after;
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, std::fabs(v));
    std::string digits = buffer;
    if (f.after == 0) digits += ".";
    bool negative = std::signbit(v) && v != 0;
    std::string sign = f.plus ? (negative ? "-" : "+") : (negative ? "-" : "");
    std::string text = sign + digits;
    const int width = f.width();
    if (static_cast<int>(text.size()) > width && digits.rfind("0.", 0) == 0) {
        // No room for the zero before the point: drop it.
        text = sign + digits.substr(1);
    }
    if (static_cast<int>(text.size()) > width) return "%" + text;
    return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

std::string exponentfield(const Field& f, double v) {
    // Without a forced sign, one digit place is kept for the sign.
    int intdigits = f.before - (f.plus ? 0 : 1);
    if (intdigits < 1) intdigits = 1;
    int decimals = f.after < 0 ? 0 : f.after;
    bool negative = std::signbit(v) && v != 0;
    double a = std::fabs(v);
    int exp = 0;
    double mant = 0;
    if (a != 0 && std::isfinite(a)) {
        exp = static_cast<int>(std::floor(std::log10(a))) - (intdigits - 1);
        mant = a / std::pow(10.0, exp);
        double limit = std::pow(10.0, intdigits);
        double rounded = std::round(mant * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
        if (rounded >= limit) {
            exp += 1;
            mant = a / std::pow(10.0, exp);
        } else if (rounded < limit / 10) {
            exp -= 1;
            mant = a / std::pow(10.0, exp);
        }
    }
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, mant);
    std::string mantissa = buffer;
    if (f.after == 0) mantissa += ".";
    char expbuf[16];
    std::snprintf(expbuf, sizeof expbuf, "E%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
    std::string sign = f.plus ? (negative ? "-" : "+") : (negative ? "-" : "");
    std::string text = sign + mantissa + expbuf;
    const int width = f.width();
    if (static_cast<int>(text.size()) > width) return "%" + text;
    return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

}  // namespace

std::string real32text(float value) { return realtext(value, 7); }
std::string real64text(double value) { return realtext(value, 16); }

std::string picture(std::string_view pic, std::initializer_list<double> values) {
    std::vector<double> vals(values);
    size_t next = 0;
    std::string out;
    size_t i = 0;
    while (i < pic.size()) {
        // A field starts at "#", at "+#" or "+.#", or at ".#".
        size_t j = i;
        Field f;
        if (pic[j] == '+' && j + 1 < pic.size() && (pic[j + 1] == '#' || pic[j + 1] == '.')) {
            f.plus = true;
            ++j;
        }
        bool isfield = j < pic.size() &&
                       (pic[j] == '#' || (pic[j] == '.' && j + 1 < pic.size() && pic[j + 1] == '#'));
        if (!isfield) {
            out += pic[i];
            ++i;
            continue;
        }
        while (j < pic.size() && pic[j] == '#') { ++f.before; ++j; }
        if (j < pic.size() && pic[j] == '.') {
            ++j;
            f.after = 0;
            while (j < pic.size() && pic[j] == '#') { ++f.after; ++j; }
        }
        if (pic.substr(j, 4) == "^^^^") {
            f.exponent = true;
            j += 4;
        }
        double v = next < vals.size() ? vals[next] : 0.0;
        ++next;
        out += f.exponent ? exponentfield(f, v) : fixedfield(f, v);
        i = j;
    }
    return out;
}

}  // namespace corvane
