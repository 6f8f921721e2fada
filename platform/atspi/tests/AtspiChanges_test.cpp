#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/atspi/AtspiChanges_p.h"

namespace ovra::atspi::session {
namespace {

using Event = ChangeTracker::Event;

constexpr const char* kApp = ":1.7";

struct Told {
    Event event;
    bool topLevel = false;
};

struct Case {
    const char* what;
    std::vector<Told> told;
    bool afresh;  // the next reading starts afresh
    // The parts made stale of object "/b" otherwise.
    bool states = false;
    bool names = false;
};

Event focus(std::string_view path) {
    return {"Object", "StateChanged", "focused", path, true};
}

TEST(ChangeTracker, TellsWhatTheNextReadingMayStartFrom) {
    const std::vector<Case> cases{
        {"nothing told", {}, false},
        {"a check box ticked", {{{"Object", "StateChanged", "checked", "/b", true}}}, false, true},
        {"a counter renamed",
         {{{"Object", "PropertyChange", "accessible-name", "/b"}}},
         false,
         false,
         true},
        {"a child added", {{{"Object", "ChildrenChanged", "add", "/b"}}}, true},
        {"something shown", {{{"Object", "StateChanged", "showing", "/b", true}}}, true},
        {"a modal dialog came", {{{"Object", "StateChanged", "modal", "/b", true}}}, true},
        {"the window renamed for a page's prompt",
         {{{"Object", "PropertyChange", "accessible-name", "/w"}, true}},
         true},
        {"the first focus heard", {{focus("/b")}}, true},
        {"the focus moved on", {{focus("/a")}, {focus("/b")}}, true},
        {"a focus lost", {{{"Object", "StateChanged", "focused", "/b", false}}}, false, true},
        {"a window brought forward", {{{"Window", "Activate", "", "/b"}}}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChangeTracker tracker;
        for (const Told& told : c.told) {
            tracker.note(kApp, told.event, told.topLevel);
        }
        EXPECT_EQ(tracker.changed(kApp), c.afresh);
        const auto stale = tracker.takeStale(kApp);
        if (c.afresh) {
            continue;  // whatever is stale goes with the rest
        }
        if (!c.states && !c.names) {
            EXPECT_TRUE(stale.empty());
            continue;
        }
        ASSERT_TRUE(stale.contains("/b"));
        EXPECT_EQ(stale.at("/b").states, c.states);
        EXPECT_EQ(stale.at("/b").names, c.names);
        EXPECT_TRUE(tracker.takeStale(kApp).empty()) << "taken once";
    }
}

// The keyboard leaves for another element and comes back between two readings (Firefox tells
// both as our overlay takes the keyboard and gives it back): the reading is kept, with the
// states of the elements told of read again. On another element than at the last reading it is
// not, also when that was told while the app was to be read afresh anyway.
TEST(ChangeTracker, OnlyTheKeyboardOnAnotherElementThanAtTheLastReadingCounts) {
    ChangeTracker tracker;
    tracker.note(kApp, focus("/field"), false);
    tracker.readingBegins(kApp);
    EXPECT_FALSE(tracker.changed(kApp));
    tracker.note(kApp, {"Object", "StateChanged", "focused", "/field", false}, false);
    tracker.note(kApp, focus("/frame"), false);
    tracker.note(kApp, focus("/field"), false);
    EXPECT_FALSE(tracker.changed(kApp));
    const auto stale = tracker.takeStale(kApp);
    EXPECT_TRUE(stale.at("/field").states);
    EXPECT_TRUE(stale.at("/frame").states);

    tracker.noteChanged(kApp);
    tracker.note(kApp, focus("/button"), false);
    tracker.readingBegins(kApp);
    EXPECT_FALSE(tracker.changed(kApp));
    tracker.note(kApp, focus("/field"), false);
    EXPECT_TRUE(tracker.changed(kApp));
    tracker.readingBegins(kApp);
    EXPECT_FALSE(tracker.changed(kApp));

    // Forgotten with the app's reading: the next focus told counts as a move.
    tracker.keepOnly([](const std::string&) { return false; });
    EXPECT_FALSE(tracker.changed(kApp));
    tracker.note(kApp, focus("/field"), false);
    EXPECT_TRUE(tracker.changed(kApp));
}

// Past a bound of objects told of, the app is read afresh; each app counts alone.
TEST(ChangeTracker, ManyObjectsToldOfMeanAFreshReading) {
    ChangeTracker tracker;
    for (int i = 0; i < 2000 && !tracker.changed(kApp); ++i) {
        tracker.note(kApp, {"Object", "StateChanged", "checked", "/o" + std::to_string(i), true},
                     false);
    }
    EXPECT_TRUE(tracker.changed(kApp));
    EXPECT_FALSE(tracker.changed(":1.8"));
    tracker.readingBegins(kApp);
    EXPECT_FALSE(tracker.changed(kApp));
}

}  // namespace
}  // namespace ovra::atspi::session
