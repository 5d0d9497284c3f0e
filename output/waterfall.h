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
#include <functional>
#include <vector>

#include "app/settings.h"
#include "platform/platform.h"
#include "stations/chaintiming.h"
#include "stations/stationtable.h"

namespace corvane {

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
void createimage(WaterfallImage& image, const Settings& settings, const StationTable& table);

// The header and palette bytes for the image's current size and height.
std::vector<std::uint8_t> bitmapheader(const WaterfallImage& image);

// Turns the long-integration rows (N x D each; longresidual per station)
// into the pixels of rowbuffer. The auxiliary rows of the GRI 6000 and 7950
// chains are subtracted from longre and longim in place.
void drawline(WaterfallImage& image, const Settings& settings, const StationTable& table,
              const ChainTiming& timing, std::vector<float>& longre, std::vector<float>& longim,
              const std::vector<float>& longresidual);

// One waterfall line: drawline, the hour mark and, at the change to hour 0,
// dailysteps; then the line is appended to the file (retried every 200 ms
// while `bmperrorhandling` is set, "q" then throws QuitRequested) and `bmpcmd`
// runs when due. A failure without retry, or a line that would take the file
// past 2^31 - 1 bytes, throws RuntimeError 3.
void appendline(WaterfallImage& image, const Settings& settings, StationTable& table,
                const ChainTiming& timing, std::vector<float>& longre, std::vector<float>& longim,
                const std::vector<float>& longresidual, std::int32_t utchour, Platform& platform,
                const std::function<void()>& dailysteps);

// The same with the daily chain steps of the GRI 5990 and 6731 chains.
inline void appendline(WaterfallImage& image, const Settings& settings, StationTable& table,
                       const ChainTiming& timing, std::vector<float>& longre,
                       std::vector<float>& longim, const std::vector<float>& longresidual,
                       std::int32_t utchour, Platform& platform) {
    appendline(image, settings, table, timing, longre, longim, longresidual, utchour, platform,
               [&] { applydailysteps(table, settings); });
}

}  // namespace corvane
