#pragma once

// The on-screen button: an optional round button at an edge of the first screen, a larger
// target than the tray icon, whose click shows or hides the ovras; and the flight trail, a short
// animation from the button up to the tray that shows a new user where the settings live. The
// controller installs it at start-up with the landing point and the click action, refreshes it
// when "showBubble", "bubblePlace", "bubbleSize" or "flightTrail" change, and asks it to fly.
//
// Plain C++ on the main thread: the windows, the screens, the desktop's changes and the clock
// come in through the services, so tests drive them by hand. Frames are in root window space
// (logical pixels, y down).

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/shell/HomeIslandController.h"
#include "core/Geometry.h"
#include "core/Rect.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class Preferences;

// The button's window: frameless, above other windows on every desktop, out of the taskbar,
// never taking the keyboard focus.
class BubblePanel {
  public:
    virtual ~BubblePanel() = default;
    // Shows a button `size` pixels across in `frame`, against the frame's left edge when
    // `onLeft` (else its right edge), and raises it; its hover state starts afresh.
    virtual void present(const Rect& frame, double size, bool onLeft) = 0;
    virtual void raise() = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;
    virtual Rect frame() const = 0;
};

// The flight trail's window: the whole screen, letting every click through.
class TrailPanel {
  public:
    virtual ~TrailPanel() = default;
    // Shows the trail over `screen` from `from` to `to` (points inside the screen, from its
    // top-left) and plays it from its start.
    virtual void play(const Rect& screen, Point from, Point to, bool reduceMotion) = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;
};

class BubbleController final {
  public:
    struct Services {
        Scheduler& scheduler;
        // The desktop's screens, the one with the tray (the primary) first.
        std::function<std::vector<IslandScreen>()> screens;
        // Makes the button's window; `clicked` is its click.
        std::function<std::unique_ptr<BubblePanel>(std::function<void()> clicked)> makeButton;
        std::function<std::unique_ptr<TrailPanel>()> makeTrail;
        std::function<bool()> reduceMotion;
        // Calls `screensChanged` when a screen comes, goes or changes and `desktopSwitched`
        // when another desktop (workspace) is shown, until the token it returns is dropped.
        std::function<std::shared_ptr<void>(std::function<void()> screensChanged,
                                            std::function<void()> desktopSwitched)>
            watchDesktop;
    };

    // Seconds between a desktop switch and the refresh it brings.
    static constexpr double kDesktopSwitchDelay = 0.4;

    explicit BubbleController(Services services);
    ~BubbleController();
    BubbleController(const BubbleController&) = delete;
    BubbleController& operator=(const BubbleController&) = delete;

    // Takes the settings (which must outlive the controller), the landing point for a button
    // frame (none when the tray cannot be placed) and the click action; writes "firstLaunch"
    // when it is missing; follows the desktop's screens and desktops; then refreshes.
    void install(Preferences& prefs, std::function<std::optional<Point>(const Rect&)> landing,
                 std::function<void()> onClick);
    // Shows, moves and restyles the button from the settings, or hides both windows.
    void refresh();
    // Plays the flight trail once from the button to the landing point, only while the button
    // shows: a hidden button is never brought back by a flight.
    void fly();
    // The button window's frame on a screen for a place, at the set size (80 before install).
    Rect bubbleFrame(const IslandScreen& screen, OvraButtonPlace place) const;

    // Where the windows stand, for tests and self-tests.
    bool buttonShown() const { return bubble_ && bubble_->isVisible(); }
    // The button window's frame while it shows.
    std::optional<Rect> buttonFrame() const {
        return buttonShown() ? std::optional(bubble_->frame()) : std::nullopt;
    }
    bool trailShown() const { return rope_ && rope_->isVisible(); }

  private:
    Services services_;
    std::unique_ptr<BubblePanel> bubble_;
    std::unique_ptr<TrailPanel> rope_;
    Preferences* prefs_ = nullptr;
    std::function<std::optional<Point>(const Rect&)> landing_;
    std::function<void()> onClick_;
    std::shared_ptr<void> desktopWatch_;
    Scheduler::Token trailHide_ = 0;
    Scheduler::Token switchRefresh_ = 0;
    // Delayed work reaches the controller only while it lives.
    std::shared_ptr<BubbleController*> self_ = std::make_shared<BubbleController*>(this);
};

}  // namespace ovra
