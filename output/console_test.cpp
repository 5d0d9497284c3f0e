#include "output/console.h"

#include <gtest/gtest.h>

#include "acquisition/clock.h"
#include "platform/testing.h"

namespace corvane {
namespace {

// Program-scale epoch whose sample time 0 is UTC midnight of some day.
constexpr double midnight = 22 + 23000.0 * 86400;

struct Stamp {
    DisplayConfig settings;
    ClockState clock;
    Display display;
    testing::FakeConsole console;
    Stamp() {
        settings.live = false;
        clock.timebase.startepoch = midnight;
    }
    std::string show(double bufend) {
        console.transcript.clear();
        showtimestamp(display, clock, settings, bufend, console);
        return console.transcript;
    }
};

TEST(ShowTimestamp, RoundsToTheHundredthThenCutsToTheSecond) {
    Stamp s;
    EXPECT_EQ(s.display.utchour, -1);
    EXPECT_EQ(s.show(13 * 3600 + 5 * 60 + 9.996), "13:05:10");
    EXPECT_EQ(s.display.utchour, 13);
    EXPECT_EQ(s.show(13 * 3600 + 5 * 60 + 9.994), "13:05:09");
    EXPECT_EQ(s.display.timestamp, "13:05:09");
    EXPECT_EQ(s.show(86399.996), "24:00:00");
    EXPECT_EQ(s.display.utchour, 24);
    EXPECT_EQ(s.show(86400.5), "00:00:00");
    EXPECT_EQ(s.display.utchour, 0);
}

TEST(ShowTimestamp, LeapSecondsClockOffsetAndTheEpochInUse) {
    Stamp s;
    s.clock.leapsecs = 5;
    s.settings.clockoffset = 2;
    s.clock.timebase.startepoch = midnight + 7;
    EXPECT_EQ(s.show(3600), "01:00:00");
    // A synchronisation replaces the start epoch; until then sampleepoch 0 is
    // not used for the time of day.
    s.clock.timebase.sampleepoch = midnight + 7 + 60;
    EXPECT_EQ(s.show(3600), "01:00:00");
    s.clock.timebase.synced = true;
    EXPECT_EQ(s.show(3600), "01:01:00");
}

TEST(ShowTimestamp, LiveModeShowsTheSampleClockAgainstThePcClock) {
    Stamp s;
    s.settings.live = true;
    s.clock.pcclockerror = 0.25f;  // sample clock a quarter second behind
    EXPECT_EQ(s.show(45), "00:00:45 PC -0.25s");
    s.clock.pcclockerror = -1234.5f;  // wider than its picture
    EXPECT_EQ(s.show(45), "00:00:45 PC%1234.50s");
}

TEST(StatusLine, RecordingAndLiveModeTextByteForByte) {
    Stamp s;
    s.clock.timebase.startepoch = 22 + 23000.0 * 86400;
    s.show(45296);
    showstatus({1234.4f, 5.255f, 22050, 2.5e-7f, 0}, s.console);
    EXPECT_EQ(s.console.transcript, "12:34:56 max 1234 edge 5.26 SR 22050.0000Hz LO +2.5E-07     0.00us{up}\n");

    s.settings.live = true;
    s.clock.pcclockerror = 0.25f;
    s.show(45297);
    showstatus({123456, 5.255f, 22050.12346, 0, 0}, s.console);  // a peak wider than its picture
    EXPECT_EQ(s.console.transcript,
              "12:34:57 PC -0.25s max%123456 edge 5.26 SR 22050.1235Hz LO +0.0E+00     0.00us{up}\n");
}

TEST(StatusLine, ALineAboveItCoversItAndTheStatusLineIsWrittenAgain) {
    Stamp s;
    s.settings.live = true;
    s.clock.pcclockerror = 0.25f;
    s.show(45297);
    const StatusValues v{1234.4f, 5.255f, 22050, 2.5e-7f, 0};
    showstatus(v, s.console);
    s.console.transcript.clear();
    const std::string status = "12:34:57 PC -0.25s max 1234 edge 5.26 SR 22050.0000Hz LO +2.5E-07     0.00us";
    showlineabove("eLoran 6731Y type 12 4c6039290f12635a5b5d", s.display, &v, s.console);
    EXPECT_EQ(s.console.transcript, "{col1}eLoran 6731Y type 12 4c6039290f12635a5b5d" + std::string(status.size() - 41, ' ') +
                                        "\n" + status + "{up}\n");
    // Before the first status line: the line alone.
    s.console.transcript.clear();
    showlineabove("eLoran match", s.display, nullptr, s.console);
    EXPECT_EQ(s.console.transcript, "eLoran match\n");
}

TEST(EndStatusLine, ReturnsToTheStartOfTheLine) {
    testing::FakeConsole console;
    console.write("status");
    endstatusline(console);
    EXPECT_EQ(console.transcript, "status{up}\n");
}

}  // namespace
}  // namespace corvane
