#pragma once

// What the toolkit's hit tests answered about a window's controls, kept between readings while
// the app tells of no change in it: a browser's answer costs tens of milliseconds a point, and a
// page read again unchanged (the hotkey pressed twice, a plan looked at again) paints the same.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

class HitMemory {
  public:
    struct Answer {
        bool seen = true;
        std::string cover;  // the key of the element on top, when it is not the control's own
    };

    // At the start of a reading of `window`, at `now` (a time of the backend's changes): keeps
    // the answers only when they were given about this window and the app told of no change in
    // it since (its focus and activation come and go with the overlay, and change nothing
    // painted); an app whose changes are not heard keeps none.
    void begin(ax::AccessibilityBackend& backend, const ax::Element& window, double now);
    // The answer kept about control `control` (an element's key) at `at`.
    std::optional<Answer> find(const std::string& control, Point at) const;
    void keep(const std::string& control, Point at, Answer answer);

  private:
    using Key = std::tuple<std::string, long, long>;
    static Key keyOf(const std::string& control, Point at);

    mutable std::mutex mutex_;
    std::string window_;
    double checkedAt_ = 0;
    std::map<Key, Answer> answers_;
};

}  // namespace ovra
