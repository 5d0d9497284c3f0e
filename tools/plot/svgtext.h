// Small pieces of SVG text: escaped text, coordinates with one decimal,
// text and line elements.
#pragma once

#include <cstdio>
#include <string>

namespace corvane::plot::svg {

inline std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// A coordinate: "12.5".
inline std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

inline std::string text(double x, double y, const std::string& s, const std::string& attrs = "") {
    return "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"" + (attrs.empty() ? "" : " " + attrs) + ">" + escape(s) +
           "</text>\n";
}

inline std::string line(double x1, double y1, double x2, double y2, const std::string& attrs) {
    return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) + "\" " +
           attrs + "/>\n";
}

}  // namespace corvane::plot::svg
