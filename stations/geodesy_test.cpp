#include "stations/geodesy.h"

#include <cmath>

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(Geodesy, ListedDistances) {
    EXPECT_NEAR(geodesicdistance({0, 0}, {0, 1}), 111.3195, 0.0001);
    EXPECT_NEAR(geodesicdistance({0, 0}, {1, 0}), 110.5744, 0.0001);
    EXPECT_NEAR(geodesicdistance({50, 0}, {50, 10}), 716.4230, 0.0001);
    EXPECT_NEAR(geodesicdistance({0, 0}, {0, 90}), 10018.7542, 0.0001);
    // Symmetric in its two points.
    EXPECT_NEAR(geodesicdistance({50, 10}, {50, 0}), 716.4230, 0.0001);
    // Southern and western coordinates.
    EXPECT_NEAR(geodesicdistance({-50, -10}, {-50, 0}), 716.4230, 0.0001);
}

TEST(Geodesy, LongPath) {
    EXPECT_NEAR(geodesicdistance({50, 0}, {-50, 190}), 19301.373, 0.001);
    EXPECT_NEAR(longpathdistance({50, 0}, {50, 10}), 39319.169, 0.001);
}

TEST(Geodesy, CoincidentPointsAndFullTurn) {
    EXPECT_EQ(geodesicdistance({54.5, -3.2}, {54.5, -3.2}), 0.0);
    EXPECT_EQ(geodesicdistance({0, 0}, {0, 0}), 0.0);
    // A longitude difference of +360 degrees is no difference at all.
    EXPECT_NEAR(geodesicdistance({0, 0}, {1, 360}), geodesicdistance({0, 0}, {1, 0}), 1e-9);
    EXPECT_NEAR(geodesicdistance({50, 0}, {50, 360}), 0.0, 1e-9);
    EXPECT_NEAR(geodesicdistance({50, 0}, {52, 370}), geodesicdistance({50, 0}, {52, 10}), 1e-9);
}

TEST(Geodesy, NearlyAntipodalPointsStayFinite) {
    // Vincenty's iteration does not converge for these pairs; the last pass
    // still gives a finite distance of about half the circumference.
    for (double dlon : {179.5, 179.7, 179.9, 180.0}) {
        double d = geodesicdistance({0, 0}, {0.5, dlon});
        EXPECT_TRUE(std::isfinite(d)) << dlon;
        EXPECT_GT(d, 19000) << dlon;
        EXPECT_LT(d, 20100) << dlon;
    }
    EXPECT_TRUE(std::isfinite(geodesicdistance({0, 0}, {0, 180})));
    EXPECT_TRUE(std::isfinite(longpathdistance({0, 0}, {0, 0})));
}

TEST(Geodesy, NonFinitePositionGivesZero) {
    EXPECT_EQ(geodesicdistance({NAN, 0}, {1, 1}), 0.0);
    EXPECT_EQ(geodesicdistance({0, 0}, {1, INFINITY}), 0.0);
    EXPECT_TRUE(std::isfinite(geodesicdistance({0, 0}, {1e300, 1e300})));
}

TEST(Geodesy, PropagationSpeedAndTime) {
    EXPECT_EQ(propagationspeed(1.0f), 299522878.3830014f);
    EXPECT_EQ(propagationspeed(1.008f), static_cast<float>(299522878.3830014 / 1.008f));
    EXPECT_NEAR(propagationspeed(1.008f), 297145712.68, 20);
    // About 3365.35 us per 1000 km with the default asf.
    EXPECT_NEAR(static_cast<double>(propagationtime(1000, propagationspeed(1.008f))), 3365.35e-6, 0.01e-6);
    // Linear in asf.
    long double t1 = propagationtime(500, propagationspeed(1.0f));
    long double t2 = propagationtime(500, propagationspeed(2.0f));
    EXPECT_NEAR(static_cast<double>(t2 / t1), 2.0, 1e-7);
    // No division by zero.
    EXPECT_EQ(propagationtime(500, 0), 0);
    EXPECT_NEAR(static_cast<double>(propagationtime(500, propagationspeed(0))), 0, 1e-30);
}

}  // namespace
}  // namespace corvane
