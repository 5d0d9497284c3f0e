#include "acquisition/samplereader.h"

#include <algorithm>
#include <ostream>

#include "acquisition/blockgeometry.h"
#include "acquisition/clock.h"
#include "acquisition/wavfile.h"
#include "core/errors.h"
#include "core/numeric.h"
#include "core/text.h"

namespace corvane {

namespace {

// Takes a pending key; "q" (lower case only) quits, any other key is dropped.
bool quitpressed(Keyboard& keyboard) {
    return keyboard.keypending() && keyboard.takekey() == 'q';
}

// Seconds without a live file before the first line saying so, and between
// the later ones.
constexpr double firstwaitnote = 60;
constexpr double laterwaitnotes = 3600;

// A live file of this name can never come: a folder or a special file has
// the name, its folder is missing, or it cannot be read.
[[noreturn]] void cannottake(const std::string& name, FileKind kind, const std::string& why) {
    const std::string file = "sample file " + quoted(name);
    if (kind == FileKind::nofolder)
        throw RuntimeError(filenotfound, "cannot wait for " + file + ": its folder does not exist");
    if (kind == FileKind::regular || kind == FileKind::failed)
        throw RuntimeError(fileioerror, "cannot open " + file + ": " + why);
    throw RuntimeError(fileioerror, "cannot read " + file + ": the name is " + filekindtext(kind));
}

// Waits until the live file is there (told by the file system entry; the
// wait never creates it), opens it and takes its length. A wait longer than
// a minute is said once, then once an hour.
void openwithwaiting(SampleReader& reader, const InputConfig& config, Platform& platform) {
    const std::string& name = config.samplefile;
    double nextnote = platform.clock.counter() + firstwaitnote;
    for (;;) {
        const FileKind kind = filekind(name);
        if (kind == FileKind::regular) {
            if (reader.file.open(name, File::Mode::read)) break;
            const std::string why = lastoserror();
            // Gone between the look and the open: the receiver's next one comes.
            if (filekind(name) != FileKind::none) cannottake(name, kind, why);
        } else if (kind != FileKind::none) {
            cannottake(name, kind, lastoserror());
        }
        if (quitpressed(platform.keyboard)) throw QuitRequested{};
        if (platform.clock.counter() >= nextnote) {
            platform.console.writeline("waiting for " + name);
            nextnote = platform.clock.counter() + laterwaitnotes;
        }
        const std::int32_t seconds = toint32(config.sleeptime);
        if (seconds > 0)
            platform.clock.sleepseconds(seconds, platform.keyboard);
        else
            platform.clock.sleepms(10);  // keeps the wait from taking a whole core from the receiver
    }
    const std::int64_t length = reader.file.length();
    if (length < 0) throw RuntimeError(fileioerror, "cannot query the length of sample file " + quoted(name) + ": " + lastoserror());
    reader.bytesleft = length;
    reader.filelength = length;
    reader.grewnoted = false;
}

void openrecording(SampleReader& reader, const InputConfig& config, std::ostream& warnings) {
    const std::string& name = config.samplefile;
    if (!reader.file.open(name, File::Mode::read))
        throw RuntimeError(filenotfound, "cannot open recording " + quoted(name) + ": " + lastoserror());
    const std::int64_t length = reader.file.length();
    if (length < 0) throw RuntimeError(fileioerror, "cannot query the length of recording " + quoted(name) + ": " + lastoserror());

    File& file = reader.file;
    ReadAt readat = [&file, &name](std::int64_t offset, void* data, std::size_t size) {
        std::int64_t n = file.readat(offset, data, size);
        if (n < 0) throw RuntimeError(fileioerror, "cannot read recording " + quoted(name) + ": " + lastoserror());
        return n;
    };
    const WavLayout layout = scanwav(readat, length, false);
    if (layout.riffwave) {
        // A header that disagrees with the settings would be read as other
        // samples and give wrong results: refused before any is read.
        if (kiwisdrlayout(layout))
            throw RuntimeError(illegalfunctioncall, "cannot read recording " + quoted(name) +
                                                        ": a KiwiSDR file, its time stamp chunks interleaved with "
                                                        "the samples; convert it with corvane-wav first");
        const std::string mismatch = headermismatch(layout, config.sr, config.samplebytes, config.channels);
        if (!mismatch.empty())
            throw RuntimeError(illegalfunctioncall, "cannot read recording " + quoted(name) + ": " + mismatch);
        std::string problems;
        if (layout.firstdata < 0)
            problems = "no data chunk found (" + (layout.fault.empty() ? std::string("none in the file") : layout.fault) +
                       "), reading after 46 bytes";
        else if (!layout.hasformat)
            problems = "no fmt chunk before the sample data";
        if (layout.morechunks) {
            if (!problems.empty()) problems += "; ";
            problems += "more chunks follow the first data chunk and would be read as samples";
        }
        if (!problems.empty())
            warnings << "corvane: recording " << quoted(name) << ": " << problems
                     << "; convert it with corvane-wav" << std::endl;
    }

    // Read and discard the header up to the first sample.
    const std::int64_t skip = std::min(samplestart(layout), length);
    std::vector<unsigned char> scratch(4096);
    for (std::int64_t done = 0; done < skip;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(skip - done, 4096));
        const std::int64_t n = file.read(scratch.data(), want);
        if (n < 0) throw RuntimeError(fileioerror, "cannot read recording " + quoted(name) + ": " + lastoserror());
        if (n == 0) break;
        done += n;
    }
    reader.bytesleft = length - skip;
    if (reader.bytesleft < config.samplebytes * config.channels)
        throw RuntimeError(filenotfound, "cannot read recording " + quoted(name) + ": it holds no samples (" +
                                             std::to_string(length) + " bytes)");
}

// Decodes frame j of the raw bytes into buffer index overlap + j.
void decode(const SampleReader& reader, SampleBuffer& buffer, const InputConfig& config) {
    const unsigned char* b = reader.bytes.data();
    std::int16_t* re = buffer.samplere.data() + buffer.overlap;
    std::int16_t* im = buffer.sampleim.data() + buffer.overlap;
    const std::int32_t n = buffer.blocksamples;
    auto s16 = [](const unsigned char* p) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
    };
    auto s8 = [](unsigned char c) { return static_cast<std::int16_t>(c - 128); };
    if (config.samplebytes == 2 && config.channels == 2) {
        for (std::int32_t j = 0; j < n; ++j, b += 4) {
            re[j] = s16(b);
            im[j] = s16(b + 2);
        }
    } else if (config.samplebytes == 1 && config.channels == 2) {
        for (std::int32_t j = 0; j < n; ++j, b += 2) {
            re[j] = s8(b[0]);
            im[j] = s8(b[1]);
        }
    } else if (config.samplebytes == 2) {
        for (std::int32_t j = 0; j < n; ++j, b += 2) {
            re[j] = s16(b);
            im[j] = 0;
        }
    } else {
        for (std::int32_t j = 0; j < n; ++j, ++b) {
            re[j] = s8(b[0]);
            im[j] = 0;
        }
    }
}

