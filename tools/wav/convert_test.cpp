#include "convert.h"

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

}  // namespace
}  // namespace corvane
