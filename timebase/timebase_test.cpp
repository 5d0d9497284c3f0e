#include "timebase/timebase.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(TimeBase, StartEpochUntilASynchronisationThenTheSampleEpoch) {
    TimeBase b;
    setstartepoch(b, 123, false);
    EXPECT_EQ(epochofbuffer(b), 123);
    EXPECT_EQ(b.source, TimeSource::starttime);
    advancestartepoch(b, 60.5);  // a recording's period of 60.5 s ended
    EXPECT_EQ(epochofbuffer(b), 183.5);

    takesynchronisation(b, -0.25, false);  // 183.5 - 0.25
    EXPECT_EQ(epochofbuffer(b), 183.25);
    EXPECT_EQ(b.startepoch, 183.5);
    EXPECT_EQ(sourcename(b.source), "TAI guess");
    takesynchronisation(b, 1.5, true);  // from the start epoch again, not the old sample epoch
    EXPECT_EQ(epochofbuffer(b), 185);
    EXPECT_EQ(sourcename(b.source), "TAI match");

    // A new start epoch from the PC clock keeps the synchronisation.
    setstartepoch(b, 1000, true);
    EXPECT_EQ(epochofbuffer(b), 185);
    EXPECT_EQ(b.source, TimeSource::taimatch);
}

TEST(TimeBase, MovesByWholeIntervalsEitherWay) {
    TimeBase b;
    setstartepoch(b, 2000, true);
    EXPECT_EQ(sourcename(b.source), "PC clock");
    takesynchronisation(b, 0.5, true);
    // Three intervals of 0.8 s forward, then five back.
    moveintervals(b, 3, 0.8);
    EXPECT_DOUBLE_EQ(b.sampleepoch, 2002.9);
    EXPECT_EQ(sourcename(b.source), "eLoran");
    moveintervals(b, -5, 0.8);
    EXPECT_DOUBLE_EQ(b.sampleepoch, 1998.9);
    EXPECT_EQ(b.startepoch, 2000);  // the start epoch stays
    EXPECT_EQ(b.receiverdelay, 0);
}

}  // namespace
}  // namespace corvane
