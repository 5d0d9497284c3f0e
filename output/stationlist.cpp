#include "output/stationlist.h"

#include <string>

#include "core/errors.h"
#include "core/numberformat.h"
#include "core/numeric.h"
#include "core/text.h"
#include "platform/platform.h"

namespace corvane {

namespace {

std::string stationline(const Station& s, bool hidden) {
    std::string line = writeinteger(s.gri) + s.letter;
    if (s.found) {
        line += " " + s.name + real32text(s.emissiondelay) + "ms" + real32text(s.power) + "kW" +
                real32text(s.distance) + "km";
    } else {
        line += " not found in table";
    }
    if (hidden) line += " (hidden)";
    if (s.blanked == 1) line += " (blanked)";
    return line + s.suffix;
}

}  // namespace

void showstationlist(const StationTable& table, Console& console) {
    for (size_t i = 0; i < table.stations.size(); ++i)
        console.writeline(stationline(table.stations[i], static_cast<std::int64_t>(i) >= table.visiblecount));
}

std::string stationlisttext(const StationTable& table) {
    std::string text;
    const auto visible = static_cast<size_t>(table.visiblecount < 0 ? 0 : table.visiblecount);
    for (size_t i = 0; i < visible && i < table.stations.size(); ++i) {
        const Station& s = table.stations[i];
        text.append(" ").append(s.name).append("\r\n");
        text.append("_").append(std::to_string(s.gri)).append(s.letter);
        if (s.found)
            text.append(" ").append(std::to_string(floorclamp<std::int64_t>(static_cast<double>(s.distance) + 0.5))).append("km");
        else
            text.append(" ?");
        text += "\r\n";
    }
    return text;
}

void writestationlist(const StationTable& table, const std::string& path) {
    const std::string text = stationlisttext(table);
    File file;
    if (!file.open(path, File::Mode::create))
        throw RuntimeError(fileioerror, "cannot create station list " + quoted(path) + ": " + lastoserror());
    if (!file.write(text.data(), text.size()))
        throw RuntimeError(fileioerror, "cannot write station list " + quoted(path) + ": " + lastoserror());
    if (!file.close())
        throw RuntimeError(fileioerror, "cannot close station list " + quoted(path) + ": " + lastoserror());
}

void showsyncsummary(const StationTable& table, Console& console) {
    std::string line = writeinteger(table.blankedcount) + "blanked, sync to";
    for (const SyncStation& s : table.sync) line += writeinteger(s.gri) + s.letter;
    console.write(line);
}

}  // namespace corvane
