#include "output/waterfall.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/errors.h"
#include "core/numeric.h"
#include "core/text.h"
#include "core/numberformat.h"

namespace corvane {

namespace {

constexpr std::int32_t headerbytes = 54;

void putint32(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
}

void putint16(std::vector<std::uint8_t>& bytes, std::size_t at, std::int16_t value) {
    const auto u = static_cast<std::uint16_t>(value);
    bytes[at] = static_cast<std::uint8_t>(u);
    bytes[at + 1] = static_cast<std::uint8_t>(u >> 8);
}

std::int32_t linebytes(const WaterfallImage& image) { return image.imagewidth * image.bytesperpixel; }

// Stations drawn: the visible ones that fit the image and the rows.
std::int32_t drawnstations(const WaterfallImage& image, const StationTable& table, std::int32_t d,
                           std::size_t rowlength) {
    std::int64_t n = std::clamp<std::int64_t>(table.visiblecount, 0, static_cast<std::int64_t>(table.stations.size()));
    n = std::min<std::int64_t>(n, image.imagewidth / d);
    n = std::min<std::int64_t>(n, static_cast<std::int64_t>(rowlength) / d);
    return static_cast<std::int32_t>(n);
}

// A level 0 .. 1 (times a factor up to 1) as a byte; anything not finite is 0.
std::uint8_t tobyte(float value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<std::uint8_t>(std::clamp<std::int32_t>(floorclamp<std::int32_t>(value), 0, 255));
}

// Opens the bitmap for one line: for reading and writing; when that fails,
// created anew; when that fails too, for reading only, so that a file that
// can be read but not written shows up as a failed write. Returns the OS's
// words for the first failure, or "" when opened for reading and writing.
bool openbitmap(File& file, const std::string& path, std::string& refusal) {
    refusal.clear();
    if (file.open(path, File::Mode::update)) return true;
    refusal = lastoserror();
    if (file.open(path, File::Mode::create)) {
        refusal.clear();
        return true;
    }
    return file.open(path, File::Mode::readonly);
}

// Whether the file starts with the header and palette of this image (its
// size and height fields aside), read from the current position 0.
bool headerintact(File& file, const std::vector<std::uint8_t>& header) {
    std::vector<std::uint8_t> present(header.size());
    if (file.read(present.data(), present.size()) != static_cast<std::int64_t>(header.size())) return false;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const bool counted = (i >= 2 && i < 6) || (i >= 22 && i < 26);
        if (!counted && present[i] != header[i]) return false;
    }
    return true;
}

// One attempt at writing the current line; on failure returns false with
// the reason in failure. The line goes first, then the header fields that
// count it; a file without its header (deleted and created again, or cut
// short or overwritten by another program) gets the whole header and palette.
bool writeattempt(File& file, const WaterfallImage& image, const std::string& path, std::string& failure) {
    std::string refusal;
    if (!openbitmap(file, path, refusal)) {
        failure = "cannot open waterfall bitmap " + quoted(path) + ": " + lastoserror();
        return false;
    }
    auto writefailure = [&] {
        failure = "cannot write waterfall bitmap " + quoted(path) + ": " +
                  (refusal.empty() ? lastoserror() : "opened for reading only (" + refusal + ")");
        return false;
    };
    const std::vector<std::uint8_t> header = bitmapheader(image);
    const bool intact = headerintact(file, header);
    const std::int32_t bytes = linebytes(image);
    if (bytes > 0 && !file.writeat(image.imagefilesize - bytes, image.rowbuffer.data(),
                                   static_cast<std::size_t>(bytes)))
        return writefailure();
    if (!intact) {
        if (!file.writeat(0, header.data(), header.size())) return writefailure();
    } else {
        // Size and height go out in one write of bytes 2 .. 25 (the fields
        // between them unchanged), so a kill never leaves them disagreeing.
        if (!file.writeat(2, header.data() + 2, 24)) return writefailure();
    }
    return true;
}

void writeline(WaterfallImage& image, const Settings& settings, Platform& platform) {
    for (;;) {
        File file;
        std::string failure;
        if (writeattempt(file, image, settings.bmp, failure)) {
            if (!file.close())
                throw RuntimeError(fileioerror, "cannot close waterfall bitmap " + quoted(settings.bmp) + ": " +
                                                    lastoserror());
            return;
        }
        file.close();
        if (settings.bmperrorhandling == 0) throw RuntimeError(fileioerror, failure);
        if (platform.keyboard.takekey() == 'q') throw QuitRequested{};
        if (settings.bmperrorhandling > 1) platform.console.writeline(writeinteger(fileioerror));
        platform.clock.sleepms(200);
    }
}

void runimagecommand(WaterfallImage& image, const Settings& settings, Platform& platform) {
    if (settings.bmpcmd.empty()) return;
    if ((settings.bmpcmdcount > 0 || image.hourchanged != 0) && image.commandcountdown > 0)
        image.commandcountdown -= 1;
    if (image.commandcountdown == 0) {
        const std::int64_t every = std::llabs(static_cast<long long>(settings.bmpcmdcount));
        image.commandcountdown = static_cast<std::int32_t>(
            std::min<std::int64_t>(every, std::numeric_limits<std::int32_t>::max()));
        platform.commands.run(settings.bmpcmd);
    }
}

}  // namespace