// Deletes the live file that was read (the receiver's signal that it was
// consumed); the file stays open. A virus scanner or an indexer may hold a
// finished file for a moment: a refused delete is retried for a few seconds
// before it counts. The delete is tied to the file still open here, so a
// file that took the name meanwhile (the receiver's next one) is never
// deleted unread.
void consume(SampleReader& reader, const std::string& name, Platform& platform) {
    constexpr int deleteretries = 30;  // 100 ms apart
    File::Removal removal = reader.file.deleteifsame(name);
    for (int attempt = 0; removal == File::Removal::failed && attempt < deleteretries; ++attempt) {
        if (quitpressed(platform.keyboard)) {
            reader.file.close();
            throw QuitRequested{};
        }
        platform.clock.sleepms(100);
        removal = reader.file.deleteifsame(name);
    }
    if (removal == File::Removal::failed) {
        const std::string why = lastoserror();
        reader.file.close();
        throw RuntimeError(fileioerror, "cannot delete sample file " + quoted(name) + ": " + why);
    }
    if (removal == File::Removal::gone)
        platform.console.writeline("sample file " + quoted(name) + " was removed by another program after it was read");
    else if (removal == File::Removal::replaced)
        platform.console.writeline("sample file " + quoted(name) +
                                   " was replaced before it could be deleted; the new file is read next");
}

// The file of length 0 that ends the run: deleted and closed (on Windows a
// deleted file goes only with its last handle).
void consumeendfile(SampleReader& reader, const std::string& name, Platform& platform) {
    consume(reader, name, platform);
    if (!reader.file.close())
        throw RuntimeError(fileioerror, "cannot close sample file " + quoted(name) + ": " + lastoserror());
}

// A live file read to the length it had at the open may have grown since
// (a receiver writing it in place): the rest is read before it is deleted.
bool takegrowth(SampleReader& reader, const std::string& name, Console& console) {
    const std::int64_t length = reader.file.length();
    if (length < 0) throw RuntimeError(fileioerror, "cannot query the length of sample file " + quoted(name) + ": " + lastoserror());
    if (length <= reader.filelength) return false;
    if (!reader.grewnoted)
        console.writeline("sample file " + quoted(name) + " grew while it was read; its receiver should write each "
                          "file under another name and rename it when complete");
    reader.grewnoted = true;
    reader.bytesleft = length - reader.filelength;
    reader.filelength = length;
    return true;
}

