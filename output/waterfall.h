// The waterfall bitmap: one line per long integration, every visible
// station's integrated pulse envelope side by side (D = `displaysamples`
// pixels each), brightness from the amplitude and, in colour mode, hue from
// the carrier phase.
//
// The file (`bmp`) is an uncompressed bottom-up BMP: 8-bit greyscale with a
// 256-entry grey palette, or 24-bit colour (blue, green, red). It is opened
// and closed for every line; each line is written before the header's size
// and height are raised to count it, so the file is a valid picture at every
// moment. A file deleted during the run is created again with its whole
// header and palette; the lines it lost read as black.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "stations/stationtable.h"

namespace corvane {

struct LongIntegration;

// One tap of the image filter: a complex factor.
struct FilterTap {
    float re = 0;
    float im = 0;
};

// What the waterfall reads of the settings.
struct WaterfallConfig {
    std::string bmp = "corvane.bmp";     // the bitmap file
    std::string bmpcmd;                  // command run after lines; empty: none
    std::int32_t bmpcmdcount = 1;        // every n lines; negative: every n hours
    std::int16_t bmperrorhandling = 0;   // 0: a failed write ends the run; 1 retry; 2 retry and print
    std::int32_t colour = 1;             // 0 greyscale; 1 colour, level compressed; 2 colour, linear
    float gamma = 1.0f;                  // power law of the level (dbrange 0)
    float dbrange = 0;                   // dB shown; 0: power law instead
    float fullscale = 200;               // amplitude (sample units) shown at full level
    std::int16_t fullscalefixed = 0;     // 1: levels above 0.75 grow by 1/256 per dB
    float normalizedistance = 0;         // km; not 0: brighten farther stations
    float normalizepower = 0;            // kW; not 0: brighten weaker stations
    float hipass = 0.1f;                 // three-tap high-pass weight
    float jittercorr = 1.0f;             // share of the sub-sample window offset corrected
    std::int32_t firbegin = 0;           // positions before j where the taps begin
    std::vector<FilterTap> taps;         // at most 20
    std::int32_t displaysamples = 24;    // D, pixels per station, >= 1
    std::int32_t longintegration = 10;   // short integrations per line
};

struct WaterfallImage {
    std::int32_t bytesperpixel = 1;     // 1 greyscale, 3 colour
    std::int32_t palettebytes = 1024;   // 1024 greyscale, 0 colour
    std::int32_t imagewidth = 0;        // pixels: D x visible stations, rounded up to a multiple of 4
    std::int32_t imageheight = 0;       // lines written so far
    std::int32_t imagefilesize = 0;     // bytes: header + palette + lines
    std::vector<std::uint8_t> rowbuffer;  // one line, imagewidth x bytesperpixel bytes
    std::int32_t lasthour = 0;          // UTC hour of the previous line
    std::int16_t hourchanged = 0;       // flag: this line started a new hour
    std::int32_t commandcountdown = 0;  // lines until `bmpcmd` runs again
    float phasecos = 0;                 // carrier phase of the latest pixel with signal
    float phasesin = 0;
};

// Offset of the pixel data: 54 header bytes, then the palette.
inline std::int32_t pixeloffset(const WaterfallImage& image) { return 54 + image.palettebytes; }

// Sets up the image for the visible stations and creates (or empties) the
// file with its header and palette. A failure throws RuntimeError 3 naming
// the file.
void createimage(WaterfallImage& image, const WaterfallConfig& config, const StationTable& table);

// The header and palette bytes for the image's current size and height.
std::vector<std::uint8_t> bitmapheader(const WaterfallImage& image);

// Turns the long-integration rows into the pixels of rowbuffer.
void drawline(WaterfallImage& image, const WaterfallConfig& config, const StationTable& table,
              const LongIntegration& rows);

// One waterfall line: drawline and the hour mark for UTC hour utchour; then
// the line is appended to the file (retried every 200 ms while
// `bmperrorhandling` is set, "q" then throws QuitRequested) and `bmpcmd` runs
// when due. Returns whether the line started a new hour. A failure without
// retry, or a line that would take the file past 2^31 - 1 bytes, throws
// RuntimeError 3.
bool appendline(WaterfallImage& image, const WaterfallConfig& config, const StationTable& table,
                const LongIntegration& rows, std::int32_t utchour, Platform& platform);

}  // namespace corvane