std::vector<std::uint8_t> bitmapheader(const WaterfallImage& image) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pixeloffset(image)), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    putint32(bytes, 2, image.imagefilesize);
    putint32(bytes, 10, pixeloffset(image));
    putint32(bytes, 14, 40);
    putint32(bytes, 18, image.imagewidth);
    putint32(bytes, 22, image.imageheight);
    putint16(bytes, 26, 1);
    putint16(bytes, 28, static_cast<std::int16_t>(8 * image.bytesperpixel));
    for (std::size_t i = 0; i < static_cast<std::size_t>(image.palettebytes) / 4; ++i) {
        const std::size_t at = headerbytes + 4 * i;
        bytes[at] = bytes[at + 1] = bytes[at + 2] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

namespace {

// Creates (or truncates) a file holding exactly the given bytes; on failure
// returns false with the reason.
bool writewholefile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& failure) {
    File file;
    if (!file.open(path, File::Mode::create)) {
        failure = "cannot create waterfall bitmap " + quoted(path) + ": " + lastoserror();
        return false;
    }
    if (!file.write(bytes.data(), bytes.size())) {
        failure = "cannot write waterfall bitmap " + quoted(path) + ": " + lastoserror();
        return false;
    }
    if (!file.close()) {
        failure = "cannot close waterfall bitmap " + quoted(path) + ": " + lastoserror();
        return false;
    }
    return true;
}

}  // namespace

void createimage(WaterfallImage& image, const Settings& settings, const StationTable& table) {
    const bool grey = settings.colour == 0;
    image.bytesperpixel = grey ? 1 : 3;
    image.palettebytes = grey ? 1024 : 0;
    const std::int64_t visible =
        std::clamp<std::int64_t>(table.visiblecount, 0, static_cast<std::int64_t>(table.stations.size()));
    const std::int64_t d = std::max<std::int32_t>(settings.displaysamples, 1);
    const std::int64_t width = (d * visible + 3) / 4 * 4;
    if (width * image.bytesperpixel > std::numeric_limits<std::int32_t>::max() / 2)
        throw RuntimeError(fileioerror, "waterfall bitmap " + quoted(settings.bmp) + ": a line of " +
                                            std::to_string(width) + " pixels is too wide");
    image.imagewidth = static_cast<std::int32_t>(width);
    image.imageheight = 0;
    image.imagefilesize = pixeloffset(image);
    image.lasthour = 0;
    image.hourchanged = 0;
    image.commandcountdown = 0;
    image.phasecos = 0;
    image.phasesin = 0;

    // The new picture is written beside the old one and renamed over it, so
    // that a kill during start-up never leaves an empty or headless file.
    // Where the rename is refused (a viewer holding the old file on some
    // systems) the file is created in place instead.
    const std::vector<std::uint8_t> header = bitmapheader(image);
    const std::string part = settings.bmp + ".part";
    std::string failure;
    if (!writewholefile(part, header, failure) || !renamefile(part, settings.bmp)) {
        deletefile(part);
        if (!writewholefile(settings.bmp, header, failure)) throw RuntimeError(fileioerror, failure);
    }
    image.rowbuffer.assign(static_cast<std::size_t>(linebytes(image)), 32);
}

