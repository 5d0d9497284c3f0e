#include "feed.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace corvane::feed {
namespace {

// Stands for the monitor: whenever the feeder waits, the file it waits on is
// read and deleted.
class Consumer : public testing::FakeClock {
public:
    explicit Consumer(std::string path) : path_(std::move(path)) {}
    void sleepms(int ms) override {
        testing::FakeClock::sleepms(ms);
        std::string text;
        if (readwholefile(path_, text)) {
            files.push_back(text);
            deletefile(path_);
        }
    }
    std::vector<std::string> files;

private:
    std::string path_;
};

TEST(Feed, Options) {
    FeedOptions o = parsefeedoptions({"--live", "a.dat", "--file-bytes", "4000", "--frame-bytes=2"});
    EXPECT_EQ(o.live, "a.dat");
    EXPECT_EQ(o.fileframes, 2000);
    EXPECT_TRUE(o.endfile);
    EXPECT_FALSE(parsefeedoptions({"--live", "a", "--no-end-file"}).endfile);
    EXPECT_TRUE(parsefeedoptions({"--help"}).help);
    EXPECT_THROW(parsefeedoptions({}), RuntimeError);                                        // no --live
    EXPECT_THROW(parsefeedoptions({"--live", "a", "--file-bytes", "4002"}), RuntimeError);  // not whole frames
    EXPECT_THROW(parsefeedoptions({"--live", "a", "--file-frames", "0"}), RuntimeError);
    EXPECT_THROW(parsefeedoptions({"--live", "a", "--bogus"}), RuntimeError);
    EXPECT_THROW(parsefeedoptions({"--live"}), RuntimeError);
    EXPECT_NE(feedhelp().find("--no-end-file"), std::string::npos);
}

TEST(Feed, CutsTheStreamIntoLiveFilesAndEndsWithAnEmptyOne) {
    const std::string target = testing::testfolder() + "feed-test.dat";
    deletefile(target);
    std::FILE* input = std::tmpfile();
    ASSERT_NE(input, nullptr);
    std::string stream;
    for (int i = 0; i < 42; ++i) stream += static_cast<char>('a' + i % 26);
    std::fwrite(stream.data(), 1, stream.size(), input);
    std::rewind(input);

    FeedOptions o = parsefeedoptions({"--live", target, "--file-frames", "4"});  // 16 bytes
    Consumer monitor(target);
    FeedTotals totals = runfeed(input, o, monitor);
    std::fclose(input);
    EXPECT_EQ(totals.bytes, 42);
    EXPECT_EQ(totals.files, 4);
    // Three data files were consumed in order; the end file is left for the monitor.
    ASSERT_EQ(monitor.files.size(), 3u);
    EXPECT_EQ(monitor.files[0] + monitor.files[1] + monitor.files[2], stream);
    EXPECT_EQ(monitor.files[0].size(), 16u);
    EXPECT_EQ(monitor.files[2].size(), 10u);
    std::string last;
    ASSERT_TRUE(readwholefile(target, last));
    EXPECT_EQ(last, "");
    EXPECT_FALSE(fileexists(target + ".part"));
    deletefile(target);

    // Without the end file, empty input writes nothing at all.
    std::FILE* empty = std::tmpfile();
    o.endfile = false;
    totals = runfeed(empty, o, monitor);
    std::fclose(empty);
    EXPECT_EQ(totals.files, 0);
    EXPECT_FALSE(fileexists(target));
}

}  // namespace
}  // namespace corvane::feed
