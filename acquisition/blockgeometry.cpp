#include "acquisition/blockgeometry.h"

#include <cmath>

#include "acquisition/samplereader.h"

namespace corvane {

BlockGeometry computeblockgeometry(const InputConfig& config) {
    BlockGeometry g;
    double overlap = 256.0 * (std::trunc(config.displaysamples / 256.0) + 1.0);
    double blocklen = config.fileblocklen > 0
                          ? static_cast<double>(config.fileblocklen)
                          : 1024.0 * std::floor(config.sr / 5512.5 + 0.5);
    g.requestedblocklen = blocklen;
    g.fits = blocklen >= 1 && overlap >= 1 && overlap + blocklen <= 32767;
    if (g.fits) {
        g.overlap = static_cast<std::int32_t>(overlap);
        g.blocklen = static_cast<std::int32_t>(blocklen);
        g.blockbytes = config.samplebytes * g.blocklen * config.channels;
    }
    return g;
}

}  // namespace corvane
