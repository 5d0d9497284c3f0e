#include "convert.h"
#include "kiwitime.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/testing.h"

namespace corvane {
namespace {

std::string le(std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
}

std::string chunk(const std::string& id, const std::string& payload) {
    return id + le(static_cast<std::uint32_t>(payload.size()), 4) + payload + std::string(payload.size() % 2, '\0');
}

std::string fmt16(int tag, int channels, std::uint32_t rate, int bits) {
    return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * channels * bits / 8, 4) +
                             le(channels * bits / 8, 2) + le(bits, 2));
}

std::string riff(const std::string& chunks) { return "RIFF" + le(static_cast<std::uint32_t>(chunks.size() + 4), 4) + "WAVE" + chunks; }

struct Convert : ::testing::Test {
    const std::string in = testing::testfolder() + "convert-test-in.wav", out = testing::testfolder() + "convert-test-out.wav";
    void TearDown() override {
        deletefile(in);
        deletefile(out);
    }
    void write(const std::string& name, const std::string& bytes) {
        File f;
        ASSERT_TRUE(f.open(name, File::Mode::create));
        ASSERT_TRUE(f.write(bytes.data(), bytes.size()));
    }
    std::string output() {
        std::string s;
        EXPECT_TRUE(readwholefile(out, s));
        return s;
    }
    // The conversion fails with a message containing text, and the output
    // name keeps what it held before.
    void refuses(const std::string& bytes, const std::string& text) {
        write(in, bytes);
        write(out, "old");
        try {
            convertrecording(in, out);
            ADD_FAILURE() << "converted";
        } catch (const ConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
        EXPECT_EQ(output(), "old");
        EXPECT_FALSE(fileexists(out + ".corvane-wav-part"));
    }
};

TEST_F(Convert, JoinsEveryDataChunkBehindA46ByteHeader) {
    const std::string a(2048, 'a'), b(2048, 'b'), c(1024, 'c');
    write(in, riff(fmt16(1, 2, 11999, 16) + chunk("kiwi", std::string(10, 'k')) + chunk("data", a) +
                   chunk("kiwi", std::string(10, 'k')) + chunk("data", b) + chunk("kiwi", std::string(10, 'k')) +
                   chunk("data", c)));
    ConvertResult r = convertrecording(in, out);
    EXPECT_EQ(r.frames, 5120u / 4);
    EXPECT_EQ(r.datachunks, 3);
    const std::string o = output();
    ASSERT_EQ(o.size(), 46u + 5120);
    EXPECT_EQ(o.substr(0, 12), "RIFF" + le(5120 + 38, 4) + "WAVE");
    EXPECT_EQ(o.substr(12, 8), "fmt " + le(18, 4));
    EXPECT_EQ(o.substr(38, 8), "data" + le(5120, 4));
    EXPECT_EQ(o.substr(46), a + b + c);
    EXPECT_EQ(settingslines(r, out), "[file]\nwav = " + out + "\nbits = 16\nstereo\n[frequency]\nsr = 11999\n");
}

TEST_F(Convert, ReadsExtensibleEightBitAndOddChunks) {
    // WAVE_FORMAT_EXTENSIBLE, mono 16-bit, with an odd-sized LIST chunk first.
    const std::string ext = le(0xFFFE, 2) + le(1, 2) + le(48000, 4) + le(96000, 4) + le(2, 2) + le(16, 2) + le(22, 2) +
                            le(16, 2) + le(4, 4) + le(1, 2) + std::string(14, '\0');
    write(in, riff(chunk("LIST", "abc") + chunk("fmt ", ext) + chunk("data", "\x01\x02\x03\x04\x05")));
    ConvertResult r = convertrecording(in, out);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.rate, 48000u);
    EXPECT_EQ(r.frames, 2u);  // the partial frame at the end is dropped
    EXPECT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(output().substr(46), "\x01\x02\x03\x04");

    write(in, riff(fmt16(1, 2, 8000, 8) + chunk("data", std::string("\x00\xff", 2))));
    r = convertrecording(in, out);
    EXPECT_EQ(r.bits, 8);
    EXPECT_EQ(output().substr(32, 4), le(2, 2) + le(8, 2));
    EXPECT_EQ(output().substr(46), std::string("\x00\xff", 2));
}

