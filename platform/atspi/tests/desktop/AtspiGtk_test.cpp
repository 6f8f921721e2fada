// Reads native GTK 3 widgets (gtk3-widget-factory) over the real accessibility bus.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::dump;
using testing::eventually;
using testing::find;

class GtkDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        app_ = testing::LaunchedApp::start({"gtk3-widget-factory"});
        ASSERT_TRUE(app_.running());
        ax::RunningApp front{app_.pid(), std::nullopt};
        ASSERT_TRUE(eventually([&] {
            auto app = backend_.frontmostApp();
            if (app && app->pid == app_.pid()) {
                front = *app;
                return true;
            }
            return false;
        }));
        ASSERT_TRUE(eventually([&] {
            auto read = extractor_.snapshot(front, backend_, clock_);
            if (!read) {
                return false;
            }
            snapshot_ = std::move(read).value();
            return find(snapshot_, "checkbutton") != nullptr &&
                   find(snapshot_, "Page 1") != nullptr;
        })) << dump(snapshot_);
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    testing::LaunchedApp app_;
    WindowSnapshot snapshot_;
};

TEST_F(GtkDesktop, ReadsNativeWidgetsWithTheirStatesAndPressesAToggle) {
    SCOPED_TRACE(dump(snapshot_));
    ASSERT_GT(snapshot_.windowFrame.width(), 0);
    int checked = 0, unchecked = 0, filled = 0, empty = 0;
    for (const auto& c : snapshot_.candidates) {
        EXPECT_TRUE(snapshot_.windowFrame.intersects(c.frame)) << c.id;
        EXPECT_GT(c.frame.width(), 0) << c.id;
        EXPECT_GT(c.frame.height(), 0) << c.id;
        if (c.label() == "checkbutton") {
            EXPECT_EQ(c.role, "AXCheckBox");
            EXPECT_EQ(c.subrole, std::nullopt);
            (c.value == "checked" ? checked : unchecked) += 1;
        }
        // Fields say only whether they are filled, never what they hold.
        if (c.role == "AXTextField") {
            EXPECT_TRUE(c.value == "filled" || c.value == "empty") << c.value;
            (c.value == "filled" ? filled : empty) += 1;
        }
    }
    // The factory shows one ticked and two clear check buttons side by side.
    EXPECT_EQ(checked, 1);
    EXPECT_EQ(unchecked, 2);
    EXPECT_GE(filled, 1);
    EXPECT_GE(empty, 1);
    const struct {
        const char* label;
        const char* role;
        std::optional<std::string> subrole;
    } expected[] = {{"togglebutton", "AXCheckBox", "AXToggle"},
                    {"radiobutton", "AXRadioButton", std::nullopt}};
    for (const auto& e : expected) {
        const UICandidate* c = find(snapshot_, e.label);
        ASSERT_NE(c, nullptr) << e.label;
        EXPECT_EQ(c->role, e.role);
        EXPECT_EQ(c->subrole, e.subrole);
    }
    // The page switcher in the header bar: the shown page is the checked one.
    EXPECT_EQ(find(snapshot_, "Page 1")->value, "checked");
    EXPECT_EQ(find(snapshot_, "Page 2")->value, "unchecked");

    const auto toggle = std::find_if(
        snapshot_.candidates.begin(), snapshot_.candidates.end(),
        [](const auto& c) { return c.label() == "togglebutton" && c.value == "unchecked"; });
    ASSERT_NE(toggle, snapshot_.candidates.end());
    const Rect frame = toggle->frame;
    ASSERT_EQ(backend_.performAction(snapshot_.elements.at(toggle->id), "AXPress"), std::nullopt);
    EXPECT_TRUE(eventually([&] {
        auto again = extractor_.snapshot(snapshot_.app, backend_, clock_);
        const auto& read = again ? again.value().candidates : std::vector<UICandidate>{};
        return std::any_of(read.begin(), read.end(), [&](const UICandidate& c) {
            return c.label() == "togglebutton" && c.frame == frame && c.value == "checked";
        });
    }));
}

}  // namespace
}  // namespace ovra
