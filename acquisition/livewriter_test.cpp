#include "acquisition/livewriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/errors.h"
#include "platform/testing.h"

namespace corvane {
namespace {

// A clock whose sleeps stand for the monitor: after a few of them it
// consumes (deletes) the file the writer is waiting on.
class ConsumingClock : public testing::FakeClock {
public:
    explicit ConsumingClock(std::string path) : path_(std::move(path)) {}
    void sleepms(int ms) override {
        testing::FakeClock::sleepms(ms);
        if (++naps == 3) deletefile(path_);
    }
    int naps = 0;

private:
    std::string path_;
};

TEST(LiveWriter, HandsOverOnlyAfterThePreviousFileIsGone) {
    const std::string target = testing::testfolder() + "livewriter-test.dat";
    deletefile(target);
    LiveWriter writer = makelivewriter(target);
    EXPECT_EQ(writer.temporary, target + ".part");
    ConsumingClock clock(target);

    writetemporary(writer, "abcd", 4);
    EXPECT_TRUE(fileexists(writer.temporary));
    EXPECT_FALSE(fileexists(target));
    handover(writer, clock);
    EXPECT_EQ(clock.naps, 0);  // nothing to wait for
    EXPECT_FALSE(fileexists(writer.temporary));
    std::string text;
    ASSERT_TRUE(readwholefile(target, text));
    EXPECT_EQ(text, "abcd");

    // The next file waits until the monitor has deleted the first.
    writetemporary(writer, "", 0);
    EXPECT_EQ(text, "abcd");
    handover(writer, clock);
    EXPECT_EQ(clock.naps, 3);
    ASSERT_TRUE(readwholefile(target, text));
    EXPECT_EQ(text, "");  // the zero-length end file
    EXPECT_EQ(writer.filecount, 2);
    deletefile(target);
}

TEST(LiveWriter, FailuresAreReportedWithTheFileName) {
    LiveWriter writer = makelivewriter("no-such-folder/x/audio.dat");
    try {
        writetemporary(writer, "ab", 2);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), fileioerror);
        EXPECT_NE(std::string(e.what()).find("no-such-folder/x/audio.dat.part"), std::string::npos);
    }
    testing::FakeClock clock;
    EXPECT_THROW(handover(writer, clock), RuntimeError);  // nothing to rename
}

}  // namespace
}  // namespace corvane
