#include "acquisition/livewriter.h"

#include "core/errors.h"

namespace corvane {

LiveWriter makelivewriter(const std::string& target) {
    LiveWriter writer;
    writer.target = target;
    writer.temporary = target + ".part";
    return writer;
}

void begintemporary(LiveWriter& writer) {
    if (!writer.file.open(writer.temporary, File::Mode::create))
        throw RuntimeError(fileioerror, "cannot create live file \"" + writer.temporary + "\": " + lastoserror());
}

void appendtemporary(LiveWriter& writer, const void* data, std::size_t size) {
    if (size == 0 || writer.file.write(data, size)) return;
    std::string why = lastoserror();
    writer.file.close();
    deletefile(writer.temporary);
    throw RuntimeError(fileioerror, "cannot write live file \"" + writer.temporary + "\": " + why);
}

void endtemporary(LiveWriter& writer) {
    if (writer.file.close()) return;
    std::string why = lastoserror();
    deletefile(writer.temporary);
    throw RuntimeError(fileioerror, "cannot close live file \"" + writer.temporary + "\": " + why);
}

void writetemporary(LiveWriter& writer, const void* data, std::size_t size) {
    begintemporary(writer);
    appendtemporary(writer, data, size);
    endtemporary(writer);
}

namespace {

// The file waiting for the monitor must be one it can take: a regular file
// that can be read. Anything else would make the hand-over wait for ever.
void checkwaitingfile(const LiveWriter& writer, FileKind kind, bool lookinside) {
    const std::string name = "\"" + writer.target + "\"";
    if (kind == FileKind::failed)
        throw RuntimeError(fileioerror, "cannot look at live file " + name + ": " + lastoserror());
    if (kind == FileKind::nofolder)
        throw RuntimeError(fileioerror, "cannot hand over live file " + name + ": its folder does not exist");
    if (kind != FileKind::regular)
        throw RuntimeError(fileioerror, "cannot hand over live file " + name + ": the name is " + filekindtext(kind));
    if (!lookinside) return;
    File probe;
    if (!probe.open(writer.target, File::Mode::read) && filekind(writer.target) == FileKind::regular)
        throw RuntimeError(fileioerror, "live file " + name + " waiting for the monitor cannot be read (" +
                                            lastoserror() + "); the monitor cannot take it");
}

}  // namespace

void handover(LiveWriter& writer, Clock& clock) {
    const double start = clock.counter();
    constexpr int pollsperlook = 100;  // a look inside the waiting file about once a second
    for (int polls = 0;; ++polls) {
        const FileKind kind = filekind(writer.target);
        if (kind == FileKind::none) {
            const RenameResult result = renamenoreplace(writer.temporary, writer.target);
            if (result == RenameResult::done) break;
            if (result == RenameResult::failed)
                throw RuntimeError(fileioerror, "cannot rename \"" + writer.temporary + "\" to \"" + writer.target +
                                                    "\": " + lastoserror());
        } else {
            checkwaitingfile(writer, kind, polls % pollsperlook == 0);
        }
        // Something took the name meanwhile (or a dangling link has it): wait on.
        if (writer.giveupseconds > 0 && clock.counter() - start >= writer.giveupseconds)
            throw RuntimeError(fileioerror, "live file \"" + writer.target + "\" has not been taken for " +
                                                std::to_string(static_cast<long long>(writer.giveupseconds)) +
                                                " s: the monitor has stopped taking files");
        clock.sleepms(writer.pollms);
    }
    ++writer.filecount;
}

void handoverendfile(LiveWriter& writer, Clock& clock) {
    writetemporary(writer, nullptr, 0);
    handover(writer, clock);
}

void discardtemporary(LiveWriter& writer) {
    if (writer.file.isopen()) writer.file.close();
    if (fileexists(writer.temporary)) deletefile(writer.temporary);
}

}  // namespace corvane
