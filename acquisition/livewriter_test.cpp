#include "acquisition/livewriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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

// What the writer may never hand over onto: a folder ends the hand-over
// with an error naming it; a name taken by something it cannot tell as a
// file (here a dangling link, which an open would take for "gone") is never
// replaced, and a monitor that takes nothing for giveupseconds ends it.
TEST(LiveWriter, NeverRenamesOverAnythingAndGivesUp) {
    const std::string target = testing::testfolder() + "livewriter-taken.dat";
    LiveWriter writer = makelivewriter(target);
    writer.giveupseconds = 60;
    testing::FakeClock clock;
    auto refused = [&](const char* what) {
        writetemporary(writer, "ab", 2);
        const double start = clock.now;
        try {
            handover(writer, clock);
            ADD_FAILURE() << "handed over onto " << what;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), fileioerror);
            EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
        EXPECT_TRUE(fileexists(writer.temporary));
        return clock.now - start;
    };
    ASSERT_TRUE(std::filesystem::create_directory(target));
    EXPECT_EQ(refused("a directory"), 0);  // at once, not after the wait
    EXPECT_TRUE(std::filesystem::is_directory(target));
    std::filesystem::remove(target);
    // Where special files exist (not on Windows) a dangling link has the name.
    if (testing::makepipe(target + ".probe")) {
        std::filesystem::remove(target + ".probe");
        std::filesystem::create_symlink(testing::testfolder() + "nowhere", target);
        const double waited = refused("has not been taken for 60 s");
        EXPECT_GE(waited, 60);
        EXPECT_LT(waited, 61);
        EXPECT_TRUE(std::filesystem::is_symlink(target));
        std::filesystem::remove(target);
    }
    discardtemporary(writer);
}

}  // namespace
}  // namespace corvane
