// Distances on the WGS84 ellipsoid (Vincenty's inverse formula) and
// propagation times. Positions in degrees, north and east positive.
#pragma once

namespace corvane {

struct GeoPoint {
    double lat = 0;  // degrees
    double lon = 0;  // degrees
};

// Short-path distance, km. Always finite.
double geodesicdistance(GeoPoint receiver, GeoPoint station);
// Long path round the other side of the earth, km.
double longpathdistance(GeoPoint receiver, GeoPoint station);
// m/s for the additional secondary factor `asf`.
float propagationspeed(float asf);
// s for a distance in km, in extended precision.
long double propagationtime(double distancekm, float speed);

}  // namespace corvane
