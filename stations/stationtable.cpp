#include "stations/stationtable.h"

#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/errors.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "core/text.h"
#include "core/numberformat.h"
#include "platform/platform.h"
#include "stations/geodesy.h"

namespace corvane {

namespace {

// Reads the table text as a stream of fields. A field ends at a comma or a
// line end; blanks and tabs before it are skipped. A line holding no field at
// all is passed over when a field begins at the start of a line.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    bool atend() {
        skipblanklines();
        return pos_ >= text_.size();
    }

    double number() {
        begin();
        const size_t start = pos_;
        while (pos_ < text_.size() && !delimiter(text_[pos_]) && !blank(text_[pos_])) ++pos_;
        const double value = readnumber(text_.substr(start, pos_ - start));
        // A number also ends at a blank or tab; blanks after it belong to its
        // comma or line end, anything else starts the next field.
        skipblanks();
        finish();
        return value;
    }

    std::string text() {
        begin();
        std::string value;
        if (pos_ < text_.size() && text_[pos_] == '"') {
            const size_t start = ++pos_;
            while (pos_ < text_.size() && text_[pos_] != '"' && !lineend(text_[pos_])) ++pos_;
            value = std::string(text_.substr(start, pos_ - start));
            if (pos_ < text_.size() && text_[pos_] == '"') ++pos_;
            while (pos_ < text_.size() && !delimiter(text_[pos_])) ++pos_;  // after the quote: dropped
        } else {
            const size_t start = pos_;
            while (pos_ < text_.size() && !delimiter(text_[pos_])) ++pos_;
            value = std::string(text_.substr(start, pos_ - start));
        }
        finish();
        return value;
    }

    // Whether the next field starts as a number does: an optional sign, then
    // a digit, or a point and a digit.
    bool numberfollows() {
        begin();
        size_t p = pos_;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
        if (p < text_.size() && text_[p] == '.') ++p;
        return p < text_.size() && text_[p] >= '0' && text_[p] <= '9';
    }

    // Drops the rest of the current line, unless the last field ended it.
    void skipline() {
        if (atlinestart_) return;
        while (pos_ < text_.size() && !lineend(text_[pos_])) ++pos_;
        finish();
    }

    // Whether the last field ended at a line end (or the end of the text).
    bool atlinestart() const { return atlinestart_; }

private:
    static bool blank(char c) { return c == ' ' || c == '\t'; }
    static bool lineend(char c) { return c == '\n' || c == '\r'; }
    static bool delimiter(char c) { return c == ',' || lineend(c); }

    void skipblanks() {
        while (pos_ < text_.size() && blank(text_[pos_])) ++pos_;
    }

    // At the start of a line, passes over every line that holds only blanks.
    void skipblanklines() {
        if (!atlinestart_) return;
        for (;;) {
            size_t p = pos_;
            while (p < text_.size() && blank(text_[p])) ++p;
            if (p < text_.size() && lineend(text_[p])) {
                pos_ = p;
                consumelineend();
                continue;
            }
            if (p >= text_.size()) pos_ = p;
            return;
        }
    }

    void begin() {
        skipblanklines();
        skipblanks();
    }

    void consumelineend() {
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
    }

