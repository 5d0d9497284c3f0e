#include "acquisition/samplereader.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "acquisition/clock.h"
#include "core/errors.h"
#include "platform/testing.h"

namespace corvane {
namespace {

void writefile(const std::string& name, const std::string& bytes) {
    File f;
    ASSERT_TRUE(f.open(name, File::Mode::create));
    ASSERT_TRUE(f.write(bytes.data(), bytes.size()));
    ASSERT_TRUE(f.close());
}

// Whether this system lets a file that is open be deleted by another program
// while its reader goes on reading it, with the name free for a new file that
// the reader then tells apart (POSIX; where the data or the name stay bound
// to the open file, the case does not arise).
bool deletedopenfilestaysreadable(const std::string& name) {
    writefile(name, "abcd");
    File f;
    if (!f.open(name, File::Mode::read)) return false;
    deletefile(name);
    char got[4];
    bool ok = f.read(got, 4) == 4;
    File other;
    ok = ok && other.open(name, File::Mode::create) && other.close();
    ok = ok && f.deleteifsame(name) == File::Removal::replaced;
    f.close();
    deletefile(name);
    return ok;
}

// 16-bit stereo frames with re = k, im = -k for k = first, first + 1, ...
std::string frames16(int count, int first = 0) {
    std::string s;
    for (int k = first; k < first + count; ++k) {
        const auto re = static_cast<std::uint16_t>(k), im = static_cast<std::uint16_t>(-k);
        s += {static_cast<char>(re & 0xff), static_cast<char>(re >> 8), static_cast<char>(im & 0xff),
              static_cast<char>(im >> 8)};
    }
    return s;
}

// The receiver side of the hand-over: whenever the monitor sleeps while the
// sample file is missing, the next queued file appears under its name.
struct ReceiverClock : testing::FakeClock {
    std::string name;
    std::deque<std::string> queue;
    void deliver() {
        // A test that waits for a file it never queued fails instead of hanging.
        if (queue.empty() && sleeps.size() > 10000) throw std::runtime_error("waited for a file never written");
        if (!queue.empty() && !fileexists(name)) {
            writefile(name, queue.front());
            queue.pop_front();
        }
    }
    void sleepms(int ms) override {
        FakeClock::sleepms(ms);
        deliver();
    }
    void sleepseconds(int s, Keyboard& k) override {
        FakeClock::sleepseconds(s, k);
        deliver();
    }
};

struct Reader : ::testing::Test {
    testing::FakeConsole console;
    testing::FakeKeyboard keyboard;
    ReceiverClock clockdevice;
    testing::FakeCommandRunner commands;
    Platform platform{console, keyboard, clockdevice, commands};
    InputConfig settings;
    ClockState clock;
    SampleBuffer buffer;
    SampleReader reader;
    std::ostringstream warnings;

