#include "tools/common/options.h"
#include "feed.h"

#include <cmath>
#include <cstdlib>

#include "acquisition/livewriter.h"
#include "core/errors.h"

namespace corvane::feed {

namespace {

[[noreturn]] void bad(const std::string& what) { badoption(what); }

std::int64_t count(const std::string& option, const std::string& text, std::int64_t hi) {
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 1 || v > hi)
        bad("option " + option + " needs a whole number from 1 to " + std::to_string(hi) + ", not \"" + text + "\"");
    return v;
}

}  // namespace

FeedOptions parsefeedoptions(const std::vector<std::string>& args) {
    FeedOptions o;
    std::int64_t filebytes = 0;
    const StandardOptions asked = readoptions(args, [&](OptionReader& options, const std::string& a) {
        auto arg = [&] { return options.value(); };
        if (liveoption(options, a, o.live, o.endfile, o.quiet)) {
            return true;
        } else if (a == "--frame-bytes") {
            o.framebytes = count(a, arg(), 64);
        } else if (a == "--file-frames") {
            o.fileframes = count(a, arg(), 100000000);
        } else if (a == "--file-bytes") {
            filebytes = count(a, arg(), 400000000);
        } else {
            return false;
        }
        return true;
    });
    o.help = asked.help;
    o.version = asked.version;
    if (o.help || o.version) return o;
    if (o.live.empty()) bad("give the live file name with --live FILE");
    if (filebytes > 0) {
        // Files are cut at whole frames so that no frame straddles two files.
        if (filebytes % o.framebytes != 0)
            bad("option --file-bytes must be a multiple of the frame size (" + std::to_string(o.framebytes) + " bytes)");
        o.fileframes = filebytes / o.framebytes;
    }
    return o;
}

std::string feedhelp() {
    return R"(corvane-feed: a raw sample stream on standard input into live files for the
Corvane monitor

Usage: corvane-feed --live FILE [options] < samples

Reads raw frames (for example from arecord, sox or an SDR program) and writes
them as live files named FILE: each file is written as FILE.part in the same
folder and renamed to FILE once the monitor has deleted the previous one, so
the monitor never sees a file that is still being written. At the end of the
input a zero-length FILE ends the monitor's run.

Options:
  --live FILE         the monitor's live file (its [file] dat = ... setting)
  --frame-bytes N     bytes per frame: 4 for 16-bit stereo (default), 2 for
                      16-bit mono or 8-bit stereo, 1 for 8-bit mono
  --file-frames N     frames per live file (48000)
  --file-bytes N      bytes per live file instead (a multiple of the frame size)
  --no-end-file       no zero-length file at the end of the input
  --quiet             no summary on standard error
  -h, --help          this text
  -V, --version       the program's version

Example, a sound card receiver at 48 kHz, 16-bit stereo:
  arecord -t raw -f S16_LE -c 2 -r 48000 | corvane-feed --live audio.dat
)";
}

FeedTotals runfeed(std::FILE* input, const FeedOptions& options, Clock& clock) {
    FeedTotals totals;
    LiveWriter writer = makelivewriter(options.live);
    const std::size_t filebytes = static_cast<std::size_t>(options.fileframes * options.framebytes);
    std::vector<unsigned char> chunk(std::min<std::size_t>(filebytes, 1 << 16));
    totals.files = writelivefiles(writer, clock, options.endfile, [&] {
        bool ended = false;
        while (!ended) {
            std::size_t infile = 0;
            while (infile < filebytes) {
                std::size_t want = std::min(chunk.size(), filebytes - infile);
                std::size_t got = std::fread(chunk.data(), 1, want, input);
                if (got > 0) {
                    if (infile == 0) begintemporary(writer);
                    appendtemporary(writer, chunk.data(), got);
                    infile += got;
                }
                if (got < want) {
                    if (std::ferror(input)) throw RuntimeError(fileioerror, "cannot read the sample stream");
                    if (std::feof(input)) {
                        ended = true;
                        break;
                    }
                }
            }
            if (infile > 0) {
                endtemporary(writer);
                handover(writer, clock);
                totals.bytes += static_cast<std::int64_t>(infile);
            }
        }
    });
    return totals;
}

}  // namespace corvane::feed
