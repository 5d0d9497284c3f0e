#include "core/numberformat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvane {
namespace {

TEST(NumberFormat, Integers) {
    EXPECT_EQ(writeinteger(5), " 5 ");
    EXPECT_EQ(writeinteger(-5), "-5 ");
    EXPECT_EQ(integertext(5), " 5");
    EXPECT_EQ(integertext(0), " 0");
    EXPECT_EQ(integertext(-7499), "-7499");
}

TEST(NumberFormat, Reals) {
    EXPECT_EQ(real32text(1234.4f), " 1234.4");
    EXPECT_EQ(real32text(-0.5f), "-0.5");
    EXPECT_EQ(real32text(27.3f), " 27.3");
    EXPECT_EQ(real32text(100.0f), " 100");
    EXPECT_EQ(real32text(1.0e-7f), " 1e-07");
    EXPECT_EQ(real32text(12345678.0f), " 1.234568e+07");
    EXPECT_EQ(real32text(-0.0f), " 0");
    EXPECT_EQ(real64text(20), " 20");
    EXPECT_EQ(real64text(899.9876543), " 899.9876543");
}

TEST(NumberFormat, FixedPictures) {
    EXPECT_EQ(picture("###.##", {0.25}), "  0.25");
    EXPECT_EQ(picture("###.##", {-0.25}), " -0.25");
    EXPECT_EQ(picture("###.##", {12.345678}), " 12.35");
    EXPECT_EQ(picture("#####", {1234.5}), " 1234");   // half to even
    EXPECT_EQ(picture("#####", {1235.5}), " 1236");
    EXPECT_EQ(picture("##.##", {1000}), "%1000.00");
    EXPECT_EQ(picture("##.##", {-100}), "%-100.00");
    EXPECT_EQ(picture("#.##", {-0.5}), "-.50");      // no room for the leading zero
}

TEST(NumberFormat, LiteralTextAndSeveralFields) {
    EXPECT_EQ(picture(" max##### edge##.## ", {123, 5.126}), " max  123 edge 5.13 ");
    EXPECT_EQ(picture("SR #####.####Hz ", {22050.123456}), "SR 22050.1235Hz ");
    EXPECT_EQ(picture(" PC###.##s", {-0.25}), " PC -0.25s");
    EXPECT_EQ(picture("a#b", {}), "a0b");  // missing values count as 0
}

TEST(NumberFormat, ExponentPictures) {
    EXPECT_EQ(picture("+#.#^^^^", {1.234e-7}), "+1.2E-07");
    EXPECT_EQ(picture("+#.#^^^^", {-9.96e-9}), "-1.0E-08");
    EXPECT_EQ(picture("+#.#^^^^", {0}), "+0.0E+00");
    EXPECT_EQ(picture("LO +#.#^^^^######.##us", {2.5e-11, -3.125}), "LO +2.5E-11    -3.12us");
    EXPECT_EQ(picture("+#.#^^^^", {1e-120}), "%+1.0E-120");
}

TEST(NumberFormat, ReadsDecimalNumbers) {
    EXPECT_DOUBLE_EQ(readnumber("200+"), 200);
    EXPECT_DOUBLE_EQ(readnumber("9940m"), 9940);
    EXPECT_DOUBLE_EQ(readnumber("-1.5e3x"), -1500);
    EXPECT_DOUBLE_EQ(readnumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(readnumber("1e"), 1);
    EXPECT_DOUBLE_EQ(readnumber("abc"), 0);
    EXPECT_DOUBLE_EQ(readnumber("nan"), 0);
    EXPECT_DOUBLE_EQ(readnumber("inf"), 0);
    EXPECT_DOUBLE_EQ(readnumber("0x1p3"), 0);
    EXPECT_DOUBLE_EQ(readnumber("-"), 0);
    EXPECT_TRUE(std::isfinite(readnumber("1e999")));
}

}  // namespace
}  // namespace corvane