void drawline(WaterfallImage& image, const Settings& settings, const StationTable& table,
              const ChainTiming& timing, std::vector<float>& longre, std::vector<float>& longim,
              const std::vector<float>& longresidual) {
    const std::int32_t d = std::max<std::int32_t>(settings.displaysamples, 1);
    const auto n = static_cast<std::int64_t>(table.stations.size());
    const std::size_t rowlength = std::min(longre.size(), longim.size());
    const std::int32_t visible = drawnstations(image, table, d, rowlength);
    const bool filteron = settings.hipass != 0 || settings.jittercorr != 0;
    const float jitter = settings.jittercorr * 0.5f / static_cast<float>(settings.longintegration);
    const float integrations = static_cast<float>(settings.longintegration);
    const auto taps = static_cast<std::int64_t>(settings.taps.size());
    const std::int64_t firbegin = settings.firbegin;
    const float sqrt3 = std::sqrt(3.0f);
    std::int64_t c = timing.foldcount;

    for (std::int32_t s = 0; s < visible; ++s) {
        const Station& station = table.stations[static_cast<std::size_t>(s)];
        const std::size_t base = static_cast<std::size_t>(s) * static_cast<std::size_t>(d);

        float g = 1 / settings.fullscale;
        if (settings.normalizedistance != 0 && station.distance > 0)
            g = station.distance * g / settings.normalizedistance;
        if (settings.normalizepower != 0 && station.power > 0)
            g = std::sqrt(settings.normalizepower / station.power) * g;

        const float residual = static_cast<std::size_t>(s) < longresidual.size()
                                   ? longresidual[static_cast<std::size_t>(s)] : 0.0f;
        const float cl = -settings.hipass - jitter * residual;
        const float cr = -settings.hipass + jitter * residual;

        // The second and later entries of a GRI 6000 chain of three, or a
        // GRI 7950 chain of nine, are folded into the last rows of the
        // selection; half of each of two such rows is taken off the station.
        const bool auxiliary = (station.gri == 6000 && timing.count6000 == 3) ||
                               (station.gri == 7950 && timing.count7950 == 9);
        if (auxiliary) {
            for (int row = 0; row < 2 && c < 0; ++row, ++c) {
                const std::int64_t a = (c + n) * d;
                if (a < 0 || a + d > static_cast<std::int64_t>(rowlength)) continue;
                for (std::int32_t j = 0; j < d; ++j) {
                    const auto from = static_cast<std::size_t>(a + j);
                    longre[base + static_cast<std::size_t>(j)] -= longre[from] / 2;
                    longim[base + static_cast<std::size_t>(j)] -= longim[from] / 2;
                }
            }
        }

        for (std::int32_t j = 0; j < d; ++j) {
            const std::size_t k = base + static_cast<std::size_t>(j);
            float x = longre[k];
            float y = longim[k];
            if (filteron && j > 0 && j < d - 1) {
                x = cl * longre[k - 1] + x + cr * longre[k + 1];
                y = cl * longim[k - 1] + y + cr * longim[k + 1];
            }
            if (taps > 0) {
                std::int64_t lo = -firbegin;
                if (j + lo >= d) lo = d - 1 - j;
                std::int64_t hi = -(taps + firbegin - 1);
                if (j + hi < 0) hi = -j;
                for (std::int64_t m = lo; m >= hi; --m) {
                    const FilterTap& tap = settings.taps[static_cast<std::size_t>(-m - firbegin)];
                    const auto at = static_cast<std::size_t>(static_cast<std::int64_t>(k) + m);
                    x = x + tap.re * longre[at] - tap.im * longim[at];
                    y = y + tap.im * longre[at] + tap.re * longim[at];
                }
            }
            x = x * g / integrations;
            y = y * g / integrations;

            const float amplitude = std::sqrt(x * x + y * y);
            float v = amplitude;
            if (settings.dbrange == 0) {
                if (settings.gamma != 1) v = std::pow(v, settings.gamma);
                if (v > 0.75f && settings.fullscalefixed != 0)
                    v = 0.75f + std::log(v / 0.75f) * 8.6859f / 256;
            } else if (amplitude > 0) {
                v = 1 + std::log(v) * 8.6859f / std::fabs(settings.dbrange);
                if (v < 0) v = 0;
            }
            const bool level = std::isfinite(v);

            if (settings.colour == 0) {
                if (v > 1) v = 1;
                image.rowbuffer[k] = level ? tobyte(v * 255.999f) : 0;
                continue;
            }
            if (amplitude > 0 && std::isfinite(amplitude)) {
                image.phasecos = x / amplitude;
                image.phasesin = y / amplitude;
            }
            const float u = image.phasecos;
            const float w = image.phasesin;
            if (settings.colour == 1) {
                v = v / (1 + v);
            } else {
                v = v * 0.5f;
                if (v > 0.5f) v = 0.5f;
            }
            float red = std::clamp(2 * u, -1.0f, 1.0f);
            float blue = std::clamp(sqrt3 * w - u, -1.0f, 1.0f);
            float green = std::clamp(-sqrt3 * w - u, -1.0f, 1.0f);
            if (v > 0.5f) {
                const float fade = 1 / v - 1;
                red *= fade;
                blue *= fade;
                green *= fade;
            }
            image.rowbuffer[3 * k] = level ? tobyte(v * 255.999f * (blue + 1)) : 0;
            image.rowbuffer[3 * k + 1] = level ? tobyte(v * 255.999f * (green + 1)) : 0;
            image.rowbuffer[3 * k + 2] = level ? tobyte(v * 255.999f * (red + 1)) : 0;
        }
    }
}

