// The reader against a small app of our own on the real accessibility bus: toolkits without
// Properties.GetAll, a huge child list, a child on a bus that cannot exist, a slider that
// cannot give all of its values, and a hang.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/FakeAtspiApp.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::dump;
using testing::find;

class FakeAppDesktop : public ::testing::Test {
  protected:
    explicit FakeAppDesktop(bool sleepy = false) : fake_(sleepy) {}

    void SetUp() override {
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

// Reads a toolkit that answers property by property, without ever asking it for what would end
// it or for all of a huge list.
TEST_F(FakeAppDesktop, ReadsPropertyByPropertyWithinBounds) {
    auto read = extractor_.snapshot(app_, backend_, clock_);
    ASSERT_TRUE(read.ok());
    const auto& s = read.value();
    SCOPED_TRACE(dump(s));
    EXPECT_EQ(s.windowTitle, "Fake window");
    EXPECT_EQ(s.windowFrame, Rect(100, 100, 800, 600));
    // A nameless button borrows the words of the read-only text inside, not a stand-in.
    const struct {
        const char* label;
        Rect frame;
    } buttons[] = {{"Press me", Rect(120, 140, 100, 30)}, {"Send now", Rect(240, 140, 100, 30)}};
    for (const auto& b : buttons) {
        const UICandidate* button = find(s, b.label);
        ASSERT_NE(button, nullptr) << b.label;
        EXPECT_EQ(button->role, "AXButton");
        EXPECT_EQ(button->frame, b.frame);
    }
    EXPECT_NE(find(s, "Volume"), nullptr);
    EXPECT_GT(fake_.calls("Get"), 0);
    // It names no toolkit known to answer the bulk read, which would end it as it ends Qt.
    EXPECT_EQ(fake_.calls("GetAll"), 0);
    // The list's children came one index at a time, within the walk's budget.
    EXPECT_GT(fake_.calls("GetChildAtIndex"), 0);
    EXPECT_LE(fake_.calls("GetChildAtIndex"), 4000);

    auto children = backend_.children(s.windowElement, 8);
    ASSERT_TRUE(children.ok());
    std::map<std::string, ax::Element> child;
    for (const auto& c : children.value()) {
        child[c.key().substr(c.key().rfind('/'))] = c;
    }
    ASSERT_EQ(child.count("/l") + child.count("/s"), 2U);
    const int before = fake_.calls("GetChildren");
    auto some = backend_.children(child["/l"], 5);
    ASSERT_TRUE(some.ok());
    EXPECT_EQ(some.value().size(), 5U);
    EXPECT_EQ(fake_.calls("GetChildren"), before);

    // A child on a bus that cannot exist is unreadable, never a crash.
    std::array<std::string_view, 1> role{"AXRole"};
    auto ghost = backend_.attributes(child["/ghost"], role);
    EXPECT_FALSE(ghost.ok() && ghost.value().front().ok());

    // The slider's minimum the app could not give is absent; the other values stand.
    const ax::Element slider = child["/s"];
    EXPECT_EQ(*ax::asString(backend_.attribute(slider, "AXRole").value()), "AXSlider");
    EXPECT_EQ(ax::asNumber(backend_.attribute(slider, "AXValue").value()), 40.0);
    EXPECT_EQ(ax::asNumber(backend_.attribute(slider, "AXMaxValue").value()), 100.0);
    EXPECT_FALSE(backend_.attribute(slider, "AXMinValue").ok());
    auto settable = backend_.isAttributeSettable(slider, "AXValue");
    EXPECT_TRUE(settable.ok() && settable.value());
    // Asking for all Value properties at once would have ended the app.
    EXPECT_EQ(fake_.calls("GetAll org.a11y.atspi.Value"), 0);
    EXPECT_GE(fake_.calls("Get org.a11y.atspi.Value"), 3);
    EXPECT_FALSE(fake_.crashed());
}

TEST_F(FakeAppDesktop, AHungAppEndsTheReadingBeforeOrMidWay) {
    fake_.hang(true);
    auto hung = extractor_.snapshot(app_, backend_, clock_);
    fake_.hang(false);
    ASSERT_FALSE(hung.ok());
    EXPECT_EQ(hung.error(), AXExtractorError::noWindow);

    // A reading fills the cache; the app then stops answering mid-way through the next.
    ASSERT_TRUE(extractor_.snapshot(app_, backend_, clock_).ok());
    backend_.forgetReadings();
    std::thread hangSoon([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fake_.hang(true);
    });
    auto read = extractor_.snapshot(app_, backend_, clock_);
    hangSoon.join();
    fake_.hang(false);
    // Whatever was read in time stands; the reading itself came back, or tells the app stopped
    // answering.
    if (read.ok()) {
        EXPECT_LE(read.value().candidates.size(), 3U);  // two buttons and a slider
    } else {
        EXPECT_THAT(read.error(),
                    ::testing::AnyOf(AXExtractorError::noWindow, AXExtractorError::notResponding));
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
