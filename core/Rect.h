#pragma once

// Points, sizes and rectangles in points, with the semantics of the platform rectangles the
// accessibility API hands out: a rectangle may carry a negative size (its min/max values are
// standardized), a "null" rectangle stands for "no rectangle" (the result of intersecting two
// disjoint rectangles) and every operation stays defined for non-finite values.

#include <iosfwd>

namespace ovra {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double width, double height)
        : origin{x, y}, size{width, height} {}
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}

    // The null rectangle: infinite origin, zero size. Every query treats it as empty.
    static Rect null();

    double minX() const;
    double minY() const;
    double maxX() const;
    double maxY() const;
    double midX() const;
    double midY() const;
    double width() const;   // always >= 0 (or NaN)
    double height() const;  // always >= 0 (or NaN)
    Point center() const { return {midX(), midY()}; }

    bool isNull() const;
    // Null, or zero width or height.
    bool isEmpty() const;
    // Every coordinate finite.
    bool isFinite() const;

    Rect standardized() const;
    Rect insetBy(double dx, double dy) const;
    Rect intersection(const Rect& other) const;
    // Smallest rectangle holding both; a null rectangle contributes nothing.
    Rect unionWith(const Rect& other) const;
    Rect offsetBy(double dx, double dy) const;

    bool intersects(const Rect& other) const;
    bool contains(Point p) const;
    bool contains(const Rect& other) const;

    // Equal after standardizing; two null rectangles are equal.
    bool equals(const Rect& other) const;
    friend bool operator==(const Rect& a, const Rect& b) { return a.equals(b); }
};

// Two windows lie in the same place (two copies of a dialog, one over the other) when their
// frames' top-left corners and sizes differ by at most kSamePlaceSlack each way. The one rule
// for the window manager's frames and for those an app gives on the accessibility bus.
inline constexpr double kSamePlaceSlack = 8;
bool liesInSamePlace(const Rect& a, const Rect& b);

std::ostream& operator<<(std::ostream& os, const Point& p);
std::ostream& operator<<(std::ostream& os, const Rect& r);

}  // namespace ovra
