#include "platform/input/FakeInputSynthesizer.h"

#include <cstdio>

namespace ovra::input {

std::string describe(Point point) {
    char text[96];
    std::snprintf(text, sizeof text, "%g,%g", point.x, point.y);
    return text;
}

bool FakeInputSynthesizer::record(std::string line, bool ok) {
    if (!ok) {
        line += " failed";
    }
    log_.push_back(std::move(line));
    return ok;
}

bool FakeInputSynthesizer::movePointer(Point to) {
    const bool ok = !failing_ && toPixel(to).has_value();
    if (ok && pointer_) {
        pointer_ = to;
    }
    return record("move " + describe(to), ok);
}

bool FakeInputSynthesizer::click(Point at) {
    const bool ok = !failing_ && toPixel(at).has_value();
    if (ok && pointer_) {
        pointer_ = at;
    }
    return record("click " + describe(at), ok);
}

bool FakeInputSynthesizer::pressAt(Point at) {
    const auto here = pointer_ ? toPixel(*pointer_) : std::nullopt;
    return record("press " + describe(at), !failing_ && here && here == toPixel(at));
}

bool FakeInputSynthesizer::wheel(Point at, WheelDirection direction, int notches) {
    const bool ok = !failing_ && toPixel(at).has_value() && notches >= 1;
    if (ok && pointer_) {
        pointer_ = at;
    }
    return record("wheel " + describe(at) +
                      (direction == WheelDirection::down ? " down " : " up ") +
                      std::to_string(notches),
                  ok);
}

bool FakeInputSynthesizer::activateWindow(WindowId window) {
    return record("activate " + std::to_string(window), !failing_);
}

bool FakeInputSynthesizer::typeChord(const std::vector<KeyCode>& keys) {
    std::string line = "keys";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        line += (i == 0 ? " " : "+") + std::to_string(keys[i]);
    }
    return record(line, !failing_);
}

bool FakeInputSynthesizer::isWindowAt(WindowId window, Point point) {
    if (windows_.empty()) {
        return true;
    }
    for (const auto& w : windows_) {
        if (w.frame.contains(point)) {
            return w.id == window;
        }
    }
    return false;
}

}  // namespace ovra::input
