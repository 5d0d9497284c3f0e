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

void handover(LiveWriter& writer, Clock& clock) {
    while (fileexists(writer.target)) clock.sleepms(writer.pollms);
    if (!renamefile(writer.temporary, writer.target))
        throw RuntimeError(fileioerror,
                           "cannot rename \"" + writer.temporary + "\" to \"" + writer.target + "\": " + lastoserror());
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
