#include "platform/atspi/AtspiChanges_p.h"
#include "platform/atspi/AtspiMapping.h"

namespace ovra::atspi::session {

namespace {

// The objects of one app kept stale at most; past that the app is read afresh.
constexpr std::size_t kMostStaleObjects = 1024;

bool tellsFocus(const ChangeTracker::Event& event) {
    return (event.kind == "Focus" && event.member == "Focus") ||
           (event.kind == "Object" && event.member == "StateChanged" && event.detail == "focused" &&
            event.gained);
}

}  // namespace

void ChangeTracker::note(const std::string& app, const Event& event, bool topLevel) {
    // Kept however the event is dealt with: where the keyboard is at the next reading counts.
    if (tellsFocus(event)) {
        focused_[app] = std::string(event.path);
    }
    if (changed_.contains(app)) {
        return;  // everything read of it goes anyway
    }
    EventReach reach = eventReach(event.kind, event.member, event.detail);
    const bool modal =
        event.kind == "Object" && event.member == "StateChanged" && event.detail == "modal";
    if (modal || (reach == EventReach::senderName && topLevel)) {
        // A dialog opened or closed, and a page's prompt comes with no more than its window's
        // new name.
        reach = EventReach::wholeApp;
    }
    auto& stale = stale_[app];
    if (event.path.empty() || stale.size() >= kMostStaleObjects || reach == EventReach::wholeApp) {
        noteChanged(app);
        return;
    }
    StaleParts& parts = stale[std::string(event.path)];
    parts.states = parts.states || reach == EventReach::senderStates;
    parts.names = parts.names || reach == EventReach::senderName;
}

void ChangeTracker::noteChanged(const std::string& app) {
    changed_.insert(app);
    stale_.erase(app);
}

std::unordered_map<std::string, StaleParts> ChangeTracker::takeStale(const std::string& app) {
    auto found = stale_.find(app);
    if (found == stale_.end()) {
        return {};
    }
    auto stale = std::move(found->second);
    stale_.erase(found);
    return stale;
}

bool ChangeTracker::changed(const std::string& app) const {
    if (changed_.contains(app)) {
        return true;
    }
    // What the page shows around the keyboard may have changed with it (a field unfolds, a
    // menu opens). Where it went between readings (Firefox tells of the keyboard going to
    // another element as our overlay takes it, and coming back) does not count.
    const auto now = focused_.find(app);
    if (now == focused_.end()) {
        return false;
    }
    const auto before = focusedAtReading_.find(app);
    return before == focusedAtReading_.end() || before->second != now->second;
}

void ChangeTracker::readingBegins(const std::string& app) {
    changed_.erase(app);
    if (const auto now = focused_.find(app); now != focused_.end()) {
        focusedAtReading_[app] = now->second;
    }
}

void ChangeTracker::clear() {
    changed_.clear();
    stale_.clear();
    focused_.clear();
    focusedAtReading_.clear();
}

}  // namespace ovra::atspi::session
