#pragma once

// Announcements through the accessibility bus, the way Orca speaks them. Qt 6.4 has no
// announcement event, and Orca 43 listens for none: it speaks a notification object when that
// object becomes showing ("notification" and its name), also while another app is in front.
// So each announcement is a hidden child of the window, in the notification role and named
// with the text, that reports itself shown. A few such children take turns, so that a
// screen reader reading an earlier one after a later arrived still finds its own text.

#include <array>

#include "platform/announcer/Announcer.h"

class QWidget;

namespace ovra::announcer {

class AnnouncementWidget;

class AccessibleAnnouncer final : public Announcer {
  public:
    // Announces on `window` (the overlay panel, the settings window), which owns the children
    // and must outlive the announcer.
    explicit AccessibleAnnouncer(QWidget& window);

    // Nothing happens while no assistive technology listens on the accessibility bus.
    void announce(std::string_view text, AnnouncementPriority priority) override;

  private:
    std::array<AnnouncementWidget*, 4> slots_{};
    std::size_t next_ = 0;
};

}  // namespace ovra::announcer
