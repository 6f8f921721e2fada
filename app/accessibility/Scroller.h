#pragma once

// Scrolls the page of another app's front window by a page or a third of a page while the
// overlay stays on screen: through the scroll area's vertical scroll bar when its value can be
// set, else with wheel turns over the middle of the scrolled area, the pointer put back after.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "app/accessibility/ScrollTarget.h"
#include "core/FindAndScroll.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"
#include "platform/input/InputSynthesizer.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class Scroller final {
  public:
    enum class Method { scrollBar, wheel, dryRun };

    struct Options {
        // How far one wheel notch scrolls a page, in the app's own pixels. Each app decides;
        // Chromium scrolls 120 of its pixels, and web content is where the wheel is needed (it
        // has no scroll bar to set). An app drawn at 150 % so scrolls 180 screen pixels a notch.
        double pixelsPerNotch = 120;
        double putBackDelay = 0.05;
    };

    Scroller(ax::AccessibilityBackend& backend, input::InputSynthesizer& input, Scheduler& later,
             std::function<bool()> magnifierOn, std::ostream& trace);
    Scroller(ax::AccessibilityBackend& backend, input::InputSynthesizer& input, Scheduler& later,
             std::function<bool()> magnifierOn, std::ostream& trace, Options options);
    ~Scroller();
    Scroller(const Scroller&) = delete;
    Scroller& operator=(const Scroller&) = delete;

    // When on, scroll prints one trace line and does nothing else.
    bool dryRun = false;

    // Scrolls `target` (else the area `fallback`) by `count` steps at once (keys that came
    // while an earlier scroll ran). Wheel turns go only to `window`, the target's top-level
    // window: when pointer input at the area's middle would reach another window, or the window
    // is unknown, nothing is posted. Absent when nothing could be scrolled. The dry run prints
    // one line per step.
    std::optional<Method> scroll(ScrollDirection direction, ScrollStep step,
                                 const std::optional<ScrollTarget>& target, const Rect& fallback,
                                 std::optional<input::WindowId> window, int count = 1);

    // The pointer position a pending put-back will restore.
    std::optional<Point> home() const { return home_; }

  private:
    bool scrollBar(const ScrollTarget& target, double amount);
    std::optional<double> value(const ax::Element& element);
    // Whole notches for `count` steps of `amount` screen pixels over a view `view` tall, in
    // an app drawn at `scale`.
    int notches(double amount, double view, int count, double scale) const;
    bool wheel(Point at, bool down, int notches, std::optional<input::WindowId> window);

    ax::AccessibilityBackend& backend_;
    input::InputSynthesizer& input_;
    Scheduler& later_;
    std::function<bool()> magnifierOn_;
    std::ostream& trace_;
    Options options_;
    std::optional<Point> home_;
    std::optional<Scheduler::Token> putBack_;
};

// The name the controller's log gives a method: "scroll bar", "scroll wheel", "dry run".
std::string_view logName(Scroller::Method method);

}  // namespace ovra
