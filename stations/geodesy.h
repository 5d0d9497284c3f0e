// Distances on the WGS84 ellipsoid (Vincenty's inverse formula) and
// propagation times. Positions in degrees, north and east positive.
#pragma once

namespace corvane {

struct GeoPoint {
    double lat = 0;  // degrees
    double lon = 0;  // degrees
};

// Short-path distance, km. Always finite: the last pass stands when the
// iteration does not converge, and a non-finite position gives 0.
double geodesicdistance(GeoPoint receiver, GeoPoint station);
// Long path round the other side of the earth, km.
double longpathdistance(GeoPoint receiver, GeoPoint station);
// m/s for the additional secondary factor `asf`: 299522878.3830014 / asf.
// An asf of 0 (or not finite) gives the largest real32, i.e. no delay.
float propagationspeed(float asf);
// s for a distance in km at the given speed (m/s), in extended precision;
// 0 for a speed of 0.
long double propagationtime(double distancekm, float speed);

}  // namespace corvane
