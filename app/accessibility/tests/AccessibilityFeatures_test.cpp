// The desktop accessibility catalogue, its polled states and the settings opener.

#include "app/accessibility/AccessibilityFeatures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const AccessibilityFeature* feature(std::string_view id) {
    for (const auto& f : DesktopAccessibility::features()) {
        if (f.id == id) {
            return &f;
        }
    }
    return nullptr;
}

// The three kinds of state: a switch as it stands, reduced motion as the reverse of the
// animations, sizes as on above the desktop's default; a value of another type is no state.
// That every feature's key is there is read off the real schemas in the desktop test.
TEST(AccessibilityCatalogue, StatesReadTheirKeysAndOnlyOfTheRightType) {
    const char* iface = "org.gnome.desktop.interface";
    const std::tuple<const char*, const char*, const char*, desktop::MemorySettings::Value,
                     std::optional<bool>>
        cases[] = {
            {"voiceover", "org.gnome.desktop.a11y.applications", "screen-reader-enabled", true,
             true},
            {"voiceover", "org.gnome.desktop.a11y.applications", "screen-reader-enabled",
             std::string("yes"), std::nullopt},
            {"motion", iface, "enable-animations", false, true},
            {"largetext", iface, "text-scaling-factor", 1.0, false},
            {"largetext", iface, "text-scaling-factor", 1.25, true},
            {"cursorsize", iface, "cursor-size", 24.0, false},
            {"cursorsize", iface, "cursor-size", 48.0, true},
        };
    for (const auto& [id, schema, key, value, on] : cases) {
        SCOPED_TRACE(id);
        desktop::MemorySettings settings;
        EXPECT_EQ(feature(id)->isOn(settings), std::nullopt);  // no schema: cannot be read
        settings.set(schema, key, value);
        EXPECT_EQ(feature(id)->isOn(settings), on);
    }
}

class StatusTest : public ::testing::Test {
  protected:
    StatusTest() {
        subscription_ = status_.states().subscribe(
            [this](const DesktopAccessibilityStatus::States& s) { published_.push_back(s); });
    }
    ~StatusTest() override { status_.states().unsubscribe(subscription_); }

    desktop::MemorySettings settings_;
    ManualScheduler later_;
    bool orca_ = false;  // the voice's own screen reader test
    DesktopAccessibilityStatus status_{settings_, later_, [this] { return orca_; }};
    std::vector<DesktopAccessibilityStatus::States> published_;
    std::size_t subscription_ = 0;
};

TEST_F(StatusTest, NothingIsReadBeforeStartThenOnePublishOfEveryFeature) {
    later_.advance(5);
    EXPECT_THAT(published_, IsEmpty());
    EXPECT_EQ(settings_.reads(), 0);

    settings_.set("org.gnome.desktop.interface", "enable-animations", true);
    status_.start();
    ASSERT_EQ(published_.size(), 1u);
    const auto& states = published_.front();
    EXPECT_EQ(states.size(), DesktopAccessibility::features().size());
    EXPECT_EQ(states.at("motion"), false);
    EXPECT_EQ(states.at("voiceover"), std::nullopt);
    later_.advance(2.5);
    EXPECT_EQ(published_.size(), 1u) << "quiet polls publish nothing";
    EXPECT_GT(settings_.reads(), 2 * static_cast<int>(states.size()));  // it did poll
}

TEST_F(StatusTest, EachChangeShowsWithinASecondAndOnlyThatChanges) {
    settings_.set("org.gnome.desktop.interface", "enable-animations", true);
    settings_.set("org.gnome.desktop.a11y.applications", "screen-reader-enabled", true);
    status_.start();
    settings_.set("org.gnome.desktop.interface", "enable-animations", false);
    later_.advance(1.0);
    ASSERT_EQ(published_.size(), 2u);
    auto before = published_[0];
    auto after = published_[1];
    EXPECT_EQ(after.at("motion"), true);
    after.erase("motion");
    before.erase("motion");
    EXPECT_EQ(before, after);

    // A state that becomes unreadable is a change too.
    settings_.erase("org.gnome.desktop.a11y.applications", "screen-reader-enabled");
    later_.advance(1.0);
    ASSERT_EQ(published_.size(), 3u);
    EXPECT_EQ(published_[2].at("voiceover"), std::nullopt);
    // Orca started by hand: on, as the voice finds it.
    orca_ = true;
    later_.advance(1.0);
    EXPECT_EQ(published_.back().at("voiceover"), true);
}

TEST_F(StatusTest, StopEndsPollingAndStartAgainKeepsOneTimer) {
    status_.start();
    status_.start();
    EXPECT_EQ(later_.pending(), 1u);
    status_.stop();
    EXPECT_FALSE(status_.isPolling());
    EXPECT_EQ(later_.pending(), 0u);
    {
        DesktopAccessibilityStatus gone(settings_, later_);
        gone.start();
    }
    EXPECT_EQ(later_.pending(), 0u);
}

TEST(SystemSettingsOpening, OpensThePageThenSendsOurWindowsBackUnlessItFails) {
    desktop::RecordingSettingsOpener opener;
    int sentBack = 0;
    SystemSettings settings(opener, [&] { ++sentBack; });
    EXPECT_EQ(settings.openSystemSettings(std::nullopt), std::nullopt);
    EXPECT_EQ(DesktopAccessibility::open(feature("stickykeys")->anchor, settings), std::nullopt);
    EXPECT_THAT(opener.pages, ElementsAre("universal-access"));
    EXPECT_EQ(sentBack, 1);

    opener.failure = "no settings app of a known desktop is installed";
    EXPECT_EQ(DesktopAccessibility::open("universal-access", settings),
              "The desktop's settings could not be opened: no settings app of a known desktop is "
              "installed");
    EXPECT_EQ(sentBack, 1);
}

TEST(SystemSettingsOpening, AnAnchorThatIsNoPlainPageOpensTheAccessibilityPage) {
    desktop::RecordingSettingsOpener opener;
    SystemSettings settings(opener, nullptr);
    for (const char* anchor : {"", "--help", "a b", "x;rm", "Keyboard", "keyboard"}) {
        DesktopAccessibility::open(anchor, settings);
    }
    EXPECT_THAT(opener.pages,
                ElementsAre("universal-access", "universal-access", "universal-access",
                            "universal-access", "universal-access", "keyboard"));
}

}  // namespace
}  // namespace ovra
