#include "core/Rect.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

namespace ovra {

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool hasNaN(const Rect& r) {
    return std::isnan(r.origin.x) || std::isnan(r.origin.y) || std::isnan(r.size.width) ||
           std::isnan(r.size.height);
}
}  // namespace

Rect Rect::null() {
    return Rect(kInfinity, kInfinity, 0, 0);
}

bool Rect::isNull() const {
    return std::isinf(origin.x) && origin.x > 0 && std::isinf(origin.y) && origin.y > 0;
}

double Rect::minX() const {
    return size.width < 0 ? origin.x + size.width : origin.x;
}
double Rect::minY() const {
    return size.height < 0 ? origin.y + size.height : origin.y;
}
double Rect::maxX() const {
    return size.width < 0 ? origin.x : origin.x + size.width;
}
double Rect::maxY() const {
    return size.height < 0 ? origin.y : origin.y + size.height;
}
double Rect::midX() const {
    return origin.x + size.width / 2;
}
double Rect::midY() const {
    return origin.y + size.height / 2;
}
double Rect::width() const {
    return std::fabs(size.width);
}
double Rect::height() const {
    return std::fabs(size.height);
}

bool Rect::isEmpty() const {
    return isNull() || size.width == 0 || size.height == 0 || std::isnan(size.width) ||
           std::isnan(size.height);
}

bool Rect::isFinite() const {
    return std::isfinite(origin.x) && std::isfinite(origin.y) && std::isfinite(size.width) &&
           std::isfinite(size.height);
}

Rect Rect::standardized() const {
    if (isNull())
        return *this;
    return Rect(minX(), minY(), width(), height());
}

Rect Rect::insetBy(double dx, double dy) const {
    if (isNull())
        return *this;
    Rect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    // NaN compares false, so a NaN size also ends up null.
    if (!(r.size.width >= 0) || !(r.size.height >= 0))
        return null();
    return r;
}

Rect Rect::offsetBy(double dx, double dy) const {
    if (isNull())
        return *this;
    Rect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

Rect Rect::intersection(const Rect& other) const {
    if (isNull() || other.isNull() || hasNaN(*this) || hasNaN(other))
        return null();
    const double x0 = std::max(minX(), other.minX());
    const double y0 = std::max(minY(), other.minY());
    const double x1 = std::min(maxX(), other.maxX());
    const double y1 = std::min(maxY(), other.maxY());
    // Touching edges still intersect (with zero size); NaN never does.
    if (!(x1 >= x0) || !(y1 >= y0))
        return null();
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::unionWith(const Rect& other) const {
    if (isNull())
        return other.standardized();
    if (other.isNull())
        return standardized();
    const double x0 = std::min(minX(), other.minX());
    const double y0 = std::min(minY(), other.minY());
    const double x1 = std::max(maxX(), other.maxX());
    const double y1 = std::max(maxY(), other.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

bool Rect::intersects(const Rect& other) const {
    if (isEmpty() || other.isEmpty())
        return false;
    const Rect r = intersection(other);
    return !r.isNull() && r.size.width > 0 && r.size.height > 0;
}

bool Rect::contains(Point p) const {
    if (isEmpty())
        return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const {
    if (isNull() || other.isNull() || hasNaN(*this) || hasNaN(other))
        return false;
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
           other.maxY() <= maxY();
}

bool liesInSamePlace(const Rect& a, const Rect& b) {
    return std::abs(a.minX() - b.minX()) <= kSamePlaceSlack &&
           std::abs(a.minY() - b.minY()) <= kSamePlaceSlack &&
           std::abs(a.width() - b.width()) <= kSamePlaceSlack &&
           std::abs(a.height() - b.height()) <= kSamePlaceSlack;
}

bool Rect::equals(const Rect& other) const {
    if (isNull() || other.isNull())
        return isNull() && other.isNull();
    const Rect a = standardized();
    const Rect b = other.standardized();
    return a.origin == b.origin && a.size == b.size;
}

std::ostream& operator<<(std::ostream& os, const Point& p) {
    return os << "(" << p.x << ", " << p.y << ")";
}

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    if (r.isNull())
        return os << "Rect::null";
    return os << "{" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << " x "
              << r.size.height << "}";
}

}  // namespace ovra
