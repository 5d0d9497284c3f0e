#include "tools/common/options.h"
#include "simoptions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "core/errors.h"

namespace corvane::sim {

namespace {

[[noreturn]] void bad(const std::string& what) { badoption(what); }

// A whole text as a finite number, or an error naming the option.
double number(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !std::isfinite(v))
        bad("option " + option + " needs a number, not \"" + text + "\"");
    return v;
}

std::int64_t integer(const std::string& option, const std::string& text, std::int64_t lo, std::int64_t hi) {
    double v = number(option, text);
    if (v != std::floor(v) || v < static_cast<double>(lo) || v > static_cast<double>(hi))
        bad("option " + option + " needs a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
            ", not \"" + text + "\"");
    return static_cast<std::int64_t>(v);
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

// "YYYY-MM-DD" with "T" or a blank and "HH:MM:SS[.fff]".
void parsestart(const std::string& text, SimOptions& o) {
    std::string t = text;
    for (char& c : t)
        if (c == 'T' || c == 't') c = ' ';
    std::size_t blank = t.find(' ');
    std::vector<std::string> date = split(t.substr(0, blank), '-');
    std::vector<std::string> time = blank == std::string::npos ? std::vector<std::string>{"00", "00", "00"}
                                                               : split(t.substr(blank + 1), ':');
    if (date.size() != 3 || time.size() != 3) bad("option --start needs YYYY-MM-DDTHH:MM:SS, not \"" + text + "\"");
    o.year = static_cast<std::int32_t>(integer("--start", date[0], 1958, 2400));
    o.month = static_cast<std::int32_t>(integer("--start", date[1], 1, 12));
    o.day = static_cast<std::int32_t>(integer("--start", date[2], 1, 31));
    o.hour = static_cast<std::int32_t>(integer("--start", time[0], 0, 23));
    o.minute = static_cast<std::int32_t>(integer("--start", time[1], 0, 59));
    o.second = number("--start", time[2]);
    if (o.second < 0 || o.second >= 61) bad("option --start: seconds out of range in \"" + text + "\"");
}

}  // namespace

bool parsestation(const std::string& text, StationChoice& choice) {
    if (text.size() < 2) return false;
    std::string digits = text.substr(0, text.size() - 1);
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    if (digits.size() > 5) return false;
    choice.gri = static_cast<std::int32_t>(std::stol(digits));
    choice.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    return choice.gri > 0 && std::isalpha(static_cast<unsigned char>(choice.letter));
}

SimOptions parsesimoptions(const std::vector<std::string>& args) {
    SimOptions o;
    const StandardOptions asked = readoptions(args, [&](OptionReader& options, const std::string& a) {
        auto arg = [&] { return options.value(); };
        if (a == "--table") {
            o.table = arg();
        } else if (a == "--stations" || a == "--eloran") {
            for (const std::string& s : split(arg(), ',')) {
                if (s.empty()) continue;
                StationChoice c;
                if (!parsestation(s, c)) bad("option " + a + ": \"" + s + "\" is not a GRI and a letter such as 7499M");
                (a == "--eloran" ? o.eloran : o.stations).push_back(c);
            }
        } else if (a == "--eloran-id") {
            o.eloranid = static_cast<std::int32_t>(integer(a, arg(), 0, 1023));
        } else if (a == "--chain-delay") {
            std::vector<std::string> p = split(arg(), ':');
            if (p.size() != 2) bad("option --chain-delay needs GRI:MILLISECONDS");
            o.chaindelays.push_back({static_cast<std::int32_t>(integer(a, p[0], 1, 99999)), number(a, p[1])});
        } else if (a == "--lat") {
            o.lat = number(a, arg());
            if (std::fabs(o.lat) > 90) bad("option --lat must lie within -90 .. 90");
        } else if (a == "--lon") {
            o.lon = number(a, arg());
            if (std::fabs(o.lon) > 360) bad("option --lon must lie within -360 .. 360");
        } else if (a == "--asf") {
            o.asf = number(a, arg());
            if (o.asf <= 0) bad("option --asf must be positive");
        } else if (a == "--start") {
            parsestart(arg(), o);
        } else if (a == "--duration") {
            o.duration = number(a, arg());
            if (o.duration < 0 || o.duration > 1e7) bad("option --duration must lie within 0 .. 1e7 seconds");
        } else if (a == "--seed") {
            std::string s = arg();
            char* end = nullptr;
            o.seed = std::strtoull(s.c_str(), &end, 10);
            if (s.empty() || *end != '\0' || s[0] == '-') bad("option --seed needs a whole number, not \"" + s + "\"");
        } else if (a == "--rate") {
            o.rate = number(a, arg());
            if (o.rate < 4000 || o.rate > 1e6) bad("option --rate must lie within 4000 .. 1000000");
        } else if (a == "--bits") {
            o.bits = static_cast<std::int32_t>(integer(a, arg(), 8, 16));
            if (o.bits != 8 && o.bits != 16) bad("option --bits must be 8 or 16");
        } else if (a == "--mono") {
            o.channels = 1;
        } else if (a == "--stereo") {
            o.channels = 2;
        } else if (a == "--level") {
            o.level = number(a, arg());
        } else if (a == "--attenuation") {
            o.attenuation = number(a, arg());
        } else if (a == "--noise") {
            o.impairments.noise = number(a, arg());
            if (o.impairments.noise < 0) bad("option --noise must not be negative");
        } else if (a == "--cw") {
            std::vector<std::string> p = split(arg(), ':');
            if (p.size() != 2) bad("option --cw needs HZ:AMPLITUDE");
            o.impairments.cw.push_back({number(a, p[0]), number(a, p[1])});
        } else if (a == "--impulses") {
            std::vector<std::string> p = split(arg(), ':');
            if (p.size() != 2 && p.size() != 3) bad("option --impulses needs RATE:AMPLITUDE[:DECAY_US]");
            o.impairments.impulserate = number(a, p[0]);
            o.impairments.impulseamplitude = number(a, p[1]);
            if (p.size() == 3) o.impairments.impulsedecay = number(a, p[2]) * 1e-6;
            if (o.impairments.impulserate < 0 || o.impairments.impulsedecay <= 0)
                bad("option --impulses needs a rate of 0 or more and a positive decay time");
        } else if (a == "--ppm") {
            o.impairments.ppm = number(a, arg());
            if (std::fabs(o.impairments.ppm) > 10000) bad("option --ppm must lie within -10000 .. 10000");
        } else if (a == "--lo-offset") {
            o.impairments.looffset = number(a, arg());
        } else if (a == "--lo-drift") {
            o.impairments.lodrift = number(a, arg());
        } else if (a == "--output" || a == "-o") {
            o.output = arg();
        } else if (a == "--file-seconds") {
            o.fileseconds = number(a, arg());
            if (o.fileseconds <= 0) bad("option --file-seconds must be positive");
        } else if (a == "--file-frames") {
            o.fileframes = integer(a, arg(), 1, 100000000);
        } else if (a == "--realtime") {
            o.realtime = true;
        } else {
            return liveoption(options, a, o.live, o.endfile, o.quiet);
        }
        return true;
    });
    o.help = asked.help;
    o.version = asked.version;
    if (o.help || o.version) return o;
    if (o.output.empty() == o.live.empty()) bad("give either --output FILE or --live FILE");
    for (const StationChoice& e : o.eloran) {
        const std::string name = std::to_string(e.gri) + e.letter;
        if (std::string_view("OPQRSTUVWXYZ").find(e.letter) == std::string_view::npos)
            bad("option --eloran: " + name + " is not a secondary station (O to Z)");
        if (std::none_of(o.stations.begin(), o.stations.end(),
                         [&](const StationChoice& c) { return c.gri == e.gri && c.letter == e.letter; }))
            bad("option --eloran: " + name + " is not among --stations");
    }
    // The oscillator offset may drift; the band must leave room for its extreme.
    double maxshift = std::max(std::fabs(o.impairments.looffset),
                               std::fabs(o.impairments.looffset + o.impairments.lodrift * o.duration));
    if (maxshift > 0.5 * o.rate - 2000) bad("LO offset (with drift) leaves no room for the pulse below half the rate");
    return o;
}

std::string simhelp() {
    return R"(corvane-sim: simulated Loran-C receiver samples for the Corvane monitor

Writes the complex baseband (I/Q) that a receiver tuned to 100 kHz would record
from the selected stations of a station table, as a recording or as live files.

Usage: corvane-sim --stations LIST (--output FILE | --live FILE) [options]

Stations and geometry:
  --table FILE          station table, same format as the monitor's (table.txt)
  --stations LIST       comma-separated GRI and letter list, e.g. 6731M,6731Y;
                        masters K L M N, secondaries O to Z
  --lat DEG, --lon DEG  receiver position, north / east positive (50, 10)
  --asf X               propagation factor as in the monitor's [time] asf (1.008)
  --chain-delay GRI:MS  extra emission delay in ms of every station of a GRI
                        (may be repeated)
  --level X             envelope peak of a 1000 kW station at 1000 km, in units of
                        the output's full scale (0.1)
  --attenuation DB      ground-wave loss beyond 1/distance, dB per 1000 km (8);
                        amplitude = level x sqrt(P / 1000 kW) x (1000 km / d)
                        x 10^(-DB x (d - 1000 km) / 20000 km), d at least 10 km

eLoran data channel:
  --eloran LIST         secondaries of --stations whose pulses 3 to 8 carry
                        Eurofix messages (may be repeated): UTC subtypes 1 and
                        2 in turn with the simulated time, every tenth message
                        the station's ID and latitude or longitude
  --eloran-id N         station ID in those messages, 0 .. 1023 (549 for 6731Y,
                        else 0)

Time:
  --start DATE          UTC start, YYYY-MM-DDTHH:MM:SS[.fff] (2024-01-01T00:00:00)
  --duration S          seconds of samples at the nominal rate (60)
  --seed N              random seed; the same seed gives the same bytes (1)

Output format:
  --rate HZ             nominal sample rate (48000)
  --bits 8|16           sample width (16); 8-bit samples are unsigned, value+128
  --stereo, --mono      two channels I and Q (default), or I only
  --output FILE         write a recording: 46-byte RIFF/WAVE header, then frames
  --live FILE           write live files named FILE by the rename convention:
                        each file is written as FILE.part, then renamed to FILE
                        once the monitor has deleted the previous one
  --file-seconds S      length of each live file in seconds (1)
  --file-frames N       length of each live file in frames (overrides seconds)
  --realtime            hand each live file over when its last sample would
                        have been recorded (default: as fast as consumed)
  --no-end-file         do not end the live run with a zero-length file

Impairments (all off by default; amplitudes in units of full scale):
  --noise RMS           Gaussian noise, RMS per channel
  --cw HZ:AMPLITUDE     continuous carrier HZ away from 100 kHz (may be repeated)
  --impulses RATE:AMPLITUDE[:DECAY_US]
                        impulsive bursts, RATE per second (Poisson), peak
                        AMPLITUDE, random phase, exponential decay (100 us)
  --ppm X               sample-rate error: the true rate is rate x (1 + X 1e-6)
  --lo-offset HZ        receiver oscillator offset: carriers appear at +HZ
  --lo-drift HZ         oscillator drift in Hz per second

Other:
  --quiet               no summary on standard error
  -h, --help            this text
  -V, --version         the program's version

Signals are band-limited to the sampled band (no aliasing): the pulse is
computed from the envelope's spectrum through a low-pass that ends at
min(25 kHz, rate/2 - |LO offset|). Phase code intervals start at whole
multiples of two GRIs since 1 January 1958 on the Loran time scale (UTC + 22 s
+ leap seconds), delayed by the emission delay and the propagation time.
)";
}

}  // namespace corvane::sim