    void SetUp() override {
        settings.samplefile = testing::testfolder() + "samplereader-test-" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dat";
        clockdevice.name = settings.samplefile;
        deletefile(settings.samplefile);
    }
    void TearDown() override {
        reader.file.close();
        deletefile(settings.samplefile);
    }
    void start() {
        createsamplebuffer(buffer, settings);
        restartbuffer(buffer, settings.sr);
        settings.clock.framebytes = settings.samplebytes * settings.channels;
        if (settings.wavinput == 0) secondticksync(clock, settings.clock, clockdevice);
        openfirstfile(reader, buffer, clock, settings, platform, warnings);
    }
    void read() { readblock(reader, buffer, clock, settings, settings.sr, platform); }
};

TEST_F(Reader, LiveFileIsOneBlockThenDeletedAndTheNextAwaited) {
    clockdevice.queue = {frames16(2500, 1), frames16(100, 5000), ""};
    start();
    EXPECT_EQ(reader.bytesleft, 10000);
    clockdevice.sleeps.clear();
    read();
    EXPECT_EQ(buffer.blocksamples, 2500);
    EXPECT_EQ(buffer.samplere[256], 1);
    EXPECT_EQ(buffer.sampleim[256 + 2499], -2500);
    // The file was deleted, the wait found the next one and the clock stamp
    // was taken before the wait.
    EXPECT_EQ(reader.bytesleft, 400);
    EXPECT_FALSE(clockdevice.sleeps.empty());
    EXPECT_NEAR(reader.fileopentime, clock.pcclock - 0.05, 1e-3);

    read();  // the overlap keeps the last 256 samples of the first file
    EXPECT_EQ(buffer.blocksamples, 100);
    EXPECT_EQ(buffer.samplere[0], 2500 - 255);
    EXPECT_EQ(buffer.samplere[255], 2500);
    EXPECT_EQ(buffer.samplere[256], 5000);
}

// Another program removes the finished file, or removes it and the receiver
// hands over the next one, before the monitor deletes it: the next file is
// read, never deleted unread, and the console says what happened.
TEST_F(Reader, OnlyTheFileThatWasReadIsDeleted) {
    if (!deletedopenfilestaysreadable(settings.samplefile + ".probe"))
        GTEST_SKIP() << "a deleted open file keeps its name or loses its data here";
    clockdevice.queue = {frames16(1000, 1), frames16(2000, 3000), frames16(10, 7000), ""};
    start();
    deletefile(settings.samplefile);  // gone; the next file comes with the wait
    read();
    EXPECT_EQ(reader.bytesleft, 8000);
    EXPECT_NE(console.transcript.find("was removed by another program"), std::string::npos) << console.transcript;
    read();
    EXPECT_EQ(buffer.blocksamples, 2000);
    EXPECT_EQ(buffer.samplere[256], 3000);

    // Replaced while open: the new file keeps its name and is read next.
    clockdevice.queue = {""};  // after the last file: one of length 0
    reader.file.close();
    writefile(settings.samplefile, frames16(300, 100));
    ASSERT_TRUE(reader.file.open(settings.samplefile, File::Mode::read));
    reader.bytesleft = reader.filelength = 1200;
    deletefile(settings.samplefile);
    writefile(settings.samplefile, frames16(10, 7000));
    read();
    EXPECT_EQ(buffer.samplere[256], 100);
    EXPECT_NE(console.transcript.find("was replaced before it could be deleted"), std::string::npos);
    EXPECT_EQ(reader.bytesleft, 40);
    read();
    EXPECT_EQ(buffer.blocksamples, 10);
    EXPECT_EQ(buffer.samplere[256], 7000);
}

TEST_F(Reader, RecordingThatShrinksWhileReadIsError3) {
    settings.wavinput = 1;
    settings.fileblocklen = 1000;
    writefile(settings.samplefile, std::string(46, 'h') + frames16(5000));
    start();
    read();
    std::filesystem::resize_file(settings.samplefile, 46 + 4 * 2500);  // cut to 2500 frames
    read();
    try {
        read();
        FAIL() << "the shrunk file was accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), fileioerror);
        EXPECT_NE(std::string(e.what()).find(settings.samplefile), std::string::npos) << e.what();
    }
}

TEST_F(Reader, SampleTimeAdvancesByTheFramesOfEveryFile) {
    settings.sr = 8000;
    settings.fileblocklen = 1000;
    // 2500 frames in three blocks, a partial frame, nothing but a partial frame.
    clockdevice.queue = {frames16(2500), frames16(7) + "xyz", "ab", frames16(1), ""};
    start();
    std::int64_t frames = 0;
    while (reader.bytesleft > 0) {
        read();
        frames += buffer.blocksamples;
        EXPECT_DOUBLE_EQ(buffer.bufstart, buffer.bufend - (buffer.blocksamples + 256) / 8000.0);
    }
    EXPECT_EQ(frames, 2508);
    EXPECT_NEAR(buffer.bufend, 2508 / 8000.0, 1e-12);
    EXPECT_FALSE(fileexists(settings.samplefile));  // the empty file ends the run, consumed like the others
}

// A receiver writing in place: the file grows after the monitor took its
// length. The growth is read before the file is deleted, and said once.
TEST_F(Reader, LiveFileThatGrewIsReadToItsNewEnd) {
    clockdevice.queue = {frames16(1000, 1), ""};
    start();
    EXPECT_EQ(reader.bytesleft, 4000);
    File more;
    ASSERT_TRUE(more.open(settings.samplefile, File::Mode::append));
    ASSERT_TRUE(more.write(frames16(500, 1001).data(), 2000));
    read();
    EXPECT_EQ(buffer.blocksamples, 1000);
    EXPECT_EQ(reader.bytesleft, 2000);
    EXPECT_TRUE(fileexists(settings.samplefile));  // not deleted with its tail unread
    ASSERT_TRUE(more.write(frames16(100, 1501).data(), 400));
    ASSERT_TRUE(more.close());
    read();
    EXPECT_EQ(buffer.blocksamples, 500);
    EXPECT_EQ(buffer.samplere[256], 1001);
    EXPECT_EQ(reader.bytesleft, 400);
    read();
    EXPECT_EQ(buffer.blocksamples, 100);
    EXPECT_EQ(buffer.samplere[256 + 99], 1600);
    EXPECT_EQ(reader.bytesleft, 0);  // the end file came and went
    EXPECT_FALSE(fileexists(settings.samplefile));
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = console.transcript.find("grew while it was read", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_EQ(lines, 1u) << console.transcript;
}

// Presses q once the fake time passes a given counter reading.
struct QuittingClock : testing::FakeClock {
    testing::FakeKeyboard* keyboard = nullptr;
    double quitat = 0;
    void sleepseconds(int seconds, Keyboard& k) override {
        FakeClock::sleepseconds(seconds, k);
        if (now >= quitat && keyboard->keys.empty()) keyboard->press("q");
    }
};

// A wait for the next file says so after a minute, then once an hour; a
// name no file can ever take ends the run at once with an error naming it.
TEST_F(Reader, LongWaitsAreSaidAndImpossibleNamesRefused) {
    settings.sleeptime = 1;
    auto waitlines = [&](double seconds) {
        QuittingClock quitting;
        quitting.keyboard = &keyboard;
        quitting.quitat = quitting.now + seconds;
        testing::FakeConsole said;
        Platform waiting{said, keyboard, quitting, commands};
        createsamplebuffer(buffer, settings);
        EXPECT_THROW(openfirstfile(reader, buffer, clock, settings, waiting, warnings), QuitRequested);
        keyboard.keys.clear();
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = said.transcript.find("waiting for " + settings.samplefile + "\n", at)) !=
                                 std::string::npos;
             ++at)
            ++lines;
        return lines;
    };
    EXPECT_EQ(waitlines(59), 0u);
    EXPECT_EQ(waitlines(61), 1u);
    EXPECT_EQ(waitlines(3659), 1u);
    EXPECT_EQ(waitlines(3661), 2u);

