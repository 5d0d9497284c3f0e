#include "tdev.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace corvane::plot {
namespace {

double tdevof(const std::vector<double>& x, std::int64_t m, std::int64_t& terms) {
    TdevSum sum;
    addtdevterms(x, m, sum);
    terms = sum.terms;
    return tdevvalue(sum, m);
}

// Worked by hand. m = 1: second differences 1, -3, 4, -4, 1, 3, squares 52
// over 6 terms: sqrt(52 / 36). m = 2: second differences at lag 2 are -1, 1,
// -3, 5; sums of two neighbours 0, -2, 2, squares 8 over 3 terms:
// sqrt(8 / 72) = 1/3. m = 4 needs 12 values.
TEST(Tdev, ShortSeriesWorkedByHand) {
    const std::vector<double> x = {0, 1, 3, 2, 5, 4, 4, 7};
    std::int64_t terms = 0;
    EXPECT_NEAR(tdevof(x, 1, terms), 1.2018504251546631, 1e-15);
    EXPECT_EQ(terms, 6);
    EXPECT_NEAR(tdevof(x, 2, terms), 1.0 / 3, 1e-15);
    EXPECT_EQ(terms, 3);
    EXPECT_TRUE(std::isnan(tdevof(x, 4, terms)));
    EXPECT_EQ(terms, 0);

    // The same series with x[3] missing: the terms j = 1, 2, 3 of m = 1 span
    // it, leaving 1, 1, 3: sqrt(11 / 18); every term of m = 2 spans it.
    std::vector<double> gap = x;
    gap[3] = std::nan("");
    EXPECT_NEAR(tdevof(gap, 1, terms), 0.7817359599705717, 1e-15);
    EXPECT_EQ(terms, 3);
    EXPECT_TRUE(std::isnan(tdevof(gap, 2, terms)));

    // Several series (runs) pool their terms, none spanning two of them:
    // the series twice gives the same deviation from twice the terms.
    TdevSum twice;
    addtdevterms(x, 1, twice);
    addtdevterms(x, 1, twice);
    EXPECT_EQ(twice.terms, 12);
    EXPECT_NEAR(tdevvalue(twice, 1), 1.2018504251546631, 1e-15);
}

// A constant frequency offset is a straight line: no deviation at any tau,
// even far from 0 (a receiver delay not yet accounted for).
TEST(Tdev, LinearRampGivesZero) {
    std::vector<double> x;
    for (int i = 0; i < 300; ++i) x.push_back(1234567.5 + 0.37 * i);
    for (std::int64_t m = 1; m <= 100; m *= 2) {
        std::int64_t terms = 0;
        EXPECT_NEAR(tdevof(x, m, terms), 0, 1e-7) << m;
        EXPECT_EQ(terms, 300 - 3 * m + 1) << m;
    }
}

// White phase noise of deviation s: each term is three disjoint block sums
// of m values weighted 1, -2, 1, variance 6 m s^2, so TDEV = s / sqrt(m).
// 16384 values leave about 340 independent blocks at m = 16: the estimate
// is within about 4 % (one standard deviation) of the truth.
TEST(Tdev, WhitePhaseNoiseFallsAsTheRootOfTau) {
    std::mt19937_64 random(23);
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<double> x(16384);
    for (double& v : x) v = noise(random);
    for (std::int64_t m = 1; m <= 16; m *= 2) {
        std::int64_t terms = 0;
        EXPECT_NEAR(tdevof(x, m, terms) * std::sqrt(static_cast<double>(m)) / 2.0, 1.0, 0.15) << m;
    }
}

}  // namespace
}  // namespace corvane::plot
