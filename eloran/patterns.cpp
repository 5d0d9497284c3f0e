#include "eloran/patterns.h"

namespace corvane::eloran {
namespace {

using Table = std::array<Pattern, wordcount>;

// Pattern number 0..728 in increasing order (-1 < 0 < +1, pulse 3 first).
constexpr Pattern nthpattern(int n) {
    Pattern p{};
    for (int k = modulatedpulses - 1; k >= 0; --k) {
        p[k] = static_cast<std::int8_t>(n % 3 - 1);
        n /= 3;
    }
    return p;
}

constexpr int countof(const Pattern& p, int value) {
    int c = 0;
    for (std::int8_t s : p) c += s == value ? 1 : 0;
    return c;
}

constexpr Pattern last{+1, 0, 0, 0, 0, -1};

constexpr Table maketable() {
    Table t{};
    std::size_t w = 0;
    for (int n = 0; n < 729; ++n) {  // two +1 and two -1
        const Pattern p = nthpattern(n);
        if (countof(p, +1) == 2 && countof(p, -1) == 2) t[w++] = p;
    }
    for (int n = 0; n < 729; ++n) {  // one +1 and one -1, except +0000-
        const Pattern p = nthpattern(n);
        if (countof(p, +1) == 1 && countof(p, -1) == 1 && p != last) t[w++] = p;
    }
    // Pairs (3,4), (5,6), (7,8) each +- or -+: first pair +-, the other two in
    // Gray order, each followed by its negation.
    constexpr Pattern pairs[4] = {{+1, -1, +1, -1, +1, -1},
                                  {+1, -1, +1, -1, -1, +1},
                                  {+1, -1, -1, +1, -1, +1},
                                  {+1, -1, -1, +1, +1, -1}};
    for (const Pattern& p : pairs) {
        t[w++] = p;
        Pattern neg{};
        for (std::size_t k = 0; k < p.size(); ++k) neg[k] = static_cast<std::int8_t>(-p[k]);
        t[w++] = neg;
    }
    t[w++] = last;
    return t;
}

constexpr Table table = maketable();

}  // namespace

const Pattern& wordpattern(std::uint8_t word) { return table[word & 0x7f]; }

}  // namespace corvane::eloran
