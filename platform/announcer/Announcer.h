#pragma once

// Spoken status lines for screen-reader users ("3 of 5: Sign up, button"), posted on one of the
// app's windows. A screen reader decides how and when to speak them; with none running an
// announcement costs nothing.

#include <string>
#include <string_view>
#include <vector>

namespace ovra::announcer {

enum class AnnouncementPriority : int { medium = 50, high = 90 };

class Announcer {
  public:
    virtual ~Announcer() = default;
    virtual void announce(std::string_view text, AnnouncementPriority priority) = 0;
};

// For tests: keeps every announcement in order.
class RecordingAnnouncer final : public Announcer {
  public:
    struct Entry {
        std::string text;
        AnnouncementPriority priority;
        friend bool operator==(const Entry&, const Entry&) = default;
    };
    void announce(std::string_view text, AnnouncementPriority priority) override {
        announced.push_back({std::string(text), priority});
    }
    std::vector<Entry> announced;
};

}  // namespace ovra::announcer
