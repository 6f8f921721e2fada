#pragma once

// Private to the AT-SPI backend: what each app told of its changes since it was last read, and
// so how much of that reading the next one may start from. A change of some states or of a name
// makes those parts of that object stale; anything else (the tree, frames, text), a modal state
// that came or went, a top-level window that took another name (Chromium names its window after
// a page's prompt and tells nothing else), or the keyboard on another element than at the last
// reading makes the whole reading stale. Pure bookkeeping: the session feeds it the events it
// hears.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace ovra::atspi::session {

// What an app's events made stale of one of its objects.
struct StaleParts {
    bool states = false;
    bool names = false;
    bool children = false;
};

class ChangeTracker {
  public:
    // One org.a11y.atspi.Event signal: its interface's last word ("Object", "Window", "Focus"),
    // member, detail string, sender's object path, and whether its first number is 1 (a state
    // set rather than cleared).
    struct Event {
        std::string_view kind;
        std::string_view member;
        std::string_view detail;
        std::string_view path;
        bool gained = false;
    };

    // What one event of `app` made stale; `topLevel` says whether the object that sent it is one
    // of the app's top-level windows as read.
    void note(const std::string& app, const Event& event, bool topLevel);
    // Anything of the app may have changed (we pressed in it, or it told of a change past
    // counting): its next reading starts afresh.
    void noteChanged(const std::string& app);

    // Whether the app's next reading must start afresh.
    bool changed(const std::string& app) const;
    // The objects whose parts are stale, for a reading that starts from the last one; cleared.
    std::unordered_map<std::string, StaleParts> takeStale(const std::string& app);
    // A reading of the app begins: what was told before it has been dealt with, and where the
    // keyboard is now is where the next reading compares it with.
    void readingBegins(const std::string& app);
    // Forgets what was told of apps `keep` says no to (their readings are gone anyway).
    template <class Keep>
    void keepOnly(Keep keep) {
        const auto drop = [&](const auto& entry) { return !keep(entry.first); };
        std::erase_if(stale_, drop);
        std::erase_if(focused_, drop);
        std::erase_if(focusedAtReading_, drop);
    }
    // A new connection: nothing told before counts.
    void clear();

  private:
    std::unordered_set<std::string> changed_;
    std::unordered_map<std::string, std::unordered_map<std::string, StaleParts>> stale_;
    // The object each app last told had the keyboard, and the one that had it as the app's last
    // reading began.
    std::unordered_map<std::string, std::string> focused_;
    std::unordered_map<std::string, std::string> focusedAtReading_;
};

}  // namespace ovra::atspi::session