    // Takes the comma or line end that ends the field.
    void finish() {
        if (pos_ >= text_.size()) {
            atlinestart_ = true;
        } else if (text_[pos_] == ',') {
            ++pos_;
            atlinestart_ = false;
        } else if (lineend(text_[pos_])) {
            consumelineend();
            atlinestart_ = true;
        } else {
            atlinestart_ = false;  // a number ended at a blank before more text
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    bool atlinestart_ = true;
};

struct TableRecord {
    std::int32_t gri = 0;
    std::string letter;
    std::string name;
    GeoPoint position;
    double emissiondelay = 0;  // us
    double power = 0;          // kW
};

// Degrees, minutes and seconds with their signs ignored.
double degrees(double d, double m, double s) {
    return std::fabs(static_cast<double>(toint32(d))) + std::fabs(static_cast<double>(toint32(m))) / 60 +
           std::fabs(s) / 3600;
}

// Reads fields 2 to 15 of a record whose GRI has been read.
TableRecord readrecord(FieldReader& in, std::int32_t gri) {
    TableRecord r;
    r.gri = gri;
    in.number();  // field 2: the station's number in its chain, not used
    r.letter = uppercased(in.text());
    r.name = in.text();
    const double latd = in.number(), latm = in.number(), lats = in.number();
    const std::string lathemisphere = in.text();
    const double lond = in.number(), lonm = in.number(), lons = in.number();
    const std::string lonhemisphere = in.text();
    r.emissiondelay = in.number();
    in.number();  // field 14: the coding delay, not used
    r.power = in.number();
    r.position.lat = degrees(latd, latm, lats);
    if (uppercased(lathemisphere) == "S") r.position.lat = -r.position.lat;
    r.position.lon = degrees(lond, lonm, lons);
    if (uppercased(lonhemisphere) == "W") r.position.lon = -r.position.lon;
    return r;
}

void join(StationTable& table, const TableRecord& r, GeoPoint receiver) {
    for (Station& s : table.stations) {
        if (s.gri != r.gri || s.letter != r.letter) continue;
        const double distance = s.suffix.find('l') != std::string::npos ? longpathdistance(receiver, r.position)
                                                                  : geodesicdistance(receiver, r.position);
        s.found = true;
        s.name = r.name;
        s.emissiondelay = toreal32(r.emissiondelay / 1000 + s.chaindelay);
        s.power = toreal32(r.power);
        s.distance = toreal32(distance);
        s.position = r.position;
    }
    for (SyncStation& s : table.sync) {
        if (s.gri != r.gri) continue;
        if (ismasterletter(r.letter) && !s.masterfound) {
            s.masterfound = true;
            s.masteremissiondelay = toreal32(r.emissiondelay / 1000 + s.chaindelay);
            s.masterdistance = toreal32(geodesicdistance(receiver, r.position));
        }
        if (s.letter != r.letter) continue;
        s.found = true;
        s.emissiondelay = toreal32(r.emissiondelay / 1000 + s.chaindelay);
        s.distance = toreal32(geodesicdistance(receiver, r.position));
    }
}

// Blanks, in list order, the stations nearer than blankingdistance, after
// those already blanked by their negative selection GRI, up to blankedstns in
// all. A station not found has distance 0 and so counts as near.
void blankbydistance(StationTable& table, const StationsConfig& config) {
    std::int32_t count = 0;
    for (const Station& s : table.stations)
        if (s.blanked) ++count;
    for (Station& s : table.stations) {
        if (s.distance < config.blankingdistance && count < config.blankedstns && s.blanked == 0) {
            s.blanked = 1;
            ++count;
        }
    }
    table.blankedcount = toint16(count);
}

}  // namespace

StationTable buildstationtable(const StationsConfig& config, const std::string& tabletext) {
    StationTable table;
    for (const StationEntry& e : config.selection) {
        Station s;
        const std::int64_t gri = e.gri < 0 ? -static_cast<std::int64_t>(e.gri) : e.gri;
        s.gri = gri > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(gri);
        s.letter = e.letter;
        s.suffix = e.suffix;
        s.blanked = e.blanked;
        s.chaindelay = e.chaindelay;
        table.stations.push_back(s);
    }
    for (const SyncEntry& e : config.taireferences) {
        SyncStation s;
        s.gri = e.gri;
        s.letter = e.letter;
        s.value = e.value;
        s.chaindelay = e.chaindelay;
        table.sync.push_back(s);
    }

    const GeoPoint receiver = config.receiver;
    FieldReader in(withoutbyteordermark(tabletext));
    while (!in.atend()) {
        if (!in.numberfollows()) {
            // A header, comment or stray line: dropped up to its end.
            in.number();
            in.skipline();
            continue;
        }
        // A record takes its 15 fields, over as many lines as they span,
        // whatever its GRI; one of 0 or less (a station taken out of use)
        // joins no station.
        const std::int32_t gri = toint32(in.number());
        const TableRecord record = readrecord(in, gri);
        if (gri > 0) join(table, record, receiver);
    }

    const auto n = static_cast<std::int64_t>(table.stations.size());
    std::int64_t visible = n - config.hidden;
    table.visiblecount = static_cast<std::int32_t>(visible < 0 ? 0 : visible > n ? n : visible);
    blankbydistance(table, config);
    return table;
}

std::vector<std::string> unknownreferences(const StationTable& table, const std::string& tablepath) {
    std::vector<std::string> lines;
    for (const SyncStation& s : table.sync)
        if (!s.found && s.letter != "A")
            lines.push_back("TAI reference " + std::to_string(s.gri) + s.letter + " is not in the station table " +
                            quoted(tablepath));
    return lines;
}

StationTable loadstationtable(const StationsConfig& config) {
    std::string text;
    if (!readwholefile(config.table, text))
        throw RuntimeError(filenotfound, "cannot open station table " + quoted(config.table) + ": " + lastoserror());
    return buildstationtable(config, text);
}

}  // namespace corvane