    auto refused = [&](int number, const std::string& what) {
        try {
            start();
            ADD_FAILURE() << "waited for " << what;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), number);
            EXPECT_NE(std::string(e.what()).find(settings.samplefile), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    };
    std::filesystem::create_directory(settings.samplefile);
    refused(fileioerror, "a directory");
    std::filesystem::remove(settings.samplefile);
    const std::string dat = settings.samplefile;
    settings.samplefile = dat + ".missing/audio.dat";
    refused(filenotfound, "folder does not exist");
    settings.samplefile = dat;
    if (testing::makepipe(dat)) {
        refused(fileioerror, "a named pipe");
        std::filesystem::remove(dat);
    }
    writefile(dat, "abcd");
    std::filesystem::permissions(dat, std::filesystem::perms::none);
    File probe;
    if (!probe.open(dat, File::Mode::read)) refused(fileioerror, "cannot open");  // not as root
}

TEST_F(Reader, DecodesEightBitAndOneChannelFrames) {
    settings.wavinput = 1;
    settings.samplebytes = 1;
    writefile(settings.samplefile, std::string(46, 'h') + std::string("\x00\xff\x80\x7f", 4));
    start();
    read();
    EXPECT_EQ(buffer.blocksamples, 2);
    EXPECT_EQ(buffer.samplere[256], -128);
    EXPECT_EQ(buffer.sampleim[256], 127);
    EXPECT_EQ(buffer.samplere[257], 0);
    EXPECT_EQ(buffer.sampleim[257], -1);
    EXPECT_TRUE(fileexists(settings.samplefile));  // a recording is never deleted
    reader.file.close();

    settings.channels = 1;
    start();
    buffer.sampleim[256 + 3] = 99;
    read();
    EXPECT_EQ(buffer.blocksamples, 4);
    EXPECT_EQ(buffer.samplere[256 + 1], 127);
    EXPECT_EQ(buffer.sampleim[256 + 3], 0);
    reader.file.close();

    settings.samplebytes = 2;  // 16-bit mono: 2 frames, im 0
    start();
    buffer.sampleim[256] = 99;
    read();
    EXPECT_EQ(buffer.blocksamples, 2);
    EXPECT_EQ(buffer.samplere[256], -256);
    EXPECT_EQ(buffer.sampleim[256], 0);
}

TEST_F(Reader, OverlapIsNotMovedAfterRestart) {
    settings.wavinput = 1;
    writefile(settings.samplefile, std::string(46, 'h') + frames16(5000, 1));
    start();
    read();
    std::vector<std::int16_t> before(buffer.samplere.begin(), buffer.samplere.begin() + 256);
    restartbuffer(buffer, settings.sr);
    EXPECT_DOUBLE_EQ(buffer.bufstart, -256 / 22050.0);
    read();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), buffer.samplere.begin()));
    EXPECT_NEAR(buffer.bufend, 904 / 22050.0, 1e-12);
}

