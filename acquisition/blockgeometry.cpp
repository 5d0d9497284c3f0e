#include "acquisition/blockgeometry.h"

#include <cmath>

#include "app/settings.h"

namespace corvane {

BlockGeometry computeblockgeometry(const Settings& settings) {
    BlockGeometry g;
    double overlap = 256.0 * (std::trunc(settings.displaysamples / 256.0) + 1.0);
    double blocklen = settings.fileblocklen > 0
                          ? static_cast<double>(settings.fileblocklen)
                          : 1024.0 * std::floor(settings.sr / 5512.5 + 0.5);
    g.requestedblocklen = blocklen;
    g.fits = blocklen >= 1 && overlap >= 1 && overlap + blocklen <= 32767;
    if (g.fits) {
        g.overlap = static_cast<std::int32_t>(overlap);
        g.blocklen = static_cast<std::int32_t>(blocklen);
        g.blockbytes = settings.samplebytes * g.blocklen * settings.channels;
    }
    return g;
}

}  // namespace corvane
