// Small text helpers shared by every module: ASCII case changes (A to Z only,
// whatever the locale) and the double quotes around a file name in messages.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

inline std::string uppercased(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

inline std::string lowercased(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// "name" with its quotes, as errors and warnings name files.
inline std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

}  // namespace corvane
