#include "app/controller/TargetWindowBackend.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "app/overlay/OverlayLayout.h"

namespace ovra {

namespace {

constexpr std::size_t kMaxWindows = 32;
// How much a dialog's frame on the bus may differ in size from the captured one.
constexpr double kDialogSizeSlack = 24;

bool isTrue(const ax::Read& read) {
    return read && ax::asBool(read.value()) == true;
}

}  // namespace

TargetWindowBackend::TargetWindowBackend(ax::AccessibilityBackend& inner, std::string title,
                                         Rect frame, bool dialog, Rect decorated)
    : TargetWindowBackend(inner, CapturedWindow{.title = std::move(title),
                                                .frame = frame,
                                                .dialog = dialog,
                                                .decorated = decorated}) {}

TargetWindowBackend::TargetWindowBackend(ax::AccessibilityBackend& inner, CapturedWindow captured)
    : inner_(inner),
      captured_(std::move(captured)),
      decorated_(captured_.decorated.isEmpty() ? captured_.frame : captured_.decorated) {}

ax::Element TargetWindowBackend::applicationElement(const ax::RunningApp& app) {
    appElement_ = inner_.applicationElement(app);
    return appElement_;
}

std::vector<Rect> TargetWindowBackend::screenFrames() {
    const std::vector<Rect> screens = inner_.screenFrames();
    const std::optional<Rect> area = OverlaySpace::coveredArea(captured_.frame, screens);
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
        if (name == "AXFocusedWindow" || captured_.dialog) {
            if (auto captured = capturedWindow(element)) {
                return ax::Value(std::move(*captured));
            }
        }
        // A window a dialog keeps from being used, or one of several alike that cannot be told
        // apart, is not read; nor any other in its place.
        if (blockedBy_ || frontUnknown_) {
            return fail(ax::AXError::noValue);
        }
        // A dialog the app does not show stands in front of its other windows: reading the one
        // behind would offer controls the dialog keeps from the user.
        if (captured_.dialog) {
            dialogNotShown_ = timeouts_ == 0;
            return fail(timeouts_ == 0 ? ax::AXError::noValue : ax::AXError::timeout);
        }
    }
    return counted(inner_.attribute(element, name));
}

std::vector<TargetWindowBackend::BusWindow> TargetWindowBackend::windowsOf(
    const ax::Element& appElement) {
    std::vector<BusWindow> out;
    auto windows = counted(inner_.children(appElement, kMaxWindows));
    if (!windows) {
        return out;
    }
    static constexpr std::string_view kNames[] = {"AXRole",  "AXTitle", "AXPosition", "AXSize",
                                                  "AXModal", "AXMain",  "AXHidden"};
    for (const ax::Element& window : windows.value()) {
        auto values = counted(inner_.attributes(window, kNames));
        if (!values || values.value().size() != std::size(kNames)) {
            continue;
        }
        const auto& v = values.value();
        const std::string* role = v[0] ? ax::asString(v[0].value()) : nullptr;
        if (role == nullptr || *role != "AXWindow" || isTrue(v[6])) {
            continue;
        }
        BusWindow w;
        w.element = window;
        const std::string* title = v[1] ? ax::asString(v[1].value()) : nullptr;
        w.title = title != nullptr ? *title : std::string();
        const auto origin = v[2] ? ax::asPoint(v[2].value()) : std::nullopt;
        const auto size = v[3] ? ax::asSize(v[3].value()) : std::nullopt;
        if (origin && size) {
            w.frame = Rect(*origin, *size);
        }
        w.modal = isTrue(v[4]);
        w.active = isTrue(v[5]);
        out.push_back(std::move(w));
    }
    return out;
}

