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
    // Kept however the event is dealt with: the next focus is compared with it.
    bool focusMoved = false;
    if (tellsFocus(event)) {
        const auto [last, first] = focused_.try_emplace(app, event.path);
        focusMoved = first || last->second != event.path;
        last->second = event.path;
    }
    if (changed_.contains(app)) {
        return;  // everything read of it goes anyway
    }
    EventReach reach = eventReach(event.kind, event.member, event.detail);
    const bool modal =
        event.kind == "Object" && event.member == "StateChanged" && event.detail == "modal";
    if (focusMoved || modal || (reach == EventReach::senderName && topLevel)) {
        // What the page shows around the keyboard may have changed with it (a field unfolds, a
        // dialog opens), and a page's prompt comes with no more than its window's new name.
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

void ChangeTracker::readingBegins(const std::string& app) {
    changed_.erase(app);
}

void ChangeTracker::clear() {
    changed_.clear();
    stale_.clear();
    focused_.clear();
}

}  // namespace ovra::atspi::session
