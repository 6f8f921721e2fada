// The reader against a small app of our own on the real accessibility bus: toolkits without
// Properties.GetAll, a huge child list, a child on a bus that cannot exist, a slider that
// cannot give all of its values, and a hang.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "DesktopReading.h"
#include "FakeAtspiApp.h"
#include "LaunchedApp.h"
#include "platform/atspi/AtspiBackend.h"

namespace ovra {
namespace {

using testing::dump;
using testing::find;

class FakeAppDesktop : public ::testing::Test {
  protected:
    explicit FakeAppDesktop(bool sleepy = false) : fake_(sleepy) {}

    void SetUp() override {
        if (std::getenv("OVRA_DESKTOP") == nullptr) {
            GTEST_SKIP() << "needs a desktop: run under scripts/with-desktop";
        }
        ASSERT_TRUE(fake_.ready());
        // The registry lists the app once it has taken in the app's announcement.
        ASSERT_TRUE(testing::eventually(
            [&] { return backend_.applicationElement(app_).key().starts_with(fake_.busName()); }));
    }

    testing::FakeAtspiApp fake_;
    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    ax::RunningApp app_{getpid(), std::string("Fake")};
};

TEST_F(FakeAppDesktop, ReadsAToolkitThatAnswersPropertyByProperty) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    const auto& s = read.value();
    SCOPED_TRACE(dump(s));
    EXPECT_EQ(s.windowTitle, "Fake window");
    EXPECT_EQ(s.windowFrame, Rect(100, 100, 800, 600));
    const UICandidate* button = find(s, "Press me");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role, "AXButton");
    EXPECT_EQ(button->frame, Rect(120, 140, 100, 30));
    EXPECT_GT(fake_.calls("Get"), 0);
    // It names no toolkit known to answer the bulk read, which would end it as it ends Qt.
    EXPECT_EQ(fake_.calls("GetAll"), 0);
}

TEST_F(FakeAppDesktop, ANamelessButtonBorrowsTheTextOfTheLabelInside) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    SCOPED_TRACE(dump(read.value()));
    // Read-only text is a label: it lends its words, not a filled-in stand-in.
    const UICandidate* send = find(read.value(), "Send now");
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(send->role, "AXButton");
    EXPECT_EQ(send->frame, Rect(240, 140, 100, 30));
}

TEST_F(FakeAppDesktop, NeverAsksForAllOfAHugeChildList) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    // The list's children came one index at a time, within the walk's budget.
    EXPECT_GT(fake_.calls("GetChildAtIndex"), 0);
    EXPECT_LE(fake_.calls("GetChildAtIndex"), 4000);
    auto list = backend_.children(read.value().windowElement, 8);
    ASSERT_TRUE(list.ok());
    const int before = fake_.calls("GetChildren");
    ax::Element rows;
    for (const auto& child : list.value()) {
        if (child.key().ends_with("/w/l")) {
            rows = child;
        }
    }
    ASSERT_FALSE(rows.isNull());
    auto some = backend_.children(rows, 5);
    ASSERT_TRUE(some.ok());
    EXPECT_EQ(some.value().size(), 5U);
    EXPECT_EQ(fake_.calls("GetChildren"), before);
}

TEST_F(FakeAppDesktop, SkipsAChildOnABusThatCannotExist) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    auto children = backend_.children(read.value().windowElement, 8);
    ASSERT_TRUE(children.ok());
    for (const auto& child : children.value()) {
        if (child.key().ends_with("/w/ghost")) {
            std::array<std::string_view, 1> role{"AXRole"};
            auto attributes = backend_.attributes(child, role);
            // Unreadable, never a crash.
            EXPECT_FALSE(attributes.ok() && attributes.value().front().ok());
        }
    }
}

TEST_F(FakeAppDesktop, ReadsASliderPropertyByPropertyAndKeepsWhatCameBack) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    SCOPED_TRACE(dump(read.value()));
    EXPECT_NE(find(read.value(), "Volume"), nullptr);
    auto children = backend_.children(read.value().windowElement, 8);
    ASSERT_TRUE(children.ok());
    ax::Element slider;
    for (const auto& child : children.value()) {
        if (child.key().ends_with("/w/s")) {
            slider = child;
        }
    }
    ASSERT_FALSE(slider.isNull());
    auto role = backend_.attribute(slider, "AXRole");
    ASSERT_TRUE(role.ok());
    EXPECT_EQ(*ax::asString(role.value()), "AXSlider");
    auto value = backend_.attribute(slider, "AXValue");
    ASSERT_TRUE(value.ok());
    EXPECT_EQ(ax::asNumber(value.value()), 40.0);
    auto maximum = backend_.attribute(slider, "AXMaxValue");
    ASSERT_TRUE(maximum.ok());
    EXPECT_EQ(ax::asNumber(maximum.value()), 100.0);
    // The minimum the app could not give is absent; the other two stand.
    EXPECT_FALSE(backend_.attribute(slider, "AXMinValue").ok());
    auto settable = backend_.isAttributeSettable(slider, "AXValue");
    EXPECT_TRUE(settable.ok() && settable.value());
    // Asking for all Value properties at once would have ended the app.
    EXPECT_EQ(fake_.calls("GetAll org.a11y.atspi.Value"), 0);
    EXPECT_GE(fake_.calls("Get org.a11y.atspi.Value"), 3);
    EXPECT_FALSE(fake_.crashed());
}

TEST_F(FakeAppDesktop, AHungAppEndsTheReading) {
    fake_.hang(true);
    auto read = extractor_.snapshot(app_, backend_, clock_);
    fake_.hang(false);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error(), AXExtractorError::noWindow);
}

TEST_F(FakeAppDesktop, AnAppThatHangsMidReadingStillEndsIt) {
    // A first reading fills the cache; the app then stops answering mid-way through the next.
    ASSERT_TRUE(extractor_.snapshot(app_, backend_, clock_).ok());
    backend_.forgetReadings();
    std::thread hangSoon([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fake_.hang(true);
    });
    auto read = extractor_.snapshot(app_, backend_, clock_);
    hangSoon.join();
    fake_.hang(false);
    // Whatever was read in time stands; the reading itself came back.
    if (read.ok()) {
        EXPECT_LE(read.value().candidates.size(), 3U);  // two buttons and a slider
    } else {
        EXPECT_EQ(read.error(), AXExtractorError::noWindow);
    }
}

class SleepyAppDesktop : public FakeAppDesktop {
  protected:
    SleepyAppDesktop() : FakeAppDesktop(true) {}
};

TEST_F(SleepyAppDesktop, WakesAnAppThatShowsAnEmptyWindowAndReadsAgain) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    EXPECT_GT(fake_.calls("GetAttributes"), 0);
    EXPECT_NE(find(read.value(), "Press me"), nullptr) << dump(read.value());
}

}  // namespace
}  // namespace ovra