std::optional<ax::Element> TargetWindowBackend::capturedWindow(const ax::Element& appElement) {
    blockedBy_.reset();
    frontUnknown_ = false;
    if (captured_.title.empty() && captured_.frame.isNull()) {
        return std::nullopt;
    }
    const std::vector<BusWindow> windows = windowsOf(appElement);
    // Lower is better: a matching title first, then the nearer middle.
    struct Scored {
        const BusWindow* window;
        std::pair<bool, double> score;
    };
    std::vector<Scored> matching;
    for (const BusWindow& window : windows) {
        const bool sameTitle = !captured_.title.empty() && window.title == captured_.title;
        double distance = kMaxFrameDistance;
        if (window.frame && !captured_.frame.isNull()) {
            distance = distanceTo(*window.frame).value_or(kMaxFrameDistance);
        }
        if (!std::isfinite(distance) || (!sameTitle && distance >= kMaxFrameDistance)) {
            continue;
        }
        matching.push_back({&window, {!sameTitle, distance}});
    }
    if (matching.empty()) {
        return std::nullopt;
    }
    const Scored best =
        *std::min_element(matching.begin(), matching.end(),
                          [](const Scored& a, const Scored& b) { return a.score < b.score; });
    // The windows as good as the best one: as well titled, lying in the same place.
    std::vector<const BusWindow*> alike;
    for (const Scored& m : matching) {
        const bool placed = m.window->frame && best.window->frame
                                ? liesInSamePlace(*m.window->frame, *best.window->frame)
                                : m.window == best.window;
        if (m.score.first == best.score.first && placed) {
            alike.push_back(m.window);
        }
    }
    // A modal dialog lies in front of the windows it keeps from being used: among windows alike
    // it is the one in front; any other window of its app waits for it to be answered.
    std::vector<const BusWindow*> modalAlike;
    std::copy_if(alike.begin(), alike.end(), std::back_inserter(modalAlike),
                 [](const BusWindow* w) { return w->modal; });
    if (!modalAlike.empty()) {
        alike = std::move(modalAlike);
    } else if (captured_.dialogOverIt) {
        blockedBy_ = std::string();
        return std::nullopt;
    } else {
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (it->modal) {
                blockedBy_ = it->title;
                return std::nullopt;
            }
        }
    }
    if (auto front = frontOf(alike)) {
        return front;
    }
    frontUnknown_ = true;
    return std::nullopt;
}

std::optional<ax::Element> TargetWindowBackend::frontOf(
    const std::vector<const BusWindow*>& alike) {
    if (alike.size() == 1) {
        return alike.front()->element;
    }
    // The app's own word first: the window it calls active (while the window still has the
    // keyboard).
    const BusWindow* active = nullptr;
    for (const BusWindow* w : alike) {
        if (w->active) {
            if (active != nullptr) {
                return std::nullopt;
            }
            active = w;
        }
    }
    if (active != nullptr) {
        return active->element;
    }
    // Then the window manager's: toolkits list their windows in the order they were shown, as
    // the window manager lists them, so the captured window's place among its twins is its
    // place among these, once the counts agree and it lies above them all.
    const auto count = static_cast<std::size_t>(std::max(captured_.twinCount, 0));
    const auto index = static_cast<std::size_t>(std::max(captured_.twinIndex, 0));
    if (captured_.aboveTwins && count == alike.size() && index < count) {
        return alike[index]->element;
    }
    return std::nullopt;
}

TargetWindowBackend::Front TargetWindowBackend::frontAtPress(
    const ax::RunningApp& app, const ax::Element& window, ax::Clock& clock,
    const std::function<void()>& bringForward) {
    const ax::Element appElement = applicationElement(app);
    std::vector<BusWindow> windows = windowsOf(appElement);
    const auto self = std::find_if(windows.begin(), windows.end(),
                                   [&](const BusWindow& w) { return w.element == window; });
    if (self == windows.end()) {
        return Front::inFront;  // gone or unknown: the press itself finds out
    }
    if (!self->modal) {
        if (captured_.dialogOverIt) {
            blockedBy_ = std::string();
            return Front::blocked;
        }
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            if (it->modal) {
                blockedBy_ = it->title;
                return Front::blocked;
            }
        }
    }
    std::vector<ax::Element> alike;
    for (const BusWindow& w : windows) {
        if (w.element != window && w.frame && self->frame &&
            liesInSamePlace(*w.frame, *self->frame)) {
            alike.push_back(w.element);
        }
    }
    if (alike.empty()) {
        return Front::inFront;
    }
    // Windows alike: only the window manager's activation of the captured window, as the app
    // takes it, tells which one the press reaches.
    if (bringForward) {
        bringForward();
    }
    const double until = clock.now() + kActiveWait;
    for (;;) {
        inner_.applicationElement(app);  // takes in what the app told since
        if (isTrue(inner_.attribute(window, "AXMain"))) {
            return Front::inFront;
        }
        for (const ax::Element& other : alike) {
            if (isTrue(inner_.attribute(other, "AXMain"))) {
                return Front::notInFront;
            }
        }
        if (clock.now() >= until) {
            return Front::notInFront;
        }
        clock.sleep(kActivePoll);
    }
}

std::optional<double> TargetWindowBackend::distanceTo(const Rect& window) const {
    if (!window.isFinite()) {
        return std::numeric_limits<double>::quiet_NaN();  // a frame of nonsense is no window
    }
    std::optional<double> nearest;
    for (const Rect& captured : {captured_.frame, decorated_}) {
        // A dialog lies centred over its parent, nearly as large (Chromium's file chooser is 76
        // by 78 points smaller than its window): only a frame of the dialog's own size is the
        // dialog.
        if (captured_.dialog &&
            (std::abs(window.width() - captured.width()) > kDialogSizeSlack ||
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
