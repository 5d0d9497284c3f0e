#include "stations/geodesy.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace corvane {

namespace {

// WGS84 ellipsoid.
constexpr long double semimajor = 6378137.0L;                  // a, m
constexpr long double flattening = 0.0033528106647474805L;     // f = 1 / 298.257223563
constexpr long double semiminor = (1.0L - flattening) * semimajor;  // b, m
constexpr long double pi = 3.1415926535897931L;

// Convergence threshold of the longitude iteration: the real32 constant 1e-12.
constexpr long double threshold = static_cast<double>(1e-12f);
constexpr std::int16_t passlimit = 20;

}  // namespace

double geodesicdistance(GeoPoint receiver, GeoPoint station) {
    if (!std::isfinite(receiver.lat) || !std::isfinite(receiver.lon) || !std::isfinite(station.lat) ||
        !std::isfinite(station.lon))
        return 0;
    const long double f = flattening;
    const long double L = (static_cast<long double>(station.lon) - receiver.lon) * pi / 180;
    const long double U1 = std::atan((1 - f) * std::tan(receiver.lat * pi / 180));
    const long double U2 = std::atan((1 - f) * std::tan(station.lat * pi / 180));
    const long double sinU1 = std::sin(U1), cosU1 = std::cos(U1);
    const long double sinU2 = std::sin(U2), cosU2 = std::cos(U2);

    long double lambda = L, previous = 2 * pi;
    std::int16_t passesleft = passlimit;
    long double sinsigma = 0, cossigma = 0, sigma = 0, cos2alpha = 0, cos2sigmam = 0;
    do {
        passesleft = static_cast<std::int16_t>(passesleft - 1);
        const long double sinlambda = std::sin(lambda), coslambda = std::cos(lambda);
        const long double p = cosU2 * sinlambda;
        const long double q = cosU1 * sinU2 - sinU1 * cosU2 * coslambda;
        sinsigma = std::sqrt(p * p + q * q);
        if (sinsigma == 0) return 0;  // coincident points
        cossigma = sinU1 * sinU2 + cosU1 * cosU2 * coslambda;
        sigma = std::atan2(sinsigma, cossigma);
        const long double sinalpha = cosU1 * cosU2 * sinlambda / sinsigma;
        cos2alpha = 1 - sinalpha * sinalpha;
        cos2sigmam = cos2alpha != 0 ? cossigma - 2 * sinU1 * sinU2 / cos2alpha : 0;  // 0: both on the equator
        const long double C = f / 16 * cos2alpha * (4 + f * (4 - 3 * cos2alpha));
        previous = lambda;
        lambda = L + (1 - C) * f * sinalpha *
                         (sigma + C * sinsigma * (cos2sigmam + C * cossigma * (-1 + 2 * cos2sigmam * cos2sigmam)));
    } while (std::fabs(lambda - previous) > threshold && passesleft > 0);
    // Without convergence the values of the last pass stand.

    const long double a2 = semimajor * semimajor, b2 = semiminor * semiminor;
    const long double u2 = cos2alpha * (a2 / b2 - 1);
    const long double A = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
    const long double B = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
    const long double deltasigma =
        B * sinsigma *
        (cos2sigmam + B / 4 *
                          (cossigma * (-1 + 2 * cos2sigmam * cos2sigmam) -
                           B / 6 * cos2sigmam * (-3 + 4 * sinsigma * sinsigma) * (-3 + 4 * cos2sigmam * cos2sigmam)));
    const long double s = semiminor * A * (sigma - deltasigma);
    const double km = static_cast<double>(s / 1000);
    return std::isfinite(km) ? km : 0;
}

double longpathdistance(GeoPoint receiver, GeoPoint station) {
    const double shortpath = geodesicdistance(receiver, station);
    const GeoPoint antipode{-station.lat, station.lon + 180};
    return 2 * geodesicdistance(receiver, antipode) + shortpath;
}

float propagationspeed(float asf) {
    // The speed of light in vacuum divided by 1.0009 (as a real32), then by asf.
    constexpr double groundspeed = 299522878.3830014;
    if (asf == 0 || !std::isfinite(asf)) return std::numeric_limits<float>::max();
    const double speed = groundspeed / asf;
    constexpr double big = std::numeric_limits<float>::max();
    return static_cast<float>(speed > big ? big : speed < -big ? -big : speed);
}

long double propagationtime(double distancekm, float speed) {
    if (speed == 0) return 0;
    return 1000.0L * distancekm / speed;
}

}  // namespace corvane
