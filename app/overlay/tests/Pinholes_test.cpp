#include "app/overlay/Pinholes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace ovra::pinholes {
namespace {

// How many of the shape's rectangles cover each pixel, row by row ('.' none, '1' one, '2' more).
std::vector<std::string> coverage(int width, int height, const std::vector<x11::ShapeRect>& shape) {
    std::vector<std::string> rows(static_cast<std::size_t>(height),
                                  std::string(static_cast<std::size_t>(width), '.'));
    for (const auto& r : shape) {
        for (int y = r.y; y < r.y + r.height; ++y) {
            for (int x = r.x; x < r.x + r.width; ++x) {
                char& c = rows.at(static_cast<std::size_t>(y)).at(static_cast<std::size_t>(x));
                c = c == '.' ? '1' : '2';
            }
        }
    }
    return rows;
}

// Every pixel is covered once but the holes inside the shape; holes outside it or given twice
// change nothing. The holes alone, as rectangles, are the rest.
TEST(Pinholes, ShapeCoversEveryPixelOnceButTheHoles) {
    const std::vector<Pixel> holes{{3, 1}, {0, 1}, {5, 3}, {3, 1}, {9, 0}, {-1, 2}, {2, 7}};
    EXPECT_EQ(coverage(6, 4, shapeWithHoles(6, 4, holes)),
              (std::vector<std::string>{"111111", ".11.11", "111111", "11111."}));
    EXPECT_EQ(coverage(3, 2, shapeWithHoles(3, 2, {})), (std::vector<std::string>{"111", "111"}));
    // What takes the clicks there covers the holes alone, each once.
    EXPECT_EQ(coverage(6, 4, holesInside(6, 4, holes)),
              (std::vector<std::string>{"......", "1..1..", "......", ".....1"}));
    EXPECT_EQ(coverage(5, 5, grid(5, 5, 2)),
              (std::vector<std::string>{"11111", "1.1.1", "11111", "1.1.1", "11111"}));
}

// Near each corner of the window, inside it however small it is; none for a window that is no
// window.
TEST(Pinholes, NearTheCornersOfTheWindow) {
    EXPECT_EQ(nearCorners(Rect(100, 50, 400, 300)),
              (std::vector<Pixel>{{108, 58}, {491, 58}, {108, 341}, {491, 341}}));
    EXPECT_EQ(nearCorners(Rect(10, 10, 4, 2)),
              (std::vector<Pixel>{{11, 10}, {12, 10}, {11, 11}, {12, 11}}));
    EXPECT_TRUE(nearCorners(Rect(0, 0, 0, 10)).empty());
    EXPECT_TRUE(nearCorners(Rect(0, 0, std::nan(""), 10)).empty());
}

}  // namespace
}  // namespace ovra::pinholes
