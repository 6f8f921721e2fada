#include "app/overlay/Pinholes.h"

#include <algorithm>
#include <cmath>

namespace ovra::pinholes {

namespace {

// How far inside a window's corners its holes lie.
constexpr int kCornerInset = 8;

}  // namespace

std::vector<x11::ShapeRect> shapeWithHoles(int width, int height, std::vector<Pixel> holes) {
    std::erase_if(
        holes, [&](const Pixel& p) { return p.x < 0 || p.y < 0 || p.x >= width || p.y >= height; });
    std::sort(holes.begin(), holes.end(),
              [](const Pixel& a, const Pixel& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    holes.erase(std::unique(holes.begin(), holes.end()), holes.end());
    std::vector<x11::ShapeRect> out;
    const auto rect = [&](int x, int y, int w, int h) {
        if (w > 0 && h > 0) {
            out.push_back({x, y, w, h});
        }
    };
    int top = 0;
    for (std::size_t i = 0; i < holes.size();) {
        const int y = holes[i].y;
        rect(0, top, width, y - top);
        int left = 0;
        for (; i < holes.size() && holes[i].y == y; ++i) {
            rect(left, y, holes[i].x - left, 1);
            left = holes[i].x + 1;
        }
        rect(left, y, width - left, 1);
        top = y + 1;
    }
    rect(0, top, width, height - top);
    return out;
}

std::vector<x11::ShapeRect> holesInside(int width, int height, const std::vector<Pixel>& holes) {
    std::vector<x11::ShapeRect> out;
    for (const Pixel& p : holes) {
        const bool inside = p.x >= 0 && p.y >= 0 && p.x < width && p.y < height;
        const bool twice = std::any_of(out.begin(), out.end(), [&](const x11::ShapeRect& r) {
            return r.x == p.x && r.y == p.y;
        });
        if (inside && !twice) {
            out.push_back({p.x, p.y, 1, 1});
        }
    }
    return out;
}

std::vector<x11::ShapeRect> grid(int width, int height, int spacing) {
    std::vector<Pixel> holes;
    for (int y = spacing / 2; spacing > 0 && y < height; y += spacing) {
        for (int x = spacing / 2; x < width; x += spacing) {
            holes.push_back({x, y});
        }
    }
    return shapeWithHoles(width, height, std::move(holes));
}

std::vector<Pixel> nearCorners(const Rect& window) {
    if (!window.isFinite() || !(window.width() >= 1) || !(window.height() >= 1) ||
        std::abs(window.minX()) > 1e6 || std::abs(window.minY()) > 1e6 || window.width() > 1e6 ||
        window.height() > 1e6) {
        return {};
    }
    const int left = static_cast<int>(std::floor(window.minX()));
    const int top = static_cast<int>(std::floor(window.minY()));
    const int right = static_cast<int>(std::ceil(window.maxX())) - 1;
    const int bottom = static_cast<int>(std::ceil(window.maxY())) - 1;
    const int dx = std::min(kCornerInset, (right - left) / 2);
    const int dy = std::min(kCornerInset, (bottom - top) / 2);
    return {{left + dx, top + dy},
            {right - dx, top + dy},
            {left + dx, bottom - dy},
            {right - dx, bottom - dy}};
}

}  // namespace ovra::pinholes
