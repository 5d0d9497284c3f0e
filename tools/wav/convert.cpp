#include "convert.h"

#include <algorithm>
#include <cstdio>

#include "acquisition/wavfile.h"
#include "kiwitime.h"
#include "core/text.h"
#include "platform/platform.h"

namespace corvane {

namespace {

// Copies the sample data of the data chunks into the open output file.
void copydata(File& out, const ReadAt& readat, const std::vector<WavChunk>& chunks, std::uint64_t lastbytes,
              const std::string& outname) {
    std::vector<unsigned char> piece(1 << 16);
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        const std::uint64_t bytes = c + 1 == chunks.size() ? lastbytes : chunks[c].size;
        for (std::uint64_t done = 0; done < bytes;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes - done, piece.size()));
            const std::int64_t n = readat(chunks[c].offset + static_cast<std::int64_t>(done), piece.data(), want);
            if (n != static_cast<std::int64_t>(want)) throw ConvertError("the input ended early");
            if (!out.write(piece.data(), want))
                throw ConvertError("cannot write " + quoted(outname) + ": " + lastoserror());
            done += want;
        }
    }
}

// The date and time lines of a recording with kiwi chunks (KiwiSDR), else "".
std::string kiwitimelines(const ReadAt& readat, const WavLayout& layout, const std::string& input) {
    const WavFormat& f = layout.format;
    bool kiwi = false;
    std::optional<double> gpsstart;
    std::uint64_t framesbefore = 0;
    for (const WavChunk& c : layout.chunks) {
        if (c.id == "data") framesbefore += c.size / f.blockalign;
        if (c.id != "kiwi" || c.size < 10) continue;
        kiwi = true;
        unsigned char payload[10];
        if (gpsstart || readat(c.offset, payload, sizeof payload) != 10) continue;
        const KiwiStamp stamp = readkiwistamp(payload);
        if (validkiwistamp(stamp))
            gpsstart = stamp.seconds + stamp.nanoseconds * 1e-9 - static_cast<double>(framesbefore) / f.rate;
    }
    return kiwi ? recordingtimelines(gpsstart, filenameutc(input)) : std::string();
}

}  // namespace

ConvertResult convertrecording(const std::string& input, const std::string& output) {
    File in;
    if (!in.open(input, File::Mode::read)) throw ConvertError("cannot open " + quoted(input) + ": " + lastoserror());
    const std::int64_t length = in.length();
    if (length < 0) throw ConvertError("cannot read " + quoted(input) + ": " + lastoserror());
    ReadAt readat = [&in, &input](std::int64_t offset, void* data, std::size_t size) {
        const std::int64_t n = in.readat(offset, data, size);
        if (n < 0) throw ConvertError("cannot read " + quoted(input) + ": " + lastoserror());
        return n;
    };

    const WavLayout layout = scanwav(readat, length, true);
    const std::string what = quoted(input) + ": ";
    if (!layout.riffwave) throw ConvertError(what + "not a RIFF/WAVE file");
    if (!layout.fault.empty()) throw ConvertError(what + "damaged or truncated: " + layout.fault);
    if (!layout.hasformat) throw ConvertError(what + "no fmt chunk before the sample data");
    const WavFormat& f = layout.format;
    if (!f.pcm) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "0x%04X", static_cast<unsigned>(f.formattag));
        throw ConvertError(what + "format " + tag + " is not integer PCM (compressed or floating-point samples)");
    }
    if (f.channels != 1 && f.channels != 2)
        throw ConvertError(what + std::to_string(f.channels) + " channels; the monitor reads 1 or 2");
    const int samplebytes = (f.bits + 7) / 8;
    if (f.bits < 1 || samplebytes > 2 || f.blockalign != f.channels * samplebytes)
        throw ConvertError(what + std::to_string(f.bits) + "-bit samples in " + std::to_string(f.blockalign) +
                           "-byte frames; the monitor reads 8- or 16-bit samples");
    if (f.rate == 0) throw ConvertError(what + "the header gives a sample rate of 0");

    std::vector<WavChunk> data;
    for (const WavChunk& c : layout.chunks)
        if (c.id == "data") data.push_back(c);
    if (data.empty()) throw ConvertError(what + "no data chunk");

    ConvertResult result;
    result.rate = f.rate;
    result.channels = f.channels;
    result.bits = samplebytes * 8;
    result.datachunks = static_cast<int>(data.size());
    result.timelines = kiwitimelines(readat, layout, input);
    std::uint64_t total = 0;
    for (std::size_t c = 0; c + 1 < data.size(); ++c) {
        // A partial frame inside the stream would shift every later frame.
        if (data[c].size % f.blockalign != 0)
            throw ConvertError(what + "the data chunk at byte " + std::to_string(data[c].offset - 8) + " holds " +
                               std::to_string(data[c].size) + " bytes, not whole " +
                               std::to_string(f.blockalign) + "-byte frames");
        total += data[c].size;
    }
    const std::uint64_t last = data.back().size - data.back().size % f.blockalign;
    if (last != data.back().size)
        result.notes.push_back("dropped a partial frame of " + std::to_string(data.back().size - last) +
                               " bytes at the end");
    total += last;
    result.frames = total / f.blockalign;
    if (total > 0xFFFFFFFFull - 38)
        result.notes.push_back("more than 4 GiB of samples: the header's sizes are set to 0xFFFFFFFF");

    const std::string temporary = output + ".corvane-wav-part";
    File out;
    if (!out.open(temporary, File::Mode::create))
        throw ConvertError("cannot create " + quoted(temporary) + ": " + lastoserror());
    try {
        const auto header = recordingheader(f.rate, f.channels, result.bits, total);
        if (!out.write(header.data(), header.size()))
            throw ConvertError("cannot write " + quoted(temporary) + ": " + lastoserror());
        copydata(out, readat, data, last, temporary);
        if (!out.close()) throw ConvertError("cannot write " + quoted(temporary) + ": " + lastoserror());
        if (!renamefile(temporary, output))
            throw ConvertError("cannot rename " + quoted(temporary) + " to " + quoted(output) + ": " + lastoserror());
    } catch (...) {
        out.close();
        deletefile(temporary);
        throw;
    }
    return result;
}

std::string settingslines(const ConvertResult& result, const std::string& output) {
    std::string text;
    text += "[file]\n";
    text += "wav = " + output + "\n";
    text += "bits = " + std::to_string(result.bits) + "\n";
    text += result.channels == 2 ? "stereo\n" : "mono\n";
    text += result.timelines;
    text += "[frequency]\n";
    text += "sr = " + std::to_string(result.rate) + "\n";
    return text;
}

}  // namespace corvane
