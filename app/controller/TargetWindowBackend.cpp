#include "app/controller/TargetWindowBackend.h"

#include <cmath>
#include <limits>

#include "app/overlay/OverlayLayout.h"

namespace ovra {

namespace {

constexpr std::size_t kMaxWindows = 32;
// How much a dialog's frame on the bus may differ in size from the captured one.
constexpr double kDialogSizeSlack = 24;

}  // namespace

TargetWindowBackend::TargetWindowBackend(ax::AccessibilityBackend& inner, std::string title,
                                         Rect frame, bool dialog, Rect decorated)
    : inner_(inner),
      title_(std::move(title)),
      frame_(frame),
      decorated_(decorated.isEmpty() ? frame : decorated),
      dialog_(dialog) {}

ax::Element TargetWindowBackend::applicationElement(const ax::RunningApp& app) {
    appElement_ = inner_.applicationElement(app);
    return appElement_;
}

std::vector<Rect> TargetWindowBackend::screenFrames() {
    const std::vector<Rect> screens = inner_.screenFrames();
    const std::optional<Rect> area = OverlaySpace::coveredArea(frame_, screens);
    if (!area) {
        return screens;
    }
    std::vector<Rect> out{*area};
    for (const Rect& screen : screens) {
        out.push_back(screen);
    }
    return out;
}

ax::Read TargetWindowBackend::attribute(const ax::Element& element, std::string_view name) {
    const bool window = name == "AXFocusedWindow" || name == "AXMainWindow";
    if (window && !appElement_.isNull() && element == appElement_) {
        if (name == "AXFocusedWindow" || dialog_) {
            if (auto captured = capturedWindow(element)) {
                return ax::Value(std::move(*captured));
            }
        }
        // A dialog the app does not show stands in front of its other windows: reading the one
        // behind would offer controls the dialog keeps from the user.
        if (dialog_) {
            dialogNotShown_ = timeouts_ == 0;
            return fail(timeouts_ == 0 ? ax::AXError::noValue : ax::AXError::timeout);
        }
    }
    return counted(inner_.attribute(element, name));
}

std::optional<ax::Element> TargetWindowBackend::capturedWindow(const ax::Element& appElement) {
    if (title_.empty() && frame_.isNull()) {
        return std::nullopt;
    }
    auto windows = counted(inner_.children(appElement, kMaxWindows));
    if (!windows) {
        return std::nullopt;
    }
    static constexpr std::string_view kNames[] = {"AXRole", "AXTitle", "AXPosition", "AXSize"};
    std::optional<ax::Element> best;
    // Lower is better: a matching title first, then the nearer middle.
    std::pair<bool, double> bestScore{true, kMaxFrameDistance};
    for (const ax::Element& window : windows.value()) {
        auto values = counted(inner_.attributes(window, kNames));
        if (!values || values.value().size() != 4) {
            continue;
        }
        const auto& v = values.value();
        const std::string* role = v[0] ? ax::asString(v[0].value()) : nullptr;
        if (role == nullptr || *role != "AXWindow") {
            continue;
        }
        const std::string* title = v[1] ? ax::asString(v[1].value()) : nullptr;
        const bool sameTitle = title != nullptr && !title_.empty() && *title == title_;
        double distance = kMaxFrameDistance;
        const auto origin = v[2] ? ax::asPoint(v[2].value()) : std::nullopt;
        const auto size = v[3] ? ax::asSize(v[3].value()) : std::nullopt;
        if (origin && size && !frame_.isNull()) {
            distance = distanceTo(Rect(*origin, *size)).value_or(kMaxFrameDistance);
        }
        if (!std::isfinite(distance) || (!sameTitle && distance >= kMaxFrameDistance)) {
            continue;
        }
        const std::pair<bool, double> score{!sameTitle, distance};
        if (!best || score < bestScore) {
            best = window;
            bestScore = score;
        }
    }
    return best;
}

std::optional<double> TargetWindowBackend::distanceTo(const Rect& window) const {
    if (!window.isFinite()) {
        return std::numeric_limits<double>::quiet_NaN();  // a frame of nonsense is no window
    }
    std::optional<double> nearest;
    for (const Rect& captured : {frame_, decorated_}) {
        // A dialog lies centred over its parent, nearly as large (Chromium's file chooser is 76
        // by 78 points smaller than its window): only a frame of the dialog's own size is the
        // dialog.
        if (dialog_ && (std::abs(window.width() - captured.width()) > kDialogSizeSlack ||
                        std::abs(window.height() - captured.height()) > kDialogSizeSlack)) {
            continue;
        }
        const double d =
            std::hypot(window.midX() - captured.midX(), window.midY() - captured.midY());
        if (!nearest || d < *nearest) {
            nearest = d;
        }
    }
    return nearest;
}

}  // namespace ovra
