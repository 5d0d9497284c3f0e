#include "output/waterfall.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/errors.h"
#include "core/numeric.h"
#include "core/text.h"
#include "pulses/fold.h"
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

void writeline(WaterfallImage& image, const WaterfallConfig& config, Platform& platform) {
    for (;;) {
        File file;
        std::string failure;
        if (writeattempt(file, image, config.bmp, failure)) {
            if (!file.close())
                throw RuntimeError(fileioerror, "cannot close waterfall bitmap " + quoted(config.bmp) + ": " +
                                                    lastoserror());
            return;
        }
        file.close();
        if (config.bmperrorhandling == 0) throw RuntimeError(fileioerror, failure);
        if (platform.keyboard.takekey() == 'q') throw QuitRequested{};
        if (config.bmperrorhandling > 1) platform.console.writeline(writeinteger(fileioerror));
        platform.clock.sleepms(200);
    }
}

void runimagecommand(WaterfallImage& image, const WaterfallConfig& config, Platform& platform) {
    if (config.bmpcmd.empty()) return;
    if ((config.bmpcmdcount > 0 || image.hourchanged != 0) && image.commandcountdown > 0)
        image.commandcountdown -= 1;
    if (image.commandcountdown == 0) {
        const std::int64_t every = std::llabs(static_cast<long long>(config.bmpcmdcount));
        image.commandcountdown = static_cast<std::int32_t>(
            std::min<std::int64_t>(every, std::numeric_limits<std::int32_t>::max()));
        platform.commands.run(config.bmpcmd);
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

// The bitmap replaces what its name leads to: only a regular file (or a
// link to one) may be replaced, never a device, a pipe or a folder.
void refusespecialfile(const std::string& path) {
    const FileKind kind = filekind(path);
    if (kind == FileKind::none || kind == FileKind::regular) return;
    if (kind == FileKind::nofolder)
        throw RuntimeError(fileioerror, "cannot create waterfall bitmap " + quoted(path) + ": its folder does not exist");
    if (kind == FileKind::failed)
        throw RuntimeError(fileioerror, "cannot look at waterfall bitmap " + quoted(path) + ": " + lastoserror());
    throw RuntimeError(illegalfunctioncall, "waterfall bitmap " + quoted(path) + " is " + filekindtext(kind) +
                                                ", not a regular file; give bmp another name");
}

}  // namespace

void createimage(WaterfallImage& image, const WaterfallConfig& config, const StationTable& table) {
    const bool grey = config.colour == 0;
    image.bytesperpixel = grey ? 1 : 3;
    image.palettebytes = grey ? 1024 : 0;
    const std::int64_t visible =
        std::clamp<std::int64_t>(table.visiblecount, 0, static_cast<std::int64_t>(table.stations.size()));
    const std::int64_t d = std::max<std::int32_t>(config.displaysamples, 1);
    const std::int64_t width = (d * visible + 3) / 4 * 4;
    if (width * image.bytesperpixel > std::numeric_limits<std::int32_t>::max() / 2)
        throw RuntimeError(fileioerror, "waterfall bitmap " + quoted(config.bmp) + ": a line of " +
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
    // A symbolic link stays and its target is replaced; the new file takes
    // the old one's mode and owner. Where that cannot be done, or the rename
    // is refused (a viewer holding the old file on some systems), the file
    // is created in place instead.
    const std::vector<std::uint8_t> header = bitmapheader(image);
    const std::string target = renametarget(config.bmp);
    refusespecialfile(config.bmp);
    const std::string part = target + ".part";
    std::string failure;
    if (!writewholefile(part, header, failure) || !copyownerandmode(target, part) || !renamefile(part, target)) {
        deletefile(part);
        if (!writewholefile(config.bmp, header, failure)) throw RuntimeError(fileioerror, failure);
    }
    image.rowbuffer.assign(static_cast<std::size_t>(linebytes(image)), 32);
}

namespace {

// Decibels per neper of amplitude (real32), and the lines' 255.999 that maps
// a level 0 .. 1 to a byte.
constexpr float decibelsperneper = 8.6859f;
constexpr float bytescale = 255.999f;
// fullscalefixed: above three quarters of full scale the level grows by
// 1/256 per decibel.
constexpr float kneelevel = 0.75f;
constexpr float kneeslope = 256;

// The filtered sum at position k (station position j of d): the three-tap
// high-pass and interpolation filter, then the taps.
struct Filter {
    bool threetap;           // hipass or jittercorr set
    float cl, cr;            // three-tap coefficients of the station
    const WaterfallConfig& config;
};

struct Complex32 {
    float x, y;
};

Complex32 filteredsum(const LongIntegration& rows, std::size_t k, std::int32_t j, std::int32_t d, const Filter& f) {
    const std::vector<float>& longre = rows.longre;
    const std::vector<float>& longim = rows.longim;
    float x = longre[k];
    float y = longim[k];
    if (f.threetap && j > 0 && j < d - 1) {
        x = f.cl * longre[k - 1] + x + f.cr * longre[k + 1];
        y = f.cl * longim[k - 1] + y + f.cr * longim[k + 1];
    }
    const auto taps = static_cast<std::int64_t>(f.config.taps.size());
    if (taps == 0) return {x, y};
    const std::int64_t firbegin = f.config.firbegin;
    std::int64_t lo = -firbegin;
    if (j + lo >= d) lo = d - 1 - j;
    std::int64_t hi = -(taps + firbegin - 1);
    if (j + hi < 0) hi = -j;
    for (std::int64_t m = lo; m >= hi; --m) {
        const FilterTap& tap = f.config.taps[static_cast<std::size_t>(-m - firbegin)];
        const auto at = static_cast<std::size_t>(static_cast<std::int64_t>(k) + m);
        x = x + tap.re * longre[at] - tap.im * longim[at];
        y = y + tap.im * longre[at] + tap.re * longim[at];
    }
    return {x, y};
}

// The level of an amplitude: a power law (dbrange 0) or decibels.
float levelof(float amplitude, const WaterfallConfig& config) {
    float v = amplitude;
    if (config.dbrange == 0) {
        if (config.gamma != 1) v = std::pow(v, config.gamma);
        if (v > kneelevel && config.fullscalefixed != 0)
            v = kneelevel + std::log(v / kneelevel) * decibelsperneper / kneeslope;
    } else if (amplitude > 0) {
        v = 1 + std::log(v) * decibelsperneper / std::fabs(config.dbrange);
        if (v < 0) v = 0;
    }
    return v;
}

// A colour pixel (blue, green, red) at byte 3k: lightness from the level,
// hue from the carrier phase (kept from the last pixel with signal).
void colourpixel(WaterfallImage& image, std::size_t k, float v, bool level, const WaterfallConfig& config) {
    static const float sqrt3 = std::sqrt(3.0f);
    const float u = image.phasecos;
    const float w = image.phasesin;
    if (config.colour == 1) {
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
    image.rowbuffer[3 * k] = level ? tobyte(v * bytescale * (blue + 1)) : 0;
    image.rowbuffer[3 * k + 1] = level ? tobyte(v * bytescale * (green + 1)) : 0;
    image.rowbuffer[3 * k + 2] = level ? tobyte(v * bytescale * (red + 1)) : 0;
}

// Brightening of a station (1 / fullscale, by distance and power).
float stationscale(const Station& station, const WaterfallConfig& config) {
    float g = 1 / config.fullscale;
    if (config.normalizedistance != 0 && station.distance > 0)
        g = station.distance * g / config.normalizedistance;
    if (config.normalizepower != 0 && station.power > 0) g = std::sqrt(config.normalizepower / station.power) * g;
    return g;
}

}  // namespace

void drawline(WaterfallImage& image, const WaterfallConfig& config, const StationTable& table,
              const LongIntegration& rows) {
    const std::int32_t d = std::max<std::int32_t>(config.displaysamples, 1);
    const std::size_t rowlength = std::min(rows.longre.size(), rows.longim.size());
    const std::int32_t visible = drawnstations(image, table, d, rowlength);
    const float jitter = config.jittercorr * 0.5f / static_cast<float>(config.longintegration);
    const float integrations = static_cast<float>(config.longintegration);

    for (std::int32_t s = 0; s < visible; ++s) {
        const auto si = static_cast<std::size_t>(s);
        const float g = stationscale(table.stations[si], config);
        const float residual = si < rows.longresidual.size() ? rows.longresidual[si] : 0.0f;
        const Filter filter{config.hipass != 0 || config.jittercorr != 0, -config.hipass - jitter * residual,
                            -config.hipass + jitter * residual, config};
        for (std::int32_t j = 0; j < d; ++j) {
            const std::size_t k = si * static_cast<std::size_t>(d) + static_cast<std::size_t>(j);
            const Complex32 sum = filteredsum(rows, k, j, d, filter);
            const float x = sum.x * g / integrations;
            const float y = sum.y * g / integrations;
            const float amplitude = std::sqrt(x * x + y * y);
            float v = levelof(amplitude, config);
            const bool level = std::isfinite(v);
            if (config.colour == 0) {
                if (v > 1) v = 1;
                image.rowbuffer[k] = level ? tobyte(v * bytescale) : 0;
                continue;
            }
            if (amplitude > 0 && std::isfinite(amplitude)) {
                image.phasecos = x / amplitude;
                image.phasesin = y / amplitude;
            }
            colourpixel(image, k, v, level, config);
        }
    }
}

bool appendline(WaterfallImage& image, const WaterfallConfig& config, const StationTable& table,
                const LongIntegration& rows, std::int32_t utchour, Platform& platform) {
    // The header counts 32-bit sizes: a line that would not fit ends the run
    // before anything of it is drawn or written.
    if (static_cast<std::int64_t>(image.imagefilesize) + linebytes(image) > std::numeric_limits<std::int32_t>::max() ||
        image.imageheight == std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(fileioerror, "waterfall bitmap " + quoted(config.bmp) +
                                            " is full: another line would take it past 2147483647 bytes");

    drawline(image, config, table, rows);

    image.hourchanged = 0;
    if (utchour != image.lasthour) {
        image.hourchanged = 1;
        image.lasthour = utchour;
        const std::int32_t d = std::max<std::int32_t>(config.displaysamples, 1);
        const std::int32_t visible = drawnstations(image, table, d, static_cast<std::size_t>(image.imagewidth));
        const std::int32_t marked = utchour == 0 && d >= 2 ? 2 : 1;
        for (std::int32_t s = 0; s < visible; ++s) {
            const auto first = static_cast<std::size_t>(s) * static_cast<std::size_t>(d) *
                               static_cast<std::size_t>(image.bytesperpixel);
            std::fill_n(image.rowbuffer.begin() + static_cast<std::ptrdiff_t>(first),
                        marked * image.bytesperpixel, std::uint8_t{255});
        }
    }

    image.imagefilesize += linebytes(image);
    image.imageheight += 1;
    writeline(image, config, platform);
    runimagecommand(image, config, platform);
    return image.hourchanged != 0;
}

}  // namespace corvane
