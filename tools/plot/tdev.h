// The overlapping time deviation (TDEV) of a time series sampled at equal
// steps tau0: how much the time wanders over an averaging time tau = m tau0,
// with a constant time offset and a constant frequency offset (a straight
// line) left out. For white phase noise of deviation s it is s / sqrt(m).
//
// With x[0 .. N-1] and m >= 1, term j (0 <= j <= N - 3m) is
//   S_j = sum_{i=j}^{j+m-1} (x[i+2m] - 2 x[i+m] + x[i])
// and TDEV(m tau0) = sqrt(sum_j S_j^2 / (6 m^2 T)) over the T terms.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::plot {

// The terms of one averaging factor, summed over one or more series.
struct TdevSum {
    double sumsq = 0;         // sum of S_j^2, (unit of x)^2
    std::int64_t terms = 0;   // T, terms summed
};

// Adds to sum the terms of averaging factor m (1 .. x.size() / 3; larger
// adds nothing) of the series x (any finite values in one unit; NaN marks a
// missing value). A term whose 3m values include a missing one is left out,
// so a gap costs the terms that span it and nothing is filled in.
void addtdevterms(const std::vector<double>& x, std::int64_t m, TdevSum& sum);

// TDEV in the unit of x: sqrt(sumsq / (6 m^2 terms)); NaN without terms.
// m >= 1.
double tdevvalue(const TdevSum& sum, std::int64_t m);

}  // namespace corvane::plot
