#include "app/accessibility/Scroller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "app/accessibility/PointerHome.h"

namespace ovra {
namespace {

// Values closer than this count as the same scroll position.
constexpr double kSameValue = 0.0001;
// A value read back within this of the one set counts as taken.
constexpr double kReadBackTolerance = 0.02;
// The most wheel notches one step posts.
constexpr double kMaxNotches = 200;
// The largest scale toolkits draw at.
constexpr double kMaxScale = 4;

std::string wholeNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

}  // namespace

std::string_view logName(Scroller::Method method) {
    switch (method) {
        case Scroller::Method::scrollBar:
            return "scroll bar";
        case Scroller::Method::wheel:
            return "scroll wheel";
        case Scroller::Method::dryRun:
            return "dry run";
    }
    return "dry run";
}

Scroller::Scroller(ax::AccessibilityBackend& backend, input::InputSynthesizer& input,
                   Scheduler& later, std::function<bool()> magnifierOn, std::ostream& trace)
    : Scroller(backend, input, later, std::move(magnifierOn), trace, Options{}) {}

Scroller::Scroller(ax::AccessibilityBackend& backend, input::InputSynthesizer& input,
                   Scheduler& later, std::function<bool()> magnifierOn, std::ostream& trace,
                   Options options)
    : backend_(backend),
      input_(input),
      later_(later),
      magnifierOn_(std::move(magnifierOn)),
      trace_(trace),
      options_(options) {}

Scroller::~Scroller() {
    if (putBack_) {
        later_.cancel(*putBack_);
    }
}

std::optional<Scroller::Method> Scroller::scroll(ScrollDirection direction, ScrollStep step,
                                                 const std::optional<ScrollTarget>& target,
                                                 const Rect& fallback,
                                                 std::optional<input::WindowId> window, int count) {
    const Rect area = target ? target->signals.visible : fallback;
    // Written so that NaN heights fail; an area from another app may hold anything.
    if (area.isNull() || !area.isFinite() || !(area.height() > 1) || count < 1) {
        return std::nullopt;
    }
    const double amount = points(step, area.height());
    if (dryRun) {
        for (int i = 0; i < count; ++i) {
            trace_ << "trace: scroll " << rawValue(direction) << " " << wholeNumber(amount)
                   << " pt of a " << wholeNumber(std::trunc(area.height())) << " pt view\n";
        }
        trace_ << std::flush;
        return Method::dryRun;
    }
    const double signedAmount = direction == ScrollDirection::down ? amount : -amount;
    if (target && scrollBar(*target, signedAmount * count)) {
        return Method::scrollBar;
    }
    // The app's notch is in its own pixels, the amount in the screen's.
    const double scale = target ? backend_.scaleOf(target->element) : 1;
    if (wheel(area.center(), direction == ScrollDirection::down,
              notches(amount, area.height(), count, scale), window)) {
        return Method::wheel;
    }
    return std::nullopt;
}

std::optional<double> Scroller::value(const ax::Element& element) {
    auto read = backend_.attribute(element, "AXValue");
    if (!read) {
        return std::nullopt;
    }
    const auto number = ax::asNumber(*read);
    if (!number || !std::isfinite(*number)) {
        return std::nullopt;
    }
    return number;
}

bool Scroller::scrollBar(const ScrollTarget& target, double amount) {
    if (!target.scrollBar || target.scrollBar->isNull() || !target.signals.document) {
        return false;
    }
    const double extent = target.signals.document->height() - target.signals.visible.height();
    if (!(extent > 1) || !std::isfinite(extent)) {
        return false;
    }
    const ax::Element& bar = *target.scrollBar;
    auto settable = backend_.isAttributeSettable(bar, "AXValue");
    if (!settable || !*settable) {
        return false;
    }
    const auto present = value(bar);
    if (!present) {
        return false;
    }
    const double next = std::clamp(*present + amount / extent, 0.0, 1.0);
    if (std::abs(next - *present) <= kSameValue) {
        return true;  // already at that end
    }
    if (backend_.setAttribute(bar, "AXValue", ax::Value(next))) {
        return false;
    }
    const auto readBack = value(bar);
    return readBack && std::abs(*readBack - next) < kReadBackTolerance;
}

int Scroller::notches(double amount, double view, int count, double scale) const {
    // Scales come from another app's frames: anything but what toolkits draw at counts as none.
    const double notch = options_.pixelsPerNotch * (scale >= 1 && scale <= kMaxScale ? scale : 1);
    double whole = std::round(amount / notch);
    // Rounded up, a step could go past the view's height and skip what lay just below it;
    // coarse notches (an app at 200 %, a short view) would.
    whole = std::min(whole, std::floor(view / notch));
    // Written so that NaN (from a nonsense notch size) takes the floor of one notch. Whole
    // notches per step: several steps at once go as far as one after the other.
    return static_cast<int>(std::min((whole >= 1 ? whole : 1) * count, kMaxNotches));
}

bool Scroller::wheel(Point at, bool down, int notches, std::optional<input::WindowId> window) {
    const std::optional<Point> restore = home_ ? home_ : input_.pointerLocation();
    // A wheel turn goes to whatever window is under the pointer: post only over the target's.
    const bool overTarget = window && input_.isWindowAt(*window, at);
    const bool posted =
        overTarget &&
        input_.wheel(at, down ? input::WheelDirection::down : input::WheelDirection::up, notches);
    if (posted && restore && putsPointerBack(magnifierOn_)) {
        home_ = restore;
        if (putBack_) {
            later_.cancel(*putBack_);
        }
        putBack_ = later_.after(options_.putBackDelay, [this, to = *restore] {
            putBack_.reset();
            input_.movePointer(to);
            home_.reset();
        });
    }
    return posted;
}

}  // namespace ovra
