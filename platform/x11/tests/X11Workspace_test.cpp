#include "platform/x11/X11Workspace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace ovra::x11 {
namespace {

paths::Environment environment(std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
        auto it = values.find(name);
        if (it == values.end()) {
            return std::nullopt;
        }
        return it->second;
    };
}

TEST(SessionRefusal, AcceptsX11AndRefusesWaylandOrNoDisplayWithTheReason) {
    using Env = std::map<std::string, std::string>;
    const struct {
        Env env;
        const char* reason;  // nullptr: accepted
    } cases[] = {
        {{{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, nullptr},
        // No session type (a plain X server started by hand) is fine when a display is set.
        {{{"DISPLAY", ":1"}}, nullptr},
        // XWayland sets DISPLAY too, but other apps' controls have no global coordinates there.
        {{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "w-0"}},
         "Wayland"},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, "X11 session"},
        {{{"XDG_SESSION_TYPE", "x11"}}, "DISPLAY"},
        {{{"DISPLAY", ""}}, "DISPLAY"},
    };
    for (const auto& c : cases) {
        const auto refusal = sessionRefusal(environment(c.env));
        if (c.reason == nullptr) {
            EXPECT_EQ(refusal, std::nullopt);
        } else {
            EXPECT_THAT(refusal.value_or(""), testing::HasSubstr(c.reason));
        }
    }
}

TEST(WindowToRaise, PrefersTheTitledWindowOfTheProcess) {
    const std::vector<ActiveWindow> windows{
        {11, 100, "Inbox", "mail"},
        {12, 200, "Inbox", "other"},  // same title, another app
        {13, 100, "Compose", "mail"},
        {14, std::nullopt, "Compose", "nopid"},
    };
    EXPECT_EQ(windowToRaise(windows, 100, "Inbox"), 11U);
    EXPECT_EQ(windowToRaise(windows, 100, "Compose"), 13U);
    // No title match: the app's newest window (the client list is oldest first).
    EXPECT_EQ(windowToRaise(windows, 100, "Gone"), 13U);
    EXPECT_EQ(windowToRaise(windows, 100, ""), 13U);
    EXPECT_EQ(windowToRaise(windows, 300, "Inbox"), std::nullopt);
}

TEST(PrimaryFirst, MovesThePrimaryMonitorToTheFront) {
    const Rect left{0, 0, 1920, 1080}, right{1920, 0, 2560, 1440};
    EXPECT_EQ(primaryFirst({left, right}, 1), (std::vector<Rect>{right, left}));
    EXPECT_EQ(primaryFirst({left, right}, 0), (std::vector<Rect>{left, right}));
    // No primary, or an index past the end: RandR order stands.
    EXPECT_EQ(primaryFirst({left, right}, std::nullopt), (std::vector<Rect>{left, right}));
    EXPECT_EQ(primaryFirst({left, right}, 5), (std::vector<Rect>{left, right}));
    EXPECT_TRUE(primaryFirst({}, 0).empty());
}

// Which of an app's windows lying in one place the captured one is: counted in the order they
// were mapped, and above the others only when the stacking says so.
TEST(TwinsOf, CountsTheWindowsInTheCapturedOnesPlace) {
    const Rect place(200, 200, 362, 185);
    const StackedWindow first{1, "Rename", place, 0};
    const StackedWindow second{2, "Rename", place, 2};
    const StackedWindow nudged{3, "Rename", Rect(205, 196, 360, 190), 1};
    const StackedWindow elsewhere{4, "Rename", Rect(600, 200, 362, 185), 3};
    const StackedWindow unstacked{5, "Rename", place, -1};
    const struct {
        const char* what;
        std::vector<StackedWindow> windows;
        std::uint32_t captured;
        int index, count;
        bool onTop;
    } cases[] = {
        {"one window", {first}, 1, 0, 1, true},
        {"the copy opened second, on top", {first, second}, 2, 1, 2, true},
        {"the first copy, under the second", {first, second}, 1, 0, 2, false},
        {"a copy a few pixels off is in the same place", {first, nudged, second}, 2, 2, 3, true},
        {"a copy elsewhere is no twin", {first, elsewhere}, 1, 0, 1, true},
        {"a twin the stacking does not list", {unstacked, second}, 2, 1, 2, false},
        {"the captured window not among them", {first, second}, 9, 0, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Twins twins = twinsOf(c.windows, c.captured);
        EXPECT_EQ(twins.index, c.index);
        EXPECT_EQ(twins.count, c.count);
        EXPECT_EQ(twins.onTop, c.onTop);
    }
}

// The app's modal dialogs, topmost first, and whether one is the captured window's own.
TEST(ModalDialogsOf, ListsTheOtherModalWindowsTopmostFirst) {
    const Rect place(0, 0, 400, 300);
    const StackedWindow notes{1, "Notes", place, 0};
    const StackedWindow other{2, "Other", place, 3};
    const StackedWindow ask{3, "Save changes?", place, 2, true, 1};
    const StackedWindow print{4, "Print", place, 1, true, 0};
    EXPECT_EQ(modalDialogsOf({notes, other, ask, print}, 2).titles,
              (std::vector<std::string>{"Save changes?", "Print"}));
    EXPECT_FALSE(modalDialogsOf({notes, other, ask, print}, 2).overCaptured);
    EXPECT_TRUE(modalDialogsOf({notes, other, ask}, 1).overCaptured);
    // The dialog itself in front: nothing else is modal.
    EXPECT_TRUE(modalDialogsOf({notes, other, ask}, 3).titles.empty());
    // A modal dialog of nothing in particular is no dialog of the captured window.
    EXPECT_FALSE(modalDialogsOf({notes, print}, 0).overCaptured);
}

}  // namespace
}  // namespace ovra::x11
