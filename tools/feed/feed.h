// corvane-feed: a continuous raw sample stream into live files for the
// monitor, by the rename convention of acquisition/livewriter.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane {
class Clock;
}

namespace corvane::feed {

struct FeedOptions {
    std::string live;                 // the monitor's live file name
    std::int64_t framebytes = 4;      // bytes per frame (16-bit stereo)
    std::int64_t fileframes = 48000;  // frames per live file
    bool endfile = true;              // a zero-length file at the end of input
    bool quiet = false;
    bool help = false;
    bool version = false;       // -V, --version
};

// Throws RuntimeError 1 naming the option on any mistake.
FeedOptions parsefeedoptions(const std::vector<std::string>& args);
std::string feedhelp();

struct FeedTotals {
    std::int64_t bytes = 0;
    std::int64_t files = 0;           // handed over, the end file included
};

// Reads `input` to its end, handing over one live file per fileframes frames
// (the last one may be shorter). Throws RuntimeError 3 on a read or write
// failure; a partial temporary file is removed.
FeedTotals runfeed(std::FILE* input, const FeedOptions& options, Clock& clock);

}  // namespace corvane::feed
