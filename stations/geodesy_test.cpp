#include "stations/geodesy.h"

#include <cmath>

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(Geodesy, Distances) {
    EXPECT_NEAR(geodesicdistance({0, 0}, {0, 1}), 111.3195, 0.0001);
    EXPECT_NEAR(geodesicdistance({0, 0}, {1, 0}), 110.5744, 0.0001);
    EXPECT_NEAR(geodesicdistance({50, 0}, {50, 10}), 716.4230, 0.0001);
    EXPECT_NEAR(geodesicdistance({-50, -10}, {-50, 0}), 716.4230, 0.0001);
    EXPECT_NEAR(geodesicdistance({0, 0}, {0, 90}), 10018.7542, 0.0001);
    EXPECT_NEAR(geodesicdistance({50, 0}, {-50, 190}), 19301.373, 0.001);
    EXPECT_NEAR(longpathdistance({50, 0}, {50, 10}), 39319.169, 0.001);
}

TEST(Geodesy, DegenerateCases) {
    EXPECT_EQ(geodesicdistance({54.5, -3.2}, {54.5, -3.2}), 0.0);
    // A longitude difference of +360 degrees is no difference.
    EXPECT_NEAR(geodesicdistance({0, 0}, {1, 360}), geodesicdistance({0, 0}, {1, 0}), 1e-9);
    EXPECT_NEAR(geodesicdistance({50, 0}, {52, 370}), geodesicdistance({50, 0}, {52, 10}), 1e-9);
    // Nearly antipodal pairs that do not converge still give a finite
    // distance of about half the circumference from the last pass.
    for (double lon : {179.5, 179.7, 179.9, 180.0}) {
        double d = geodesicdistance({0, 0}, {0.5, lon});
        EXPECT_TRUE(d > 19000 && d < 20100) << lon << ": " << d;
    }
    EXPECT_EQ(geodesicdistance({NAN, 0}, {1, 1}), 0.0);
    EXPECT_TRUE(std::isfinite(geodesicdistance({0, 0}, {1e300, 1e300})));
}

TEST(Geodesy, Propagation) {
    EXPECT_EQ(propagationspeed(1.0f), 299522878.3830014f);
    EXPECT_NEAR(propagationspeed(1.008f), 297145712.68, 20);
    // About 3365.35 us per 1000 km with the default asf, linear in asf.
    EXPECT_NEAR(static_cast<double>(propagationtime(1000, propagationspeed(1.008f))), 3365.35e-6, 0.01e-6);
    EXPECT_NEAR(static_cast<double>(propagationtime(500, propagationspeed(2.0f)) /
                                    propagationtime(500, propagationspeed(1.0f))),
                2.0, 1e-7);
    EXPECT_EQ(propagationtime(500, 0), 0);
    EXPECT_LT(static_cast<double>(propagationtime(500, propagationspeed(0))), 1e-30);
}

}  // namespace
}  // namespace corvane