void appendline(WaterfallImage& image, const Settings& settings, StationTable& table,
                const ChainTiming& timing, std::vector<float>& longre, std::vector<float>& longim,
                const std::vector<float>& longresidual, std::int32_t utchour, Platform& platform,
                const std::function<void()>& dailysteps) {
    // The header counts 32-bit sizes: a line that would not fit ends the run
    // before anything of it is drawn or written.
    if (static_cast<std::int64_t>(image.imagefilesize) + linebytes(image) > std::numeric_limits<std::int32_t>::max() ||
        image.imageheight == std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(fileioerror, "waterfall bitmap " + quoted(settings.bmp) +
                                            " is full: another line would take it past 2147483647 bytes");

    drawline(image, settings, table, timing, longre, longim, longresidual);

    image.hourchanged = 0;
    if (utchour != image.lasthour) {
        image.hourchanged = 1;
        image.lasthour = utchour;
        const std::int32_t d = std::max<std::int32_t>(settings.displaysamples, 1);
        const std::int32_t visible = drawnstations(image, table, d, static_cast<std::size_t>(image.imagewidth));
        const std::int32_t marked = utchour == 0 && d >= 2 ? 2 : 1;
        for (std::int32_t s = 0; s < visible; ++s) {
            const auto first = static_cast<std::size_t>(s) * static_cast<std::size_t>(d) *
                               static_cast<std::size_t>(image.bytesperpixel);
            std::fill_n(image.rowbuffer.begin() + static_cast<std::ptrdiff_t>(first),
                        marked * image.bytesperpixel, std::uint8_t{255});
        }
        if (utchour == 0) dailysteps();
    }

    image.imagefilesize += linebytes(image);
    image.imageheight += 1;
    writeline(image, settings, platform);
    runimagecommand(image, settings, platform);
}

}  // namespace corvane