// A live file read to its end: delete and close it, stamp the PC clock and
// wait for the next file. The file of length 0 that ends the run is deleted
// and closed at once: it has been consumed too.
void nextlivefile(SampleReader& reader, ClockState& clock, const InputConfig& config, Platform& platform) {
    const std::string& name = config.samplefile;
    consume(reader, name, platform);
    if (!reader.file.close())
        throw RuntimeError(fileioerror, "cannot close sample file " + quoted(name) + ": " + lastoserror());
    readpcclock(clock, config.clock, platform.clock);
    if (clock.calconfidence == 0) secondticksync(clock, config.clock, platform.clock);
    reader.fileopentime = toreal32(clock.pcclock - livefilelag);
    openwithwaiting(reader, config, platform);
    if (reader.bytesleft == 0) consumeendfile(reader, name, platform);
}

}  // namespace

void createsamplebuffer(SampleBuffer& buffer, const InputConfig& config) {
    const BlockGeometry g = computeblockgeometry(config);
    if (!g.fits) throw RuntimeError(illegalfunctioncall, "the block geometry does not fit the 16-bit buffer positions");
    buffer = SampleBuffer{};
    buffer.overlap = g.overlap;
    buffer.blocklen = g.blocklen;
    buffer.blockbytes = g.blockbytes;
    const auto size = static_cast<std::size_t>(g.overlap + g.blocklen);
    buffer.samplere.assign(size, 0);
    buffer.sampleim.assign(size, 0);
    buffer.samplepower.assign(size, 0.0f);
}

void restartbuffer(SampleBuffer& buffer, double sr) {
    buffer.bufstart = -buffer.overlap / sr;
    buffer.bufend = 0;
    buffer.blocksamples = 0;
}

void openfirstfile(SampleReader& reader, SampleBuffer& buffer, ClockState& clock, const InputConfig& config,
                   Platform& platform, std::ostream& warnings) {
    reader.bytes.assign(static_cast<std::size_t>(std::max(buffer.blockbytes, 0)), 0);
    if (config.wavinput == 0) {
        readpcclock(clock, config.clock, platform.clock);
        reader.fileopentime = toreal32(clock.pcclock - livefilelag);
        openwithwaiting(reader, config, platform);
        if (reader.bytesleft == 0) consumeendfile(reader, config.samplefile, platform);
    } else {
        openrecording(reader, config, warnings);
    }
}

void readblock(SampleReader& reader, SampleBuffer& buffer, ClockState& clock, const InputConfig& config,
               double sr, Platform& platform) {
    if (quitpressed(platform.keyboard)) {
        reader.file.close();
        throw QuitRequested{};
    }

    if (buffer.blocksamples >= 1) {
        const std::int32_t n = buffer.blocksamples;
        // Keep the last `overlap` samples in front of the next block.
        auto move = [&buffer, n](auto& samples) {
            std::copy(samples.begin() + n, samples.begin() + n + buffer.overlap, samples.begin());
        };
        move(buffer.samplere);
        move(buffer.sampleim);
        if (config.keeppower) move(buffer.samplepower);
    }

    const std::int64_t count = std::clamp<std::int64_t>(reader.bytesleft, 0, buffer.blockbytes);
    if (reader.bytes.size() < static_cast<std::size_t>(count)) reader.bytes.resize(static_cast<std::size_t>(count));
    const std::int64_t got = count > 0 ? reader.file.read(reader.bytes.data(), static_cast<std::size_t>(count)) : 0;
    if (got < 0)
        throw RuntimeError(fileioerror, "cannot read sample file " + quoted(config.samplefile) + ": " + lastoserror());
    // The length was taken at the open: fewer bytes than that means the file
    // shrank while it was read, and the samples it lost cannot be accounted for.
    if (got < count)
        throw RuntimeError(fileioerror, "cannot read sample file " + quoted(config.samplefile) + ": it shrank while being read (" +
                                            std::to_string(reader.bytesleft - got) + " bytes of its length missing)");
    reader.bytesleft -= got;

    const std::int32_t framebytes = config.samplebytes * config.channels;
    buffer.blocksamples = static_cast<std::int32_t>(got / framebytes);
    decode(reader, buffer, config);

    buffer.bufstart = buffer.bufend - buffer.overlap / sr;
    buffer.bufend = buffer.bufstart + (buffer.blocksamples + buffer.overlap) / sr;
    compareclocks(clock, config.clock, reader.fileopentime, reader.bytesleft, buffer.bufend, sr);

    if (reader.bytesleft == 0 && config.wavinput == 0 && reader.file.isopen() && !takegrowth(reader, config.samplefile, platform.console))
        nextlivefile(reader, clock, config, platform);
}

}  // namespace corvane