// A recording without a whole frame after its header is refused with
// error 2 naming it, as if it were missing.
TEST_F(Reader, RecordingWithoutSamplesIsRefused) {
    settings.wavinput = 1;
    for (const std::string& bytes : {std::string(), std::string(20, 'h'), std::string(46, 'h'), std::string(49, 'h')}) {
        writefile(settings.samplefile, bytes);
        try {
            start();
            ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), filenotfound);
            EXPECT_NE(std::string(e.what()).find(settings.samplefile), std::string::npos) << e.what();
        }
        reader.file.close();
    }
    writefile(settings.samplefile, std::string(50, 'h'));  // one frame is enough
    start();
    EXPECT_EQ(reader.bytesleft, 4);
}

// v as n little-endian bytes.
std::string le(std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
}

TEST_F(Reader, WavHeadersPlaceTheFirstSample) {
    settings.wavinput = 1;
    const std::string fmt = "fmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(22050, 4) + le(88200, 4) + le(4, 2) + le(16, 2);
    writefile(settings.samplefile, "RIFF" + le(0, 4) + "WAVE" + fmt + "data" + le(8, 4) + frames16(2, 7));
    start();
    EXPECT_EQ(reader.bytesleft, 8);
    read();
    EXPECT_EQ(buffer.samplere[256], 7);  // not shifted by half a frame
    EXPECT_EQ(warnings.str(), "");
    reader.file.close();

    // A rate within 1 % of the header's is a calibrated sr.
    settings.sr = 22260;
    start();
    EXPECT_EQ(reader.bytesleft, 8);
    EXPECT_EQ(warnings.str(), "");
    reader.file.close();

    // A chunk after the data that is not a KiwiSDR time stamp: read on, with
    // the advice to convert.
    settings.sr = 22050;
    writefile(settings.samplefile, "RIFF" + le(0, 4) + "WAVE" + fmt + "data" + le(8, 4) + frames16(2, 7) + "LIST" +
                                       le(2, 4) + "ab");
    start();
    EXPECT_EQ(warnings.str(), "corvane: recording \"" + settings.samplefile +
                                  "\": more chunks follow the first data chunk and would be read as samples; "
                                  "convert it with corvane-wav\n");
    reader.file.close();
}

