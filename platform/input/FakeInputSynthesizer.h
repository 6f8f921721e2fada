#pragma once

// A recording stand-in for synthetic input: every call lands in a log, the pointer is a plain
// value, and windows are rectangles stacked front to back.

#include <string>
#include <utility>
#include <vector>

#include "platform/input/InputSynthesizer.h"

namespace ovra::input {

class FakeInputSynthesizer final : public InputSynthesizer {
  public:
    struct Window {
        WindowId id = 0;
        Rect frame;
    };

    // Log lines: "move 10,20", "click 10,20", "press 10,20", "wheel 10,20 down 3", "activate 7",
    // "keys 37+38" (X keycodes of a chord); failed calls end in " failed".
    const std::vector<std::string>& log() const { return log_; }
    void clearLog() { log_.clear(); }

    // Absent: the pointer position cannot be read.
    void setPointer(std::optional<Point> location) { pointer_ = location; }
    std::optional<Point> pointer() const { return pointer_; }
    // Every later call of these kinds fails.
    void setFailing(bool failing) { failing_ = failing; }
    // Front to back. With no windows, every point counts as over every window.
    void setWindows(std::vector<Window> frontToBack) { windows_ = std::move(frontToBack); }

    std::optional<Point> pointerLocation() override { return pointer_; }
    bool movePointer(Point to) override;
    bool click(Point at) override;
    bool pressAt(Point at) override;
    bool wheel(Point at, WheelDirection direction, int notches) override;
    bool activateWindow(WindowId window) override;
    bool typeChord(const std::vector<KeyCode>& keys) override;
    bool isWindowAt(WindowId window, Point point) override;

  private:
    bool record(std::string line, bool ok);

    std::optional<Point> pointer_ = Point{0, 0};
    bool failing_ = false;
    std::vector<Window> windows_;
    std::vector<std::string> log_;
};

// "12,34" with whole numbers printed without a fraction.
std::string describe(Point point);

}  // namespace ovra::input
