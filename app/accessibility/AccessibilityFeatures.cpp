#include "app/accessibility/AccessibilityFeatures.h"

#include "core/OvraText.h"

namespace ovra {
namespace {

constexpr std::string_view kApplications = "org.gnome.desktop.a11y.applications";
constexpr std::string_view kA11yInterface = "org.gnome.desktop.a11y.interface";
constexpr std::string_view kInterface = "org.gnome.desktop.interface";
constexpr std::string_view kKeyboard = "org.gnome.desktop.a11y.keyboard";
constexpr std::string_view kMouse = "org.gnome.desktop.a11y.mouse";

// The pointer size the desktop starts with; larger means the feature is on.
constexpr double kDefaultCursorSize = 24;

using Reader = std::function<std::optional<bool>(desktop::DesktopSettings&)>;

Reader flag(std::string_view schema, std::string_view key) {
    return [schema, key](desktop::DesktopSettings& s) { return s.boolean(schema, key); };
}

Reader flagOff(std::string_view schema, std::string_view key) {
    return [schema, key](desktop::DesktopSettings& s) -> std::optional<bool> {
        const auto value = s.boolean(schema, key);
        return value ? std::optional<bool>(!*value) : std::nullopt;
    };
}

Reader above(std::string_view schema, std::string_view key, double normal) {
    return [schema, key, normal](desktop::DesktopSettings& s) -> std::optional<bool> {
        const auto value = s.number(schema, key);
        return value ? std::optional<bool>(*value > normal) : std::nullopt;
    };
}

std::vector<AccessibilityFeature> build() {
    const std::string page(DesktopAccessibility::kAccessibilityPage);
    auto row = [&](std::string id, std::string_view name, std::string_view summary, Reader isOn,
                   std::optional<std::string> shortcut,
                   std::optional<std::string_view> note) -> AccessibilityFeature {
        return {std::move(id),
                OvraText::t(name),
                OvraText::t(summary),
                std::move(isOn),
                page,
                std::move(shortcut),
                note ? std::optional<std::string>(OvraText::t(*note)) : std::nullopt};
    };
    return {
        row("voiceover", "Screen Reader", "Reads everything on screen aloud.",
            flag(kApplications, "screen-reader-enabled"), "Super+Alt+S",
            "Ovra announces its highlights to the screen reader and never moves its cursor."),
        row("zoom", "Zoom", "Magnifies part or all of the screen.",
            flag(kApplications, "screen-magnifier-enabled"), "Super+Alt+8",
            "Ovra moves Zoom to each ovra you choose, when Zoom follows the keyboard focus."),
        row("contrast", "High Contrast", "Stronger borders and colors everywhere.",
            flag(kA11yInterface, "high-contrast"), std::nullopt,
            "Ovra draws thicker highlight rings."),
        row("motion", "Reduce Animation", "Fewer animations and sliding effects.",
            flagOff(kInterface, "enable-animations"), std::nullopt, "Ovra turns off its pulse."),
        row("pointer", "Hover Click", "Click by resting the pointer.",
            flag(kMouse, "dwell-click-enabled"), std::nullopt, std::nullopt),
        row("largetext", "Large Text", "Bigger text everywhere.",
            above(kInterface, "text-scaling-factor", 1.0), std::nullopt, std::nullopt),
        row("cursorsize", "Large Cursor", "A bigger mouse pointer.",
            above(kInterface, "cursor-size", kDefaultCursorSize), std::nullopt, std::nullopt),
        row("screenkeyboard", "Screen Keyboard", "Type with a keyboard shown on the screen.",
            flag(kApplications, "screen-keyboard-enabled"), std::nullopt, std::nullopt),
        row("stickykeys", "Sticky Keys", "Press keyboard shortcuts one key at a time.",
            flag(kKeyboard, "stickykeys-enable"), std::nullopt, std::nullopt),
        row("slowkeys", "Slow Keys", "Keys count only after being held down for a moment.",
            flag(kKeyboard, "slowkeys-enable"), std::nullopt, std::nullopt),
        row("bouncekeys", "Bounce Keys", "Ignores quick repeated presses of the same key.",
            flag(kKeyboard, "bouncekeys-enable"), std::nullopt, std::nullopt),
        row("mousekeys", "Mouse Keys", "Move the pointer with the number keys.",
            flag(kKeyboard, "mousekeys-enable"), std::nullopt, std::nullopt),
    };
}

}  // namespace

SystemSettings::SystemSettings(desktop::SettingsOpener& opener,
                               std::function<void()> sendOwnWindowsBack)
    : opener_(opener), sendOwnWindowsBack_(std::move(sendOwnWindowsBack)) {}

std::optional<std::string> SystemSettings::openSystemSettings(
    const std::optional<std::string>& page) {
    if (!page) {
        return std::nullopt;
    }
    if (auto problem = opener_.open(*page)) {
        return OvraText::f("The desktop's settings could not be opened: %@", {*problem});
    }
    // Only once the settings app is on its way: otherwise our windows would vanish for nothing.
    if (sendOwnWindowsBack_) {
        sendOwnWindowsBack_();
    }
    return std::nullopt;
}

namespace DesktopAccessibility {

const std::vector<AccessibilityFeature>& features() {
    static const std::vector<AccessibilityFeature> catalogue = build();
    return catalogue;
}

std::optional<bool> state(const AccessibilityFeature& feature, desktop::DesktopSettings& settings,
                          bool screenReaderRuns) {
    if (feature.id == "voiceover" && screenReaderRuns) {
        return true;
    }
    return feature.isOn ? feature.isOn(settings) : std::nullopt;
}

std::optional<std::string> open(const std::string& anchor, SystemSettings& settings) {
    const bool plain =
        !anchor.empty() && anchor.size() <= 64 && anchor.front() != '-' &&
        anchor.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_") == std::string::npos;
    return settings.openSystemSettings(plain ? anchor : std::string(kAccessibilityPage));
}

}  // namespace DesktopAccessibility

DesktopAccessibilityStatus::DesktopAccessibilityStatus(desktop::DesktopSettings& settings,
                                                       Scheduler& later,
                                                       std::function<bool()> screenReader)
    : settings_(settings), screenReader_(std::move(screenReader)), later_(later) {}

DesktopAccessibilityStatus::~DesktopAccessibilityStatus() {
    stop();
}

void DesktopAccessibilityStatus::start() {
    refresh();
    stop();
    schedule();
}

void DesktopAccessibilityStatus::stop() {
    if (timer_) {
        later_.cancel(*timer_);
        timer_.reset();
    }
}

void DesktopAccessibilityStatus::schedule() {
    timer_ = later_.after(kPollSeconds, [this] {
        timer_.reset();
        refresh();
        schedule();
    });
}

void DesktopAccessibilityStatus::refresh() {
    States next;
    const bool screenReaderRuns = screenReader_ && screenReader_();
    for (const auto& feature : DesktopAccessibility::features()) {
        next[feature.id] = DesktopAccessibility::state(feature, settings_, screenReaderRuns);
    }
    if (next != states_.get()) {
        states_.set(std::move(next));
    }
}

}  // namespace ovra
