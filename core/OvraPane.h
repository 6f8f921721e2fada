#pragma once

// The panes of the settings window, in sidebar order. Every pane is also a keyboard stop of the
// sidebar, "pane." followed by its raw value; a focus id with that prefix always means that a
// sidebar entry has the focus, so no row id may start with it.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ovra {

class OvraPane final {
  public:
    enum Value { home, look, voice, choices, mac, general, instructions };

    static constexpr std::string_view kStopPrefix = "pane.";

    constexpr OvraPane(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<OvraPane, 7>& allCases();
    // Exact match, case and all: "Your choices" is a pane, "your choices" is not.
    static std::optional<OvraPane> fromRawValue(std::string_view raw);
    // "Home", "Look", "Voice", "Your choices", "Mac accessibility", "General",
    // "Instructions": the pane's stable id, never shown.
    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    // Localized. The raw value, except that the accessibility pane shows "Desktop
    // accessibility": it lists this desktop's own features.
    std::string title() const;
    // The sidebar symbol's name in the app's icon set.
    std::string_view symbol() const;
    // "pane." + the raw value, spaces kept.
    std::string stopID() const;

    // The pane whose sidebar stop `focusID` is; none for a row's id.
    static std::optional<OvraPane> fromStopID(std::string_view focusID);
    // The pane Ctrl with a digit shows: "1" the first pane … "7" the last; any other text none.
    static std::optional<OvraPane> forShortcut(std::string_view characters);

  private:
    Value value_;
};

}  // namespace ovra
