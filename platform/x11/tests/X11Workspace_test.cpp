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

}  // namespace
}  // namespace ovra::x11
