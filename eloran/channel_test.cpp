#include "eloran/channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/loran.h"
#include "core/numeric.h"
#include "eloran/patterns.h"
#include "eloran/schedule.h"

namespace corvane::eloran {
namespace {

constexpr double sr = 12000;
constexpr std::int32_t d = 24;
constexpr double gri = 0.06731;
constexpr double t0 = 0.25;  // s, window start of the first group

// Windows of GRI n of secondary station 3 sending word w: a pulse starting
// at position 6 with the phase-code sign, the carrier turning 10 degrees a
// GRI and pulses 3..8 turned by -36 degrees per us of delay.
struct Air {
    std::vector<std::int16_t> re, im;
    void send(DataChannel& channel, std::int64_t n, std::uint8_t word, int skippulse = -1) {
        const Pattern& p = wordpattern(word);
        for (int k = 0; k < 8; ++k) {
            const int index = static_cast<int>(n % 2) * 8 + k;  // pulses 8..15 in odd GRIs
            const std::int16_t sign = phasecodesign(18 + index);
            const double phase = 0.1745 * static_cast<double>(n) - (k >= 2 ? 0.2 * pi64 * p[static_cast<std::size_t>(k - 2)] : 0);
            re.assign(d, 0);
            im.assign(d, 0);
            for (int j = 6; j < d; ++j) {
                const double env = 2000.0 * (j - 5) * std::exp(-(j - 5) / 2.0);
                re[static_cast<std::size_t>(j)] = static_cast<std::int16_t>(std::lround(sign * env * std::cos(phase)));
                im[static_cast<std::size_t>(j)] = static_cast<std::int16_t>(std::lround(sign * env * std::sin(phase)));
            }
            if (k == skippulse) continue;
            channel.window({3, index, re.data(), im.data(), d, sign, t0 + static_cast<double>(n) * gri + k * 1e-3});
        }
    }
};

TEST(DataChannel, GroupsEachGrisPulsesAndFramesTheMessagesOnTheGriGrid) {
    DataChannel channel({{{3, 6731, "6731Y"}}, sr, 0});
    EXPECT_EQ(channel.flags(5), (std::vector<std::uint8_t>{0, 0, 0, 1, 0}));
    ScheduleConfig config;
    config.stationid = 549;
    config.latitude = 549113585;
    MessageSchedule schedule(config);
    Air air;
    // GRIs 10 .. 129 of the schedule (messages 0..3 fill GRIs 0..119). GRI 45
    // loses a window and the whole of GRI 70 is missing: their words are
    // framed as unreliable, the message around each still corrects, and the
    // later ones keep their place on the grid.
    for (std::int64_t n = 10; n < 130; ++n) {
        if (n == 70) continue;
        air.send(channel, n, schedule.word(n), n == 45 ? 4 : -1);
    }
    const std::vector<ChannelMessage> got = channel.takemessages();
    ASSERT_EQ(got.size(), 3u);  // messages 1, 2, 3 are complete
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::int64_t m = static_cast<std::int64_t>(i) + 1;
        EXPECT_EQ(got[i].framed.data, encodemessage(scheduledmessage(config, m))) << "message " << m;
        // Its last word is GRI 30 m + 29; its time is that group's first pulse.
        EXPECT_NEAR(got[i].lastwordtime, t0 + static_cast<double>(30 * m + 29) * gri + pulseoffset / sr, 1e-9);
    }
    EXPECT_GE(got[0].framed.corrected, 1);  // GRI 45
    EXPECT_GE(got[1].framed.corrected, 1);  // GRI 70
    EXPECT_TRUE(channel.takemessages().empty());
}

TEST(DataChannel, TimeGoingBackStartsTheFramingOver) {
    DataChannel channel({{{3, 6731, "6731Y"}}, sr, 0});
    MessageSchedule schedule(ScheduleConfig{});
    Air air;
    for (std::int64_t n = 0; n < 45; ++n) air.send(channel, n + 1000, schedule.word(n));
    EXPECT_EQ(channel.takemessages().size(), 1u);
    // A new period: buffer time begins again; 45 more GRIs from GRI 45 on
    // hold no complete message of their own before GRI 60 + 30.
    channel.restart();
    for (std::int64_t n = 45; n < 89; ++n) air.send(channel, n - 45, schedule.word(n));
    EXPECT_TRUE(channel.takemessages().empty());
    air.send(channel, 44, schedule.word(89));
    EXPECT_EQ(channel.takemessages().size(), 1u);
}

}  // namespace
}  // namespace corvane::eloran
