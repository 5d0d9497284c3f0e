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

// The text without a UTF-8 byte-order mark at its start (Windows editors
// write one in front of the first line).
inline std::string_view withoutbyteordermark(std::string_view text) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    return text.substr(0, mark.size()) == mark ? text.substr(mark.size()) : text;
}

}  // namespace corvane
