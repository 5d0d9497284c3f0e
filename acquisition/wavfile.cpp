#include "acquisition/wavfile.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvane {

namespace {

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// A chunk id of four printable characters; anything else after a data
// chunk is taken for more sample bytes, not for a chunk.
bool chunkid(const unsigned char* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7e) return false;
    return true;
}

std::string idtext(const unsigned char* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

WavFormat parseformat(const unsigned char* p, std::uint32_t size) {
    WavFormat f;
    f.formattag = le16(p);
    f.channels = le16(p + 2);
    f.rate = le32(p + 4);
    f.blockalign = le16(p + 12);
    f.bits = le16(p + 14);
    f.pcm = f.formattag == 1;
    // WAVE_FORMAT_EXTENSIBLE: cbSize 22, valid bits, channel mask, and a
    // sub-format GUID whose first two bytes are the format tag.
    if (f.formattag == 0xFFFE && size >= 40) {
        std::uint16_t validbits = le16(p + 18);
        if (validbits != 0) f.bits = validbits;
        f.pcm = le16(p + 24) == 1;
    }
    return f;
}

// The first fmt chunk into layout.format; false (with the fault) when it
// is too short or cannot be read.
bool readformat(const ReadAt& readat, const WavChunk& chunk, WavLayout& layout) {
    if (chunk.size < 16) {
        layout.fault = "the fmt chunk holds only " + std::to_string(chunk.size) + " bytes";
        return false;
    }
    unsigned char f[40] = {};
    std::size_t want = chunk.size < 40 ? chunk.size : 40;
    if (readat(chunk.offset, f, want) != static_cast<std::int64_t>(want)) {
        layout.fault = "truncated fmt chunk";
        return false;
    }
    layout.format = parseformat(f, chunk.size);
    layout.hasformat = true;
    return true;
}

}  // namespace

WavLayout scanwav(const ReadAt& readat, std::int64_t length, bool wholefile) {
    WavLayout layout;
    unsigned char head[12];
    if (length < 12 || readat(0, head, 12) != 12) return layout;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return layout;
    layout.riffwave = true;

    std::int64_t pos = 12;
    while (pos < length) {
        unsigned char h[8];
        if (length - pos < 8 || readat(pos, h, 8) != 8) {
            layout.fault = "truncated chunk header at byte " + std::to_string(pos);
            break;
        }
        WavChunk chunk;
        chunk.id = idtext(h);
        chunk.size = le32(h + 4);
        chunk.offset = pos + 8;
        chunk.truncated = chunk.offset + chunk.size > length;
        layout.chunks.push_back(chunk);
        const int index = static_cast<int>(layout.chunks.size()) - 1;
        if (chunk.truncated) {
            layout.fault = "chunk \"" + chunk.id + "\" at byte " + std::to_string(pos) + " declares " +
                           std::to_string(chunk.size) + " bytes, but only " +
                           std::to_string(length - chunk.offset) + " follow";
            if (chunk.id == "data" && layout.firstdata < 0) layout.firstdata = index;
            break;
        }
        if (chunk.id == "fmt " && layout.firstdata < 0 && !layout.hasformat && !readformat(readat, chunk, layout))
            break;
        const std::int64_t next = chunk.offset + chunk.size + (chunk.size & 1);
        if (chunk.id == "data" && layout.firstdata < 0) {
            layout.firstdata = index;
            if (!wholefile) {
                unsigned char n[8];
                layout.morechunks = next <= length - 8 && readat(next, n, 8) == 8 && chunkid(n);
                if (layout.morechunks) layout.nextid = idtext(n);
                return layout;
            }
        }
        pos = next;
    }
    if (layout.firstdata >= 0) {
        const auto next = static_cast<std::size_t>(layout.firstdata) + 1;
        layout.morechunks = next < layout.chunks.size();
        if (layout.morechunks) layout.nextid = layout.chunks[next].id;
    }
    return layout;
}

std::int64_t samplestart(const WavLayout& layout) {
    if (layout.riffwave && layout.firstdata >= 0)
        return layout.chunks[static_cast<std::size_t>(layout.firstdata)].offset;
    return 46;
}

std::string headermismatch(const WavLayout& layout, double sr, int samplebytes, int channels) {
    if (!layout.hasformat) return "";
    const WavFormat& f = layout.format;
    const int headerbytes = f.channels > 0 ? f.blockalign / f.channels : 0;
    const bool readable = f.pcm && (headerbytes == 1 || headerbytes == 2) && (f.channels == 1 || f.channels == 2);
    std::string keys;
    auto key = [&keys](const std::string& k) { keys += (keys.empty() ? "" : ", ") + k; };
    if (!(std::fabs(sr - f.rate) <= ratetolerance * f.rate)) key("sr = " + std::to_string(f.rate));
    if (headerbytes != samplebytes) key("bits = " + std::to_string(headerbytes * 8));
    if (f.channels != channels) key(f.channels == 2 ? "stereo" : "mono");
    if (readable && keys.empty()) return "";
    std::string text = "the header says " + std::to_string(f.rate) + " Hz, " + std::to_string(f.bits) + "-bit " +
                       (f.pcm ? "integer" : "format " + std::to_string(f.formattag)) + " samples, " +
                       std::to_string(f.channels) + " channel" + (f.channels == 1 ? "" : "s");
    if (!readable) return text + "; the monitor reads 8- or 16-bit integer samples, mono or stereo";
    return text + "; set " + keys + " in the settings";
}

bool kiwisdrlayout(const WavLayout& layout) {
    if (layout.nextid == "kiwi") return true;
    for (const WavChunk& c : layout.chunks)
        if (c.id == "kiwi") return true;
    return false;
}

std::array<unsigned char, 46> recordingheader(std::uint32_t rate, int channels, int bits,
                                              std::uint64_t databytes) {
    std::array<unsigned char, 46> h{};
    const std::uint32_t data = databytes > 0xFFFFFFFFull - 38 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(databytes);
    const std::uint32_t riff = data == 0xFFFFFFFFu ? 0xFFFFFFFFu : data + 38;
    const auto align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], riff);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    put32(&h[16], 18);
    put16(&h[20], 1);  // PCM
    put16(&h[22], static_cast<std::uint16_t>(channels));
    put32(&h[24], rate);
    put32(&h[28], rate * align);
    put16(&h[32], align);
    put16(&h[34], static_cast<std::uint16_t>(bits));
    put16(&h[36], 0);  // no extension bytes
    std::memcpy(&h[38], "data", 4);
    put32(&h[42], data);
    return h;
}

}  // namespace corvane
