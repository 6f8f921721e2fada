// The settings window's model: the focus when the window opens on a pane, and the banner's
// writers.

#include "app/settings/DashboardModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/settings/DashboardModelObject.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;

TEST(DashboardModel, OpensOnAPaneWithTheFocusOnItsSidebarEntry) {
    DashboardModel model;
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
