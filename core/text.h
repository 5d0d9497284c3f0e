// Small text helpers shared by every module: ASCII case changes (A to Z only,
// whatever the locale), the edit distance of two names and the double quotes
// around a file name in messages.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

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
// Levenshtein distance: the fewest single-character insertions, deletions and
// substitutions that turn a into b.
inline std::size_t editdistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

inline std::string quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// The text without a UTF-8 byte-order mark at its start (Windows editors
// write one in front of the first line).
inline std::string_view withoutbyteordermark(std::string_view text) {
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    return text.substr(0, mark.size()) == mark ? text.substr(mark.size()) : text;
}

}  // namespace corvane
