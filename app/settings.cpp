#include "app/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "acquisition/blockgeometry.h"
#include "acquisition/clock.h"
#include "core/errors.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "core/text.h"
#include "core/numberformat.h"
#include "platform/platform.h"

namespace corvane {

std::string settingsfilename(int argc, const char* const* argv) {
    std::string name;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) name += ' ';
        name += argv[i];
    }
    return name.empty() ? "corvane.ini" : name;
}

namespace {

void trimblanks(std::string& s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    size_t start = 0;
    while (start < s.size() && s[start] == ' ') ++start;
    s.erase(0, start);
}

using Handler = std::function<void(Settings&, const std::string& value)>;

template <typename T>
Handler realfield(T Settings::*field) {
    return [field](Settings& s, const std::string& v) {
        if constexpr (std::is_same_v<T, float>)
            s.*field = toreal32(readnumber(v));
        else if constexpr (std::is_same_v<T, double>)
            s.*field = readnumber(v);
        else
            s.*field = roundclamp<T>(readnumber(v));
    };
}

Handler textfield(std::string Settings::*field) {
    return [field](Settings& s, const std::string& v) { s.*field = v; };
}

Handler flagfield(std::int16_t Settings::*field) {
    return [field](Settings& s, const std::string&) { s.*field = 1; };
}

using Section = std::map<std::string, Handler, std::less<>>;

const std::map<std::string, Section, std::less<>>& namedkeys() {
    static const std::map<std::string, Section, std::less<>> sections = {
        {"location", {{"lat", realfield(&Settings::lat)}, {"lon", realfield(&Settings::lon)}}},
        {"file",
         {{"bmp", textfield(&Settings::bmp)},
          {"table", textfield(&Settings::table)},
          {"wav", [](Settings& s, const std::string& v) { s.samplefile = v; s.wavinput = 1; }},
          {"dat", [](Settings& s, const std::string& v) { s.samplefile = v; s.wavinput = 0; }},
          {"date", [](Settings& s, const std::string& v) { s.date = v; s.dategiven = true; }},
          {"time", [](Settings& s, const std::string& v) { s.time = v; s.timegiven = true; }},
          {"bits", [](Settings& s, const std::string& v) { s.samplebytes = readnumber(v) <= 8 ? 1 : 2; }},
          {"stereo", [](Settings& s, const std::string&) { s.channels = 2; }},
          {"mono", [](Settings& s, const std::string&) { s.channels = 1; }},
          {"biasreal", realfield(&Settings::biasreal)},
          {"biasimag", realfield(&Settings::biasimag)},
          {"fileblocklen", realfield(&Settings::fileblocklen)},
          {"filescale", realfield(&Settings::filescale)},
          {"bmpcmd", textfield(&Settings::bmpcmd)},
          {"bmpcmdcount", realfield(&Settings::bmpcmdcount)},
          {"bmperrorhandling", realfield(&Settings::bmperrorhandling)},
          {"log", textfield(&Settings::log)}}},
        {"frequency",
         {{"sr", realfield(&Settings::sr)},
          {"looffset", realfield(&Settings::looffset)},
          {"lodrift", realfield(&Settings::lodrift)},
          {"srcorr",
           [](Settings& s, const std::string& v) {
               s.srcorr = toreal32(readnumber(v));
               s.srcorrroot = std::sqrt(std::fabs(s.srcorr));
           }},
          {"phasecorr", realfield(&Settings::phasecorr)},
          {"jittercorr", realfield(&Settings::jittercorr)},
          {"bandcenter", realfield(&Settings::bandcenter)},
          {"srlofactor", realfield(&Settings::srlofactor)},
          {"srlooffset", realfield(&Settings::srlooffset)}}},
        {"pll",
         {{"pllcommand", [](Settings& s, const std::string& v) { s.pllcommand = v; s.pllenabled = 1; }},
          {"pllcenter", realfield(&Settings::pllcenter)},
          {"plllow", realfield(&Settings::plllow)},
          {"pllhigh", realfield(&Settings::pllhigh)},
          {"pllfactort", realfield(&Settings::pllfactort)},
          {"pllfactorf", realfield(&Settings::pllfactorf)},
          {"plldither", realfield(&Settings::plldither)},
          {"pllaveragef", realfield(&Settings::pllaveragef)},
          {"pllavfini", realfield(&Settings::pllavfini)},
          {"ffactor", realfield(&Settings::ffactor)},
          {"srloavfac", realfield(&Settings::srloavfac)},
          {"srloavini", realfield(&Settings::srloavini)}}},
        {"time",
         {{"shortintegration", realfield(&Settings::shortintegration)},
          {"longintegration", realfield(&Settings::longintegration)},
          {"displaysamples", realfield(&Settings::displaysamples)},
          {"utcoffset", realfield(&Settings::utcoffset)},
          {"clockoffset", realfield(&Settings::clockoffset)},
          {"timercalavfac", realfield(&Settings::timercalavfac)},
          {"sleeptime", realfield(&Settings::sleeptime)},
          {"asf", realfield(&Settings::asf)},
          {"gri5990step", realfield(&Settings::gri5990step)},
          {"gri6731step", realfield(&Settings::gri6731step)}}},
        {"amplitude",
         {{"colour", realfield(&Settings::colour)},
          {"gamma", realfield(&Settings::gamma)},
          {"dbrange", realfield(&Settings::dbrange)},
          {"fullscale",
           [](Settings& s, const std::string& v) {
               s.fullscale = toreal32(readnumber(v));
               if (!v.empty() && v.back() == '+') s.fullscalefixed = 1;
           }},
          {"normalizedistance", realfield(&Settings::normalizedistance)},
          {"normalizepower", realfield(&Settings::normalizepower)},
          {"blankingoffsetcorr", realfield(&Settings::blankingoffsetcorr)},
          {"hipass", realfield(&Settings::hipass)},
          {"edgelevel",
           [](Settings& s, const std::string& v) {
               s.edgelevel = toreal32(readnumber(v));
               if (s.edgelevel >= 1.0f) s.edgelevelabsolute = s.edgelevel;
           }},
          {"phasereference", realfield(&Settings::phasereference)},
          {"referencestation", realfield(&Settings::referencestation)},
          {"firstblankedsample", realfield(&Settings::firstblankedsample)},
          {"lastblankedsample", realfield(&Settings::lastblankedsample)},
          {"notch100khz", realfield(&Settings::notch100khz)},
          {"xrcdelay7950", realfield(&Settings::xrcdelay7950)},
          {"nb", realfield(&Settings::nb)},
          {"nbinit",
           [](Settings& s, const std::string& v) {
               double n = readnumber(v);
               s.nbinit = toreal32(n * n);
           }},
          {"nbfac", realfield(&Settings::nbfac)},
          {"nbupdate", realfield(&Settings::nbupdate)},
          {"nbspread", realfield(&Settings::nbspread)},
          {"nbcorr", realfield(&Settings::nbcorr)}}},
        {"firfilter",
         {{"hipass", realfield(&Settings::hipass)},
          {"firbegin", realfield(&Settings::firbegin)},
          {"tap",
           [](Settings& s, const std::string& v) {
               FilterTap tap;
               tap.re = toreal32(readnumber(v));
               size_t comma = v.find(',');
               if (comma != std::string::npos) tap.im = toreal32(readnumber(std::string_view(v).substr(comma + 1)));
               s.taps.push_back(tap);
           }}}},
        {"taisync",
         {{"searchrange", realfield(&Settings::searchrange)},
          {"integrationtime", realfield(&Settings::integrationtime)},
          {"resynclimit", realfield(&Settings::resynclimit)},
          {"clockerrorlimit", realfield(&Settings::clockerrorlimit)},
          {"syncverbose", flagfield(&Settings::syncverbose)},
          {"stations", realfield(&Settings::stations)},
          {"remove8000frompps", flagfield(&Settings::remove8000frompps)}}},
        {"chaindelay", {}},
        {"eloran", {}},
        {"stations",
         {{"hidden", realfield(&Settings::hidden)},
          {"blankedstns", realfield(&Settings::blankedstns)},
          {"blankingdistance", realfield(&Settings::blankingdistance)},
          {"singlepulses", realfield(&Settings::singlepulses)},
          {"printstationlist", flagfield(&Settings::printstationlist)}}},
    };
    return sections;
}

// Keys of the list sections that are not named keys. Returns whether the key
// belongs to a list section as an entry: false for a key of a section without
// a list, and for a [stations] or [taisync] key without a GRI (or, in
// [taisync], without a station letter).
bool listentry(Settings& s, const std::string& section, const std::string& key, const std::string& value) {
    if (section == "taisync") {
        SyncEntry e;
        e.gri = toint32(readnumber(key));
        const char last = key.back();
        if (e.gri <= 0 || !((last >= 'a' && last <= 'z') || (last >= 'A' && last <= 'Z'))) return false;
        e.letter = uppercased(key.substr(key.size() - 1));
        e.value = toreal32(readnumber(value));
        s.taireferences.push_back(e);
        return true;
    }
    if (section == "chaindelay") {
        ChainDelay e;
        e.gri = toint32(readnumber(key));
        if (e.gri <= 4000 || e.gri >= 10000) return true;
        e.delay = toreal32(readnumber(value));
        s.chaindelays.push_back(e);
        return true;
    }
    if (section == "stations" || section == "eloran") {
        StationEntry e;
        // Kept within +-INT32_MAX so that the absolute value always exists.
        e.gri = toint32(std::fmax(readnumber(key), -2147483647.0));
        if (e.gri == 0) return false;
        size_t start = key.find_first_not_of("-0123456789. ");
        if (start != std::string::npos) {
            e.letter = uppercased(key.substr(start, 1));
            e.suffix = key.substr(start + 1);
        }
        (section == "eloran" ? s.eloranstations : s.selection).push_back(e);
        return true;
    }
    return false;
}

// The closest of the names (edit distance 2 or less), or "" when none is.
template <typename Names>
std::string closestname(const std::string& name, const Names& names) {
    std::string best;
    std::size_t bestdistance = 3;
    for (const auto& entry : names) {
        const std::size_t d = editdistance(name, entry.first);
        if (d < bestdistance) {
            bestdistance = d;
            best = entry.first;
        }
    }
    return best;
}

// Where a warning points: the file name and the line number.
struct LinePlace {
    const std::string& file;
    std::size_t line;
    std::vector<std::string>* warnings;
    void warn(const std::string& text) const {
        if (warnings) warnings->push_back(file + ":" + std::to_string(line) + ": " + text);
    }
};

void unknownsection(const std::string& section, const LinePlace& place) {
    const std::string meant = closestname(section, namedkeys());
    place.warn("unknown section [" + section + "]" + (meant.empty() ? "" : "; did you mean [" + meant + "]?"));
}

void unknownkey(const std::string& section, const std::string& key, const LinePlace& place) {
    const auto& sections = namedkeys();
    std::string hint;
    const std::string meant = closestname(key, sections.at(section));
    if (!meant.empty()) {
        hint = "; did you mean \"" + meant + "\"?";
    } else {
        for (const auto& [name, keys] : sections)
            if (keys.count(key) != 0) hint = "; it belongs in [" + name + "]";
    }
    place.warn("unknown key \"" + key + "\" in [" + section + "]" + hint);
}

void dispatch(Settings& s, const std::string& section, const std::string& key, const std::string& value,
              const LinePlace& place) {
    const auto& sections = namedkeys();
    auto sec = sections.find(section);
    if (sec == sections.end()) {  // an unknown section, warned about at its head
        if (section.empty() && !key.empty()) place.warn("key \"" + key + "\" before the first section");
        return;
    }
    auto handler = sec->second.find(key);
    if (handler != sec->second.end()) {
        handler->second(s, value);
    } else if (!key.empty() && !listentry(s, section, key, value)) {
        unknownkey(section, key, place);
    }
}

void finalise(Settings& s) {
    auto lookup = [&](std::int32_t gri) {
        float delay = 0;
        for (const ChainDelay& d : s.chaindelays)
            if (d.gri == gri) delay = d.delay;
        return delay;
    };
    for (SyncEntry& e : s.taireferences) e.chaindelay = lookup(e.gri);
    std::int32_t counter = 0;
    for (StationEntry& e : s.selection) {
        e.chaindelay = lookup(e.gri < 0 ? -e.gri : e.gri);
        e.blanked = 0;
        if (e.gri < 0) {
            if (counter < s.blankedstns) e.blanked = 1;
            if (counter < std::numeric_limits<std::int32_t>::max()) ++counter;
        }
    }
}

}  // namespace

