#include "simrun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "acquisition/clock.h"
#include "acquisition/livewriter.h"
#include "acquisition/wavfile.h"
#include "core/errors.h"
#include "core/loran.h"
#include "core/numeric.h"
#include "platform/platform.h"
#include "stations/geodesy.h"
#include "stations/stationtable.h"

namespace corvane::sim {

namespace {

constexpr std::int32_t blockframes = 8192;

std::string fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

std::vector<SimStation> simstations(const SimOptions& options, const std::string& tabletext, std::string& summary) {
    StationsConfig settings;
    settings.receiver = {options.lat, options.lon};
    for (const StationChoice& c : options.stations) {
        StationEntry e;
        e.gri = c.gri;
        e.letter = std::string(1, c.letter);
        for (const ChainDelayOption& d : options.chaindelays)
            if (d.gri == c.gri) e.chaindelay = toreal32(d.delay);
        settings.selection.push_back(e);
    }
    StationTable table = buildstationtable(settings, tabletext);
    const float speed = propagationspeed(toreal32(options.asf));
    std::vector<SimStation> result;
    for (const Station& st : table.stations) {
        if (st.name.empty() && st.distance == 0 && st.power == 0)
            throw RuntimeError(illegalfunctioncall,
                               "station " + std::to_string(st.gri) + st.letter + " is not in the station table");
        SimStation s;
        s.gri = st.gri;
        s.letter = st.letter.empty() ? '?' : st.letter[0];
        s.delay = static_cast<double>(st.emissiondelay) / 1000 +
                  static_cast<double>(propagationtime(st.distance, speed));
        s.amplitude = groundwaveamplitude(options.level, st.power, st.distance, options.attenuation);
        for (const StationChoice& e : options.eloran) {
            if (e.gri != st.gri || std::string(1, e.letter) != st.letter) continue;
            s.eloran = true;
            s.schedule.gri = st.gri;
            s.schedule.emissiondelay = toint64(static_cast<double>(st.emissiondelay) * 100);
            s.schedule.leapseconds = programscaleoffset + leapseconds(options.year, options.month);
            s.schedule.stationid = static_cast<std::uint16_t>(
                options.eloranid >= 0 ? options.eloranid : (st.gri == 6731 && st.letter == "Y" ? 549 : 0));
            s.schedule.role = static_cast<std::uint8_t>(std::string_view("MVWXYZ").find(st.letter[0]) % 8);
            s.schedule.latitude = static_cast<std::int32_t>(toint64(st.position.lat * 1e7));
            s.schedule.longitude = static_cast<std::int32_t>(toint64(st.position.lon * 1e7));
        }
        result.push_back(s);
        summary += "  " + std::to_string(st.gri) + st.letter + " " + st.name + ": " + fixed(st.distance, 1) +
                   " km, arrival delay " + fixed(s.delay * 1000, 6) + " ms, amplitude " + fixed(s.amplitude, 5) +
                   "\n";
    }
    return result;
}

std::int64_t runframes(const SimOptions& options) { return toint64(options.duration * options.rate); }

RunTotals writerecording(Synth& synth, const SimOptions& options) {
    RunTotals totals;
    const std::int64_t frames = runframes(options);
    const std::uint64_t framebytes = static_cast<std::uint64_t>(options.channels * (options.bits / 8));
    const std::string temporary = options.output + ".part";
    File file;
    if (!file.open(temporary, File::Mode::create))
        throw RuntimeError(fileioerror, "cannot create recording \"" + temporary + "\": " + lastoserror());
    auto fail = [&](const std::string& what) {
        std::string why = lastoserror();
        file.close();
        deletefile(temporary);
        throw RuntimeError(fileioerror, what + " \"" + temporary + "\": " + why);
    };
    const auto header = recordingheader(static_cast<std::uint32_t>(std::clamp(std::nearbyint(options.rate), 1.0, 4e9)),
                                        options.channels, options.bits,
                                        static_cast<std::uint64_t>(frames) * framebytes);
    if (!file.write(header.data(), header.size())) fail("cannot write recording");
    std::vector<unsigned char> bytes;
    std::vector<double> re, im;
    while (totals.frames < frames) {
        std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(blockframes, frames - totals.frames));
        synthesize(synth, n, re, im);
        totals.clipped += encodeframes(re, im, n, options.bits, options.channels, bytes);
        if (!file.write(bytes.data(), bytes.size())) fail("cannot write recording");
        totals.frames += n;
    }
    if (!file.close()) fail("cannot close recording");
    if (!renamefile(temporary, options.output)) {
        deletefile(temporary);
        throw RuntimeError(fileioerror, "cannot rename \"" + temporary + "\" to \"" + options.output + "\"");
    }
    return totals;
}

RunTotals writelive(Synth& synth, const SimOptions& options, Clock& clock) {
    RunTotals totals;
    const std::int64_t frames = runframes(options);
    const std::int64_t perfile =
        options.fileframes > 0 ? options.fileframes : std::max<std::int64_t>(1, toint64(options.fileseconds * options.rate));
    LiveWriter writer = makelivewriter(options.live);
    // A monitor that has stopped taking files would leave the simulator
    // waiting for ever.
    writer.giveupseconds = 60;
    const double begin = clock.counter();
    std::vector<double> re, im;
    std::vector<unsigned char> bytes;
    totals.files = writelivefiles(writer, clock, options.endfile, [&] {
        while (totals.frames < frames) {
            std::int64_t count = std::min(perfile, frames - totals.frames);
            begintemporary(writer);
            for (std::int64_t done = 0; done < count;) {
                std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(blockframes, count - done));
                synthesize(synth, n, re, im);
                totals.clipped += encodeframes(re, im, n, options.bits, options.channels, bytes);
                appendtemporary(writer, bytes.data(), bytes.size());
                done += n;
            }
            endtemporary(writer);
            totals.frames += count;
            if (options.realtime) {
                // The file is complete when its last sample has been taken.
                const double due = begin + static_cast<double>(totals.frames) / synth.truerate;
                for (double now = clock.counter(); now < due; now = clock.counter())
                    clock.sleepms(static_cast<int>(std::clamp((due - now) * 1000, 1.0, 50.0)));
            }
            handover(writer, clock);
        }
    });
    return totals;
}

}  // namespace corvane::sim
