#pragma once

// The session's accessibility switch: whether apps expose their windows on the accessibility bus.
// Turning it on sets org.a11y.Status.IsEnabled on the session bus (apps that watch it follow at
// once) and, where GNOME's interface schema exists, its "toolkit-accessibility" key (kept for
// later sessions; at-spi-bus-launcher keeps the two in step). Apps that check only when they
// start see the change at their next start.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ovra::desktop {

class AccessibilitySwitch {
  public:
    // The reason when nothing could be switched on; none when it is on.
    using Answer = std::function<void(std::optional<std::string> problem)>;

    virtual ~AccessibilitySwitch() = default;
    // Turns accessibility on; `done` gets how that went.
    virtual void turnOn(Answer done) = 0;
    // A command a person can type to turn it on by hand on this desktop.
    virtual std::string byHandCommand() const = 0;
};

// The command for a desktop with or without GNOME's interface schema.
std::string accessibilityCommand(bool gnomeSchema);

// The session's switch, set on a thread of its own; the answer is posted with `post` (to the
// main thread) within 1.5 s, also when the session bus does not answer at all.
class SessionAccessibilitySwitch final : public AccessibilitySwitch {
  public:
    using Poster = std::function<void(std::function<void()>)>;
    explicit SessionAccessibilitySwitch(Poster post) : post_(std::move(post)) {}

    void turnOn(Answer done) override;
    std::string byHandCommand() const override;

  private:
    Poster post_;
};

// Records each request; answers at once, failing with a set reason.
class RecordingAccessibilitySwitch final : public AccessibilitySwitch {
  public:
    int requests = 0;
    std::optional<std::string> failure;

    void turnOn(Answer done) override {
        ++requests;
        done(failure);
    }
    std::string byHandCommand() const override { return accessibilityCommand(true); }
};

}  // namespace ovra::desktop