Settings parsesettings(std::string_view text, const std::string& systemdate, const std::string& systemtime,
                       const std::string& filename, std::vector<std::string>* warnings) {
    Settings s;
    s.date = systemdate;
    s.time = systemtime;
    std::string section;
    text = withoutbyteordermark(text);
    size_t pos = 0;
    std::size_t linenumber = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++linenumber;
        const LinePlace place{filename, linenumber, warnings};
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CR LF line ends

        size_t cut = line.find(';');
        if (cut != std::string::npos) line.erase(cut);
        cut = line.find('\'');
        if (cut != std::string::npos) line.erase(cut);
        trimblanks(line);
        if (line.empty()) continue;
        // Section names and keys are case-free; values keep their case (file
        // names and commands on case-sensitive systems).
        if (line[0] == '[') {
            section = lowercased(line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string());
            if (namedkeys().count(section) == 0) unknownsection(section, place);
            continue;
        }
        std::string key = line, value;
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            key = line.substr(0, eq);
            while (!key.empty() && key.back() == ' ') key.pop_back();
            value = line.substr(eq + 1);
            size_t start = value.find_first_not_of(' ');
            value = start == std::string::npos ? std::string() : value.substr(start);
        }
        dispatch(s, section, lowercased(key), value, place);
    }
    finalise(s);
    return s;
}

