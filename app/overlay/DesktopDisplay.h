#pragma once

// The overlay view kept in step with the desktop's display preferences (reduce motion, high
// contrast, reduce transparency): set when the follower is made, again at each showing, and at
// every change the desktop reports while the overlay lives.

#include <cstddef>

#include "app/overlay/OverlayScene.h"
#include "platform/desktopstatus/DisplayPreferences.h"

namespace ovra {

class OverlayView;

OverlayEnvironment overlayEnvironment(const desktopstatus::DisplayPreferences& preferences);

class FollowDesktopDisplay final {
  public:
    // Both must outlive the follower.
    FollowDesktopDisplay(OverlayView& view, desktopstatus::DisplayPreferencesSource& source);
    ~FollowDesktopDisplay();
    FollowDesktopDisplay(const FollowDesktopDisplay&) = delete;
    FollowDesktopDisplay& operator=(const FollowDesktopDisplay&) = delete;

    // Reads the preferences now: a change the desktop did not report is taken at the latest
    // when the overlay shows.
    void refresh();

  private:
    void apply(const desktopstatus::DisplayPreferences& preferences);

    OverlayView& view_;
    desktopstatus::DisplayPreferencesSource& source_;
    std::size_t subscription_ = 0;
};

}  // namespace ovra
