#include "acquisition/wavfile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace corvane {
namespace {

// A WAV file assembled in memory, chunk by chunk.
struct WavBytes {
    std::string bytes = std::string("RIFF\0\0\0\0WAVE", 12);
    void chunk(const char* id, const std::string& payload) {
        bytes.append(id, 4);
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>(payload.size() >> (8 * i));
        bytes += payload;
        if (payload.size() % 2) bytes += '\0';
    }
    static std::string le(std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
        return s;
    }
    void fmt(int tag, int channels, std::uint32_t rate, int bits, int size = 16) {
        std::string p = le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * channels * bits / 8, 4) +
                        le(channels * bits / 8, 2) + le(bits, 2);
        if (size >= 18) p += le(size - 18, 2);
        p.resize(size, '\0');
        chunk("fmt ", p);
    }
    WavLayout scan(bool wholefile) const {
        ReadAt readat = [this](std::int64_t offset, void* data, std::size_t size) -> std::int64_t {
            if (offset >= static_cast<std::int64_t>(bytes.size())) return 0;
            std::size_t n = std::min(size, bytes.size() - static_cast<std::size_t>(offset));
            std::memcpy(data, bytes.data() + offset, n);
            return static_cast<std::int64_t>(n);
        };
        return scanwav(readat, static_cast<std::int64_t>(bytes.size()), wholefile);
    }
};

TEST(WavFile, SamplesStartAtTheFirstDataChunk) {
    WavBytes common;  // the 44-byte header of most software
    common.fmt(1, 2, 22050, 16);
    common.chunk("data", std::string(400, 'x'));
    WavLayout l = common.scan(false);
    EXPECT_TRUE(l.riffwave);
    EXPECT_EQ(samplestart(l), 44);
    EXPECT_FALSE(l.morechunks);
    EXPECT_EQ(headermismatch(l, 22050, 2, 2), "");

    WavBytes own;  // the receiver's 46-byte layout
    own.fmt(1, 2, 22050, 16, 18);
    own.chunk("data", std::string(400, 'x'));
    EXPECT_EQ(samplestart(own.scan(false)), 46);

    WavBytes extra;  // a LIST chunk of odd length (padded) before the data
    extra.fmt(1, 1, 48000, 16);
    extra.chunk("LIST", std::string(7, 'i'));
    extra.chunk("data", std::string(10, 'x'));
    EXPECT_EQ(samplestart(extra.scan(false)), 12 + 24 + 8 + 8 + 8);

    // Anything that is not RIFF/WAVE keeps the 46 skipped bytes.
    WavBytes raw;
    raw.bytes = std::string(100, '\x01');
    EXPECT_FALSE(raw.scan(false).riffwave);
    EXPECT_EQ(samplestart(raw.scan(false)), 46);
}

TEST(WavFile, ChunksAfterTheFirstDataChunkAreFound) {
    WavBytes kiwi;
    kiwi.fmt(1, 2, 11999, 16);
    kiwi.chunk("kiwi", std::string(10, 'k'));
    for (int i = 0; i < 3; ++i) {
        kiwi.chunk("data", std::string(2048, static_cast<char>('a' + i)));
        kiwi.chunk("kiwi", std::string(10, 'k'));
    }
    WavLayout head = kiwi.scan(false);
    EXPECT_TRUE(head.morechunks);
    EXPECT_EQ(head.nextid, "kiwi");
    EXPECT_TRUE(kiwisdrlayout(head));
    EXPECT_EQ(samplestart(head), 12 + 24 + 18 + 8);
    WavLayout all = kiwi.scan(true);
    EXPECT_EQ(all.chunks.size(), 8u);
    EXPECT_TRUE(all.morechunks);
    EXPECT_EQ(all.fault, "");

    // Sample bytes after a data chunk whose size was never filled in are not
    // taken for a chunk.
    WavBytes streamed;
    streamed.fmt(1, 2, 22050, 16);
    streamed.chunk("data", "");
    streamed.bytes += std::string("\x01\x00\xff\xff\x10\x00\x00\x80", 8);
    EXPECT_FALSE(streamed.scan(false).morechunks);
}

TEST(WavFile, MismatchSaysWhatTheHeaderSaysAndWhichKeysToSet) {
    WavBytes w;
    w.fmt(1, 1, 11999, 8);
    w.chunk("data", "ab");
    WavLayout l = w.scan(false);
    EXPECT_EQ(headermismatch(l, 11999.5, 1, 1), "");  // a calibrated rate agrees
    EXPECT_EQ(headermismatch(l, 11880, 1, 1), "");    // 0.99 % below
    EXPECT_EQ(headermismatch(l, 12118, 1, 1), "");    // 0.99 % above
    EXPECT_EQ(headermismatch(l, 11878, 1, 1),
              "the header says 11999 Hz, 8-bit integer samples, 1 channel; set sr = 11999 in the settings");
    EXPECT_EQ(headermismatch(l, 22050, 2, 2),
              "the header says 11999 Hz, 8-bit integer samples, 1 channel; set sr = 11999, bits = 8, mono in the "
              "settings");
    WavBytes f;
    f.fmt(3, 2, 48000, 32);  // float samples: no setting reads them
    f.chunk("data", "abcdefgh");
    EXPECT_EQ(headermismatch(f.scan(false), 48000, 2, 2),
              "the header says 48000 Hz, 32-bit format 3 samples, 2 channels; the monitor reads 8- or 16-bit "
              "integer samples, mono or stereo");
    EXPECT_FALSE(kiwisdrlayout(l));
}

}  // namespace
}  // namespace corvane
