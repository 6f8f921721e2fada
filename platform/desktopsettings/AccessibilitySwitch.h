#pragma once

// The session's accessibility switch: whether apps expose their windows on the accessibility bus.
// Turning it on sets org.a11y.Status.IsEnabled on the session bus (apps that watch it follow at
// once) and, where GNOME's interface schema exists, its "toolkit-accessibility" key (kept for
// later sessions; at-spi-bus-launcher keeps the two in step). Apps that check only when they
// start see the change at their next start.

#include <optional>
#include <string>
#include <vector>

namespace ovra::desktop {

class AccessibilitySwitch {
  public:
    virtual ~AccessibilitySwitch() = default;
    // Turns accessibility on; the reason when nothing could be switched on.
    virtual std::optional<std::string> turnOn() = 0;
    // A command a person can type to turn it on by hand on this desktop.
    virtual std::string byHandCommand() const = 0;
};

// The command for a desktop with or without GNOME's interface schema.
std::string accessibilityCommand(bool gnomeSchema);

class SessionAccessibilitySwitch final : public AccessibilitySwitch {
  public:
    std::optional<std::string> turnOn() override;
    std::string byHandCommand() const override;
};

// Records each request; fails with a set reason.
class RecordingAccessibilitySwitch final : public AccessibilitySwitch {
  public:
    int requests = 0;
    std::optional<std::string> failure;

    std::optional<std::string> turnOn() override {
        ++requests;
        return failure;
    }
    std::string byHandCommand() const override { return accessibilityCommand(true); }
};

}  // namespace ovra::desktop
