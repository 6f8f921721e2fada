// The settings window's model: its panes and their stops, the focus when the window opens on a
// pane, and the banner's writers.

#include "app/settings/DashboardModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/settings/DashboardModelObject.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;

TEST(OvraPane, RawValuesStopsAndShortcutsNameEachPaneExactly) {
    EXPECT_EQ(OvraPane::fromRawValue("Your choices"), OvraPane::choices);
    for (const char* notAPane : {"your choices", "Choices", "pane.Home", ""}) {
        EXPECT_EQ(OvraPane::fromRawValue(notAPane), std::nullopt) << notAPane;
    }
    EXPECT_EQ(OvraPane(OvraPane::mac).stopID(), "pane.Mac accessibility");
    EXPECT_EQ(OvraPane(OvraPane::mac).title(), "Desktop accessibility");
    for (const OvraPane pane : OvraPane::allCases()) {
        EXPECT_EQ(OvraPane::fromStopID(pane.stopID()), pane);
    }
    EXPECT_EQ(OvraPane::fromStopID("look.dim"), std::nullopt);
    EXPECT_EQ(OvraPane::forShortcut("1"), OvraPane::home);
    EXPECT_EQ(OvraPane::forShortcut("7"), OvraPane::instructions);
    for (const char* other : {"8", "9", "0", "", "12", "a"}) {
        EXPECT_EQ(OvraPane::forShortcut(other), std::nullopt) << other;
    }
}

TEST(DashboardModel, OpensOnAPaneWithTheFocusOnItsSidebarEntry) {
    DashboardModel model;
    EXPECT_EQ(model.pane(), OvraPane::home);
    EXPECT_EQ(model.focusID(), "pane.Home");
    EXPECT_TRUE(model.sidebarHasFocus());
    EXPECT_EQ(model.banner(), std::nullopt);
    EXPECT_EQ(model.feature(), OvraFeature::allCases().front());
    EXPECT_EQ(model.reading(), std::nullopt);

    std::vector<std::string> heard;
    model.onWillChange(
        [&](DashboardField f) { heard.push_back("will " + std::to_string(int(f))); });
    model.onChange([&](DashboardField f) { heard.push_back("did " + std::to_string(int(f))); });
    model.setFocusID("look.dim");
    EXPECT_FALSE(model.sidebarHasFocus());
    heard.clear();
    model.openOn(OvraPane::general);
    EXPECT_EQ(model.pane(), OvraPane::general);
    EXPECT_EQ(model.focusID(), "pane.General");
    EXPECT_THAT(heard, ElementsAre("will 0", "did 0", "will 1", "did 1"));
    model.setFocusID(std::nullopt);
    EXPECT_TRUE(model.sidebarHasFocus());
}

TEST(DashboardModel, EachBannerCarriesItsOwnProblemFlag) {
    DashboardModel model;
    DashboardModelObject object(model);
    int signalled = 0;
    QObject::connect(&object, &DashboardModelObject::changed, [&](DashboardField f) {
        signalled += f == DashboardField::bannerIsProblem ? 1 : 0;
    });
    model.showMessage("The update could not be installed.", true);
    model.showMessage("Ovra is up to date.", false);
    EXPECT_EQ(model.banner(), "Ovra is up to date.");
    EXPECT_FALSE(model.bannerIsProblem());
    EXPECT_EQ(signalled, 2);

    model.showMessage("The update could not be installed.", true);
    model.setBanner(std::nullopt);  // the window closed
    EXPECT_TRUE(model.bannerIsProblem());
    model.showPermissionNote("Access is on. Press Alt Space in any app.");
    EXPECT_FALSE(model.bannerIsProblem());
}

}  // namespace
}  // namespace ovra
