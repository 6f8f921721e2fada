#include "platform/atspi/AtspiToolkit.h"

#include <gtest/gtest.h>

namespace ovra::atspi {
namespace {

TEST(AtspiToolkit, HowEachToolkitScalesAndFindsPoints) {
    using Steps = FrameScale::Steps;
    const struct {
        const char* name;
        const char* version;
        Steps steps;
        bool pointsInDevicePixels;
    } cases[] = {
        {"gtk", "3.24.38", Steps::whole, false},    {"GTK", "4.8.3", Steps::whole, false},
        {"Qt", "5.15.8", Steps::anyRatio, false},   {"Qt", "6.4.2", Steps::anyRatio, false},
        {"Chromium", "1.0", Steps::anyRatio, true}, {"Gecko", "153.8.0", Steps::whole, true},
        {"", "", Steps::anyRatio, false},
    };
    for (const auto& c : cases) {
        const Toolkit kit = toolkitOf(c.name, c.version);
        EXPECT_EQ(kit.scaleSteps, c.steps) << c.name << " " << c.version;
        EXPECT_EQ(kit.hitTestsInDevicePixels, c.pointsInDevicePixels) << c.name;
    }
}

TEST(AtspiToolkit, AWindowOnTheBusIsTheXWindowOfItsTitle) {
    const std::vector<std::string> designer{"Qt Designer", "New Form \xe2\x80\x94 Qt Designer",
                                            "New Form (2)"};
    const struct {
        const char* what;
        std::vector<std::string> xTitles;
        const char* name;
        std::optional<std::size_t> expected;
    } cases[] = {
        {"the same title", designer, "Qt Designer", 0},
        {"Qt adds its display name", designer, "New Form", 1},
        {"the same title goes first", {"Page - Browser", "Page"}, "Page", 1},
        {"joined by a hyphen", {"Notes - Editor"}, "Notes", 0},
        {"another title that begins so", {"New Formula"}, "New Form", std::nullopt},
        {"no such title", designer, "Open File", std::nullopt},
        {"an untitled window is no title", {"", "Dialog"}, "", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowTitled(c.xTitles, c.name), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace ovra::atspi
