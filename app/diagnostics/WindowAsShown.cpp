#include "app/diagnostics/WindowAsShown.h"

#include <array>

#include "core/Monitors.h"

namespace ovra {

namespace {

// An app lists its windows first; more than this many are not looked at.
constexpr std::size_t kMaxWindows = 32;

std::optional<Rect> frameOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    static constexpr std::array<std::string_view, 2> kNames{"AXPosition", "AXSize"};
    auto values = backend.attributes(element, kNames);
    if (!values || values.value().size() != kNames.size()) {
        return std::nullopt;
    }
    const auto& v = values.value();
    const auto origin = v[0] ? ax::asPoint(v[0].value()) : std::nullopt;
    const auto size = v[1] ? ax::asSize(v[1].value()) : std::nullopt;
    if (!origin || !size) {
        return std::nullopt;
    }
    const Rect frame(*origin, *size);
    return frame.isFinite() ? std::optional(frame) : std::nullopt;
}

}  // namespace

std::vector<Rect> WindowAsShown::screenFrames() {
    std::vector<Rect> screens = inner().screenFrames();
    const std::optional<Rect> frame = window_ ? frameOf(inner(), *window_) : std::nullopt;
    return frame ? Monitors::withSpanFirst(*frame, screens) : screens;
}

ax::Read WindowAsShown::attribute(const ax::Element& element, std::string_view name) {
    ax::Read read = inner().attribute(element, name);
    if (name != "AXFocusedWindow" && name != "AXMainWindow") {
        return read;
    }
    if (!read && read.error() == ax::AXError::noValue && name == "AXMainWindow") {
        if (auto largest = largestWindow(element)) {
            read = ax::Value(std::move(*largest));
        }
    }
    if (read) {
        if (auto window = ax::asElement(read.value())) {
            window_ = std::move(*window);
        }
    }
    return read;
}

std::optional<ax::Element> WindowAsShown::largestWindow(const ax::Element& appElement) {
    auto windows = inner().children(appElement, kMaxWindows);
    if (!windows) {
        return std::nullopt;
    }
    std::optional<ax::Element> largest;
    double largestArea = 0;
    for (const ax::Element& window : windows.value()) {
        auto role = inner().attribute(window, "AXRole");
        const std::string* text = role ? ax::asString(role.value()) : nullptr;
        const std::optional<Rect> frame = frameOf(inner(), window);
        if (text == nullptr || *text != "AXWindow" || !frame) {
            continue;
        }
        const double area = frame->width() * frame->height();
        if (area > largestArea) {
            largest = window;
            largestArea = area;
        }
    }
    return largest;
}

}  // namespace ovra