Settings parsesettings(std::string_view text, const std::string& systemdate, const std::string& systemtime) {
    return parsesettings(text, systemdate, systemtime, std::string(), nullptr);
}

Settings loadsettings(const std::string& filename, Clock& clock, std::vector<std::string>* warnings) {
    std::string text;
    if (!readwholefile(filename, text))
        throw RuntimeError(filenotfound, "cannot open settings file \"" + filename + "\": " + lastoserror());
    const Clock::DateTime now = clock.datetime();
    Settings s = parsesettings(text, now.date, now.time, filename, warnings);
    // The system's date and time as the settings' local time: UTC + utcoffset.
    const Clock::DateTime local = shifteddatetime(now, s.utcoffset);
    if (!s.dategiven) s.date = local.date;
    if (!s.timegiven) s.time = local.time;
    return s;
}

namespace {

// Whether text[from .. from + count) holds only digits; their value.
bool digits(const std::string& text, std::size_t from, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::string refusal(const std::string& key, const std::string& value, const std::string& why) {
    return "setting " + key + " =" + value + " refused: " + why;
}

}  // namespace

bool isdatetext(const std::string& text) {
    int month = 0, day = 0, year = 0;
    return text.size() == 10 && text[2] == '-' && text[5] == '-' && digits(text, 0, 2, month) &&
           digits(text, 3, 2, day) && digits(text, 6, 4, year) && month >= 1 && month <= 12 && day >= 1 &&
           day <= 31;
}

bool istimetext(const std::string& text) {
    int hours = 0, minutes = 0, seconds = 0;
    return text.size() == 8 && text[2] == ':' && text[5] == ':' && digits(text, 0, 2, hours) &&
           digits(text, 3, 2, minutes) && digits(text, 6, 2, seconds) && hours <= 23 && minutes <= 59 &&
           seconds <= 59;
}

std::vector<std::string> settingsrefusals(const Settings& s) {
    std::vector<std::string> refusals;
    auto refuse = [&](const std::string& key, const std::string& value, const std::string& why) {
        refusals.push_back(refusal(key, value, why));
    };
    const BlockGeometry g = computeblockgeometry(moduleinputconfig(s));
    if (!(s.sr > 0))
        refuse("sr", real64text(s.sr), "the sample rate must be greater than 0");
    // Below this a window spans many pulses and a block ever more of them:
    // nothing can be received, and the integration would take hours.
    else if (s.sr < 1000)
        refuse("sr", real64text(s.sr), "the sample rate must be at least 1000 Hz");
    else if (s.displaysamples < 1)
        refuse("displaysamples", integertext(s.displaysamples), "a pulse window needs at least 1 sample");
    else if (g.requestedblocklen < 1)
        refuse("sr", real64text(s.sr),
               "a sample rate below 2756.25 gives blocks of 0 samples; set fileblocklen");
    else if (!g.fits) {
        if (s.fileblocklen > 0)
            refuse("fileblocklen", integertext(s.fileblocklen),
                   "block length plus overlap must not exceed 32767 samples");
        else if (g.requestedblocklen + 256 <= 32767)
            refuse("displaysamples", integertext(s.displaysamples),
                   "the overlap it needs plus the block length must not exceed 32767 samples");
        else
            refuse("sr", real64text(s.sr), "block length plus overlap must not exceed 32767 samples; set fileblocklen");
    }
    const auto n = static_cast<std::int64_t>(s.selection.size());
    if (n == 0) refuse("[stations]", " (empty)", "no station is selected");
    else if (n * s.displaysamples > 32767)
        refuse("displaysamples", integertext(s.displaysamples),
               "stations x displaysamples must not exceed 32767");
    if (s.singlepulses < 0 || s.singlepulses > 18)
        refuse("singlepulses", integertext(s.singlepulses), "must lie in 0 .. 18");
    if (n > 0 && (s.referencestation < 0 || s.referencestation >= n))
        refuse("referencestation", integertext(s.referencestation),
               "must be the index of a selected station, 0 .. " + std::to_string(n - 1));
    if (!(s.shortintegration > 0))
        refuse("shortintegration", real32text(s.shortintegration), "must be greater than 0");
    if (s.singlepulses == 0) {
        for (const StationEntry& e : s.selection) {
            const bool patterned = ismasterletter(e.letter) || issecondaryletter(e.letter);
            std::int32_t gri = e.gri < 0 ? -e.gri : e.gri;
            if (patterned && gri < 1000)
                refuse(std::to_string(e.gri) + e.letter, "",
                       "a master or secondary station needs a GRI of at least 1000");
        }
    }
    if (s.integrationtime > 0 && s.taireferences.empty())
        refuse("integrationtime", real64text(s.integrationtime),
               "the [taisync] list of reference stations is empty");
    if (s.dategiven && !isdatetext(s.date))
        refuse("date", " " + s.date, "expected mm-dd-yyyy (two digits each, four for the year) with month 1 .. 12 and day 1 .. 31");
    if (s.timegiven && !istimetext(s.time))
        refuse("time", " " + s.time, "expected hh:mm:ss (two digits each) with hours 0 .. 23, minutes and seconds 0 .. 59");
    for (const StationEntry& e : s.eloranstations) {
        const std::string name = "[eloran] " + std::to_string(e.gri) + e.letter;
        if (!issecondaryletter(e.letter)) {
            refuse(name, "", "the data channel is carried by a secondary station");
            continue;
        }
        const bool selected = std::any_of(s.selection.begin(), s.selection.end(), [&](const StationEntry& x) {
            return (x.gri < 0 ? -static_cast<std::int64_t>(x.gri) : x.gri) == e.gri && x.letter == e.letter;
        });
        if (!selected) refuse(name, "", "the station is not selected in [stations]");
        else if (s.singlepulses != 0) refuse(name, "", "the data channel needs the pulse groups; set singlepulses = 0");
    }
    if (!s.eloranstations.empty() && !(s.integrationtime > 0))
        refuse("[taisync] integrationtime", real64text(s.integrationtime),
               "the [eloran] data channel needs the station windows placed by a TAI synchronisation; "
               "set integrationtime above 0");
    return refusals;
}

void validatesettings(const Settings& s) {
    const std::vector<std::string> refusals = settingsrefusals(s);
    if (!refusals.empty()) throw RuntimeError(illegalfunctioncall, refusals.front());
}

}  // namespace corvane
