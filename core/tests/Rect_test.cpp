#include "core/Rect.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Rect, NegativeSizesAreStandardized) {
    const Rect r(10, 20, -4, -6);
    EXPECT_EQ(r, Rect(6, 14, 4, 6));
    EXPECT_EQ(r.maxX(), 10);
    EXPECT_EQ(r.maxY(), 20);
}

TEST(Rect, EdgesAreHalfOpenAndEmptyAreasMeetNothing) {
    const Rect r(0, 0, 10, 10);
    EXPECT_TRUE(r.intersection(Rect(20, 20, 5, 5)).isNull());
    EXPECT_EQ(r.intersection(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));
    EXPECT_FALSE(r.intersects(Rect(10, 0, 10, 10)));
    EXPECT_FALSE(Rect(0, 0, 0, 10).intersects(r));
    EXPECT_TRUE(r.contains(Point{0, 0}));
    EXPECT_FALSE(r.contains(Point{10, 5}));
    EXPECT_TRUE(r.contains(Rect(0, 0, 10, 10)));
    EXPECT_FALSE(r.contains(Rect(-1, 0, 10, 10)));
    EXPECT_EQ(r.insetBy(-2, -2), Rect(-2, -2, 14, 14));
    EXPECT_TRUE(r.insetBy(6, 0).isNull());
    EXPECT_EQ(Rect::null().unionWith(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
    EXPECT_EQ(Rect(0, 0, 1, 1).unionWith(Rect(5, 5, 1, 1)), Rect(0, 0, 6, 6));
}

TEST(Rect, NonFiniteValuesNeverIntersectOrContain) {
    const Rect nan(kNaN, 0, 10, 10);
    const Rect r(0, 0, 100, 100);
    EXPECT_FALSE(nan.isFinite());
    EXPECT_FALSE(nan.intersects(r));
    EXPECT_FALSE(r.intersects(nan));
    EXPECT_FALSE(r.contains(nan));
    EXPECT_FALSE(Rect(0, 0, kNaN, 10).intersects(r));
    EXPECT_TRUE(Rect(0, 0, kNaN, 10).insetBy(1, 1).isNull());
    EXPECT_FALSE(Rect(-kInf, -kInf, kInf, kInf).intersects(r));
}

}  // namespace
}  // namespace ovra