TEST_F(Convert, RefusesWhatItCannotConvert) {
    refuses("plain bytes, no header at all, long enough", "not a RIFF/WAVE file");
    refuses(riff(fmt16(3, 2, 22050, 32) + chunk("data", std::string(8, 'x'))), "not integer PCM");
    refuses(riff(fmt16(0x55, 2, 22050, 16) + chunk("data", std::string(8, 'x'))), "0x0055 is not integer PCM");
    refuses(riff(fmt16(1, 2, 22050, 24) + chunk("data", std::string(12, 'x'))), "24-bit samples");
    refuses(riff(fmt16(1, 3, 22050, 16) + chunk("data", std::string(12, 'x'))), "3 channels");
    refuses(riff(chunk("data", std::string(8, 'x'))), "no fmt chunk");
    refuses(riff(fmt16(1, 2, 22050, 16)), "no data chunk");
    std::string cut = riff(fmt16(1, 2, 22050, 16) + chunk("data", std::string(400, 'x')));
    refuses(cut.substr(0, cut.size() - 100), "truncated: chunk \"data\" at byte 36 declares 400 bytes, but only 300");
    refuses(riff(fmt16(1, 2, 22050, 16) + chunk("data", std::string(6, 'x')) + chunk("data", std::string(8, 'x'))),
            "holds 6 bytes, not whole 4-byte frames");
    refuses("", "not a RIFF/WAVE file");
    deletefile(in);
    EXPECT_THROW(convertrecording(in, out), ConvertError);
}

// The recording's start for [file] date and time. 2025-12-07 is a Sunday, the
// first day of a GPS week; GPS runs 18 s ahead of UTC.
TEST(KiwiTime, GpsStampsWithTheWeekFromTheFileNameElseTheFileName) {
    // 18:45:49 GPS on Sunday = 67549 s of the week = 18:45:31 UTC.
    EXPECT_EQ(recordingtimelines(67549.2, filenameutc("rec/20251207T184500Z_100000_X_iq.wav")),
              "; date and time from the recording's GPS time stamps (week from the file name)\n"
              "date = 12-07-2025\ntime = 18:45:31\n");
    // 5 s into the week is 23:59:47 UTC on the Saturday before, which the
    // file name (Saturday evening) picks over the next week's Sunday.
    EXPECT_EQ(recordingtimelines(5.0, filenameutc("20251206T235959Z_x.wav")),
              "; date and time from the recording's GPS time stamps (week from the file name)\n"
              "date = 12-06-2025\ntime = 23:59:47\n");
    EXPECT_EQ(recordingtimelines(67549.0, std::nullopt),
              "; time from the recording's GPS time stamps; the file name gives no date\ntime = 18:45:31\n");
    EXPECT_EQ(recordingtimelines(std::nullopt, filenameutc("C:\\rec\\20240229T000102Z_100000_iq.wav")),
              "; date and time from the file name (no GPS fix in the recording)\n"
              "date = 02-29-2024\ntime = 00:01:02\n");
    EXPECT_EQ(recordingtimelines(std::nullopt, filenameutc("20251307T183531Z.wav")), "");  // month 13
    EXPECT_EQ(recordingtimelines(std::nullopt, filenameutc("rec.wav")), "");

    const unsigned char nofix[10] = {0xff, 0, 0xc0, 0xb7, 0, 0, 0x3a, 0x07, 0x4f, 0x39};
    EXPECT_EQ(readkiwistamp(nofix).seconds, 47040u);
    EXPECT_EQ(readkiwistamp(nofix).nanoseconds, 961480506u);
    EXPECT_FALSE(validkiwistamp(readkiwistamp(nofix)));
    EXPECT_FALSE(validkiwistamp({0, 0, 0}));
    EXPECT_FALSE(validkiwistamp({0, 604800, 0}));
    EXPECT_TRUE(validkiwistamp({0, 47040, 961480506}));
}

// A converted KiwiSDR layout: the first valid stamp, less the frames before
// it, gives the start.
TEST_F(Convert, KiwiRecordingGivesItsStartTime) {
    auto kiwi = [](int fix, std::uint32_t seconds, std::uint32_t ns) {
        return chunk("kiwi", le(fix, 1) + le(0, 1) + le(seconds, 4) + le(ns, 4));
    };
    const std::string frames(4000, 'x');  // 1000 frames at 1000 Hz: 1 s
    const std::string bytes = riff(fmt16(1, 2, 1000, 16) + kiwi(0, 0, 0) + chunk("data", frames) +
                                   kiwi(255, 100, 0) + chunk("data", frames) + kiwi(0, 67551, 400000000) +
                                   chunk("data", frames));
    write(in, bytes);
    ConvertResult r = convertrecording(in, out);  // no time in the name: no week
    EXPECT_EQ(r.timelines, "; time from the recording's GPS time stamps; the file name gives no date\ntime = 18:45:31\n");
    const std::string named = "20251207T184500Z_100000_X_iq.wav";
    write(named, bytes);
    r = convertrecording(named, out);
    deletefile(named);
    // 67551.4 s less the 2 s of frames before it: 67549.4 s, 18:45:31 UTC.
    EXPECT_NE(settingslines(r, out).find("stereo\n; date and time from the recording's GPS time stamps"
                                         " (week from the file name)\ndate = 12-07-2025\ntime = 18:45:31\n[frequency]"),
              std::string::npos)
        << settingslines(r, out);
}

}  // namespace
}  // namespace corvane
