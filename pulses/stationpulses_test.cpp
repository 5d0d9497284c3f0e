#include "pulses/stationpulses.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pulses/integrator.h"

namespace corvane {
namespace {

// Two stations of 12 positions: station 1's row holds a pulse of envelope
// 100 at position 6 over quiet positions of envelope 1, 2 and 3 (the three
// smallest: a quarter of 12), summed over 5 windows.
TEST(StationPulses, SnrIsPeakOverQuietestQuarter) {
    PulseIntegrator in;
    createintegrator(in, 2, 12);
    const std::int64_t row[12] = {1, 2, 3, 20, 50, 80, 100, 90, 70, 60, 40, 30};
    for (int k = 0; k < 12; ++k) {
        in.sumre[12 + static_cast<std::size_t>(k)] = 3 * row[k];  // |(3, 4)| = 5 windows x row
        in.sumim[12 + static_cast<std::size_t>(k)] = 4 * row[k];
    }
    in.windowcount = {0, 5};
    std::vector<float> work;
    EXPECT_NEAR(pulsesnr(in, 1, 100, work), 20 * std::log10(100 / 2.0), 1e-4);
    EXPECT_TRUE(std::isnan(pulsesnr(in, 0, 100, work)));  // no windows
    EXPECT_TRUE(std::isnan(pulsesnr(in, 1, 0, work)));

    StationPulses pulses;
    createstationpulses(pulses, 2, 12);
    analysestations(pulses, in, PulseConfig{});
    EXPECT_EQ(pulses.analysed[0], 0);
    EXPECT_TRUE(std::isnan(pulses.snrdb[0]));
    ASSERT_EQ(pulses.analysed[1], 1);
    EXPECT_FLOAT_EQ(pulses.analyses[1].peak, 100);
    EXPECT_NEAR(pulses.snrdb[1], 20 * std::log10(50.0), 1e-4);

    std::fill(in.sumre.begin() + 12, in.sumre.begin() + 15, 0);  // quiet positions silent
    std::fill(in.sumim.begin() + 12, in.sumim.begin() + 15, 0);
    EXPECT_TRUE(std::isnan(pulsesnr(in, 1, 100, work)));
}

}  // namespace
}  // namespace corvane
