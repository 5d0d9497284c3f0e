// The receiver's side of the live hand-over: each sample file is written
// under a temporary name in the target's folder (the target name plus
// ".part") and renamed to the target name once it is complete and the
// monitor has deleted the previous file. The monitor takes a file to be
// complete as soon as it exists, so the rename is what makes the hand-over
// safe. A file of length 0 ends the monitor's run.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace corvane {

struct LiveWriter {
    std::string target;          // the monitor's `samplefile`
    std::string temporary;       // target + ".part"
    int pollms = 10;             // wait between existence tests, ms
    double giveupseconds = 0;    // s the previous file may stay untaken before the hand-over
                                 // gives up; 0: waits for ever
    long long filecount = 0;     // files handed over so far
    File file;                   // the temporary file while it is written
};

LiveWriter makelivewriter(const std::string& target);

// The temporary file piece by piece: create, append, close. Each throws
// RuntimeError 3 (file I/O error) naming the file when it fails; a failed
// append or close removes the partial file.
void begintemporary(LiveWriter& writer);
void appendtemporary(LiveWriter& writer, const void* data, std::size_t size);
void endtemporary(LiveWriter& writer);
// All three for one piece of data.
void writetemporary(LiveWriter& writer, const void* data, std::size_t size);

// Waits while the target still exists (told by the file system entry, never
// by opening it), then renames the temporary file to it without ever
// replacing a file of that name. Throws RuntimeError 3 naming the file when
// the rename fails, when the target is a folder or anything but a regular
// file, when the target left waiting cannot be read (the monitor cannot take
// it either), and after giveupseconds without the monitor taking it.
void handover(LiveWriter& writer, Clock& clock);

// Hands over the zero-length file that ends the monitor's run.
void handoverendfile(LiveWriter& writer, Clock& clock);

// Closes and removes a temporary file left by an interrupted run.
void discardtemporary(LiveWriter& writer);

// A whole live run: writefiles() hands over the sample files, then (when
// endfile) the zero-length file that ends the monitor's run follows; a
// failure removes the temporary file before it is passed on. Returns the
// files handed over.
template <typename WriteFiles>
long long writelivefiles(LiveWriter& writer, Clock& clock, bool endfile, WriteFiles writefiles) {
    try {
        writefiles();
        if (endfile) handoverendfile(writer, clock);
    } catch (...) {
        discardtemporary(writer);
        throw;
    }
    return writer.filecount;
}

}  // namespace corvane
