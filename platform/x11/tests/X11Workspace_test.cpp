#include "platform/x11/X11Workspace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace ovra::x11 {
namespace {

EnvironmentLookup environment(std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
        auto it = values.find(name);
        if (it == values.end()) {
            return std::nullopt;
        }
        return it->second;
    };
}

TEST(SessionRefusal, AcceptsX11Sessions) {
    EXPECT_EQ(sessionRefusal(environment({{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}})),
              std::nullopt);
    // No session type (a plain X server started by hand) is fine when a display is set.
    EXPECT_EQ(sessionRefusal(environment({{"DISPLAY", ":1"}})), std::nullopt);
}

TEST(SessionRefusal, RefusesWaylandEvenWithXWayland) {
    // XWayland sets DISPLAY too, but other apps' controls have no global coordinates there.
    auto refusal = sessionRefusal(environment(
        {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}));
    ASSERT_TRUE(refusal.has_value());
    EXPECT_THAT(*refusal, testing::HasSubstr("X11 session"));
    EXPECT_THAT(*refusal, testing::HasSubstr("Wayland"));
}

TEST(SessionRefusal, RefusesWaylandDisplayWithoutSessionType) {
    EXPECT_TRUE(sessionRefusal(environment({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}))
                    .has_value());
}

TEST(SessionRefusal, RefusesMissingDisplay) {
    auto refusal = sessionRefusal(environment({{"XDG_SESSION_TYPE", "x11"}}));
    ASSERT_TRUE(refusal.has_value());
    EXPECT_THAT(*refusal, testing::HasSubstr("DISPLAY"));
    EXPECT_TRUE(sessionRefusal(environment({{"DISPLAY", ""}})).has_value());
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