// A header that disagrees with the settings, or a KiwiSDR file, is refused
// with error 1 before a sample is read.
TEST_F(Reader, DisagreeingHeadersAreRefused) {
    settings.wavinput = 1;
    const std::string fmt = "fmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(24000, 4) + le(96000, 4) + le(4, 2) + le(16, 2);
    const std::string data = "data" + le(8, 4) + frames16(2, 7);
    auto refused = [&](const std::string& file, const std::string& message) {
        writefile(settings.samplefile, file);
        try {
            start();
            FAIL() << "accepted";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 1);
            EXPECT_EQ(std::string(e.what()), "cannot read recording \"" + settings.samplefile + "\": " + message);
        }
        reader.file.close();
    };
    settings.sr = 22050;  // 8.1 % below the header's rate
    refused("RIFF" + le(0, 4) + "WAVE" + fmt + data,
            "the header says 24000 Hz, 16-bit integer samples, 2 channels; set sr = 24000 in the settings");
    settings.sr = 24000;
    settings.samplebytes = 1;
    settings.channels = 1;
    refused("RIFF" + le(0, 4) + "WAVE" + fmt + data,
            "the header says 24000 Hz, 16-bit integer samples, 2 channels; set bits = 16, stereo in the settings");
    settings.samplebytes = 2;
    settings.channels = 2;
    refused("RIFF" + le(0, 4) + "WAVE" + fmt + "kiwi" + le(2, 4) + "ab" + data + "kiwi" + le(2, 4) + "ab" + data,
            "a KiwiSDR file, its time stamp chunks interleaved with the samples; convert it with corvane-wav first");
}

TEST_F(Reader, QuitKeyWhileReadingAndWhileWaiting) {
    settings.wavinput = 1;
    writefile(settings.samplefile, std::string(46, 'h') + frames16(9000));
    start();
    keyboard.press("Q");
    read();  // upper case is consumed and ignored
    EXPECT_TRUE(keyboard.keys.empty());
    keyboard.press("q");
    EXPECT_THROW(read(), QuitRequested);
    EXPECT_FALSE(reader.file.isopen());
    EXPECT_TRUE(fileexists(settings.samplefile));

    settings.wavinput = 0;
    deletefile(settings.samplefile);
    settings.sleeptime = 2.5f;  // rounds to 2 s, halves to even
    keyboard.press("Qq");
    EXPECT_THROW(start(), QuitRequested);
    EXPECT_TRUE(keyboard.keys.empty());
    EXPECT_EQ(clockdevice.sleeps.back(), 2000);
    EXPECT_FALSE(fileexists(settings.samplefile));  // waiting never creates the file
}

TEST_F(Reader, MissingRecordingIsFileNotFound) {
    settings.wavinput = 1;
    try {
        start();
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), filenotfound);
        EXPECT_NE(std::string(e.what()).find(settings.samplefile), std::string::npos);
    }
}

TEST_F(Reader, RecordingsBeyond4GiBKeepTheirLength) {
    settings.wavinput = 1;
    {
        File f;  // a sparse file of 5 GiB
        ASSERT_TRUE(f.open(settings.samplefile, File::Mode::create));
        if (!f.writeat(5LL << 30, "x", 1)) GTEST_SKIP() << "no room for a sparse file";
    }
    start();
    EXPECT_EQ(reader.bytesleft, (5LL << 30) + 1 - 46);
    read();
    EXPECT_EQ(buffer.blocksamples, 4096);
    EXPECT_EQ(reader.bytesleft, (5LL << 30) + 1 - 46 - 16384);
}

}  // namespace
}  // namespace corvane
