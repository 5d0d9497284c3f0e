#include "tdev.h"

#include <cmath>

namespace corvane::plot {

void addtdevterms(const std::vector<double>& x, std::int64_t m, TdevSum& sum) {
    const std::size_t n = x.size();
    if (m < 1 || static_cast<std::uint64_t>(m) > n / 3) return;
    // Prefix sums of the values (less the first present one, so that a large
    // constant offset costs no precision) and of the count of missing ones:
    // each term is three block sums, found in constant time.
    double origin = 0;
    for (double v : x)
        if (!std::isnan(v)) {
            origin = v;
            break;
        }
    std::vector<double> total(n + 1, 0.0);
    std::vector<std::size_t> gaps(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const bool missing = std::isnan(x[i]);
        total[i + 1] = total[i] + (missing ? 0.0 : x[i] - origin);
        gaps[i + 1] = gaps[i] + (missing ? 1 : 0);
    }
    const std::size_t w = static_cast<std::size_t>(m);
    auto block = [&](std::size_t from) { return total[from + w] - total[from]; };
    for (std::size_t j = 0; j + 3 * w <= n; ++j) {
        if (gaps[j + 3 * w] != gaps[j]) continue;
        const double s = block(j + 2 * w) - 2 * block(j + w) + block(j);
        sum.sumsq += s * s;
        ++sum.terms;
    }
}

double tdevvalue(const TdevSum& sum, std::int64_t m) {
    if (sum.terms <= 0 || m < 1) return std::nan("");
    const double md = static_cast<double>(m);
    return std::sqrt(sum.sumsq / (6 * md * md * static_cast<double>(sum.terms)));
}

}  // namespace corvane::plot
