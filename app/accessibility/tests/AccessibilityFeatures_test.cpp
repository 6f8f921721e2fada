// The desktop accessibility catalogue, its polled states and the settings opener.

#include "app/accessibility/AccessibilityFeatures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "ManualDelayedWork.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Row {
    const char* id;
    const char* name;
    const char* schema;
    const char* key;
    bool onWhenTrue;  // the feature is on when the key is true (false: when it is false)
};

// Boolean-backed rows, in catalogue order among themselves.
const Row kFlagRows[] = {
    {"voiceover", "Screen Reader", "org.gnome.desktop.a11y.applications", "screen-reader-enabled",
     true},
    {"zoom", "Zoom", "org.gnome.desktop.a11y.applications", "screen-magnifier-enabled", true},
    {"contrast", "High Contrast", "org.gnome.desktop.a11y.interface", "high-contrast", true},
    {"motion", "Reduce Animation", "org.gnome.desktop.interface", "enable-animations", false},
    {"pointer", "Hover Click", "org.gnome.desktop.a11y.mouse", "dwell-click-enabled", true},
    {"screenkeyboard", "Screen Keyboard", "org.gnome.desktop.a11y.applications",
     "screen-keyboard-enabled", true},
    {"stickykeys", "Sticky Keys", "org.gnome.desktop.a11y.keyboard", "stickykeys-enable", true},
    {"slowkeys", "Slow Keys", "org.gnome.desktop.a11y.keyboard", "slowkeys-enable", true},
    {"bouncekeys", "Bounce Keys", "org.gnome.desktop.a11y.keyboard", "bouncekeys-enable", true},
    {"mousekeys", "Mouse Keys", "org.gnome.desktop.a11y.keyboard", "mousekeys-enable", true},
};

const AccessibilityFeature* feature(std::string_view id) {
    for (const auto& f : DesktopAccessibility::features()) {
        if (f.id == id) {
            return &f;
        }
    }
    return nullptr;
}

TEST(AccessibilityCatalogue, IdsAreUniqueAndInOrder) {
    std::vector<std::string> ids;
    for (const auto& f : DesktopAccessibility::features()) {
        ids.push_back(f.id);
        EXPECT_FALSE(f.name.empty());
        EXPECT_FALSE(f.summary.empty());
        EXPECT_EQ(f.anchor, "universal-access");
        EXPECT_TRUE(f.isOn);
    }
    EXPECT_THAT(ids, ElementsAre("voiceover", "zoom", "contrast", "motion", "pointer", "largetext",
                                 "cursorsize", "screenkeyboard", "stickykeys", "slowkeys",
                                 "bouncekeys", "mousekeys"));
    EXPECT_EQ(feature("voiceover")->shortcut, "Super+Alt+S");
    EXPECT_EQ(feature("zoom")->shortcut, "Super+Alt+8");
    EXPECT_EQ(feature("motion")->focusNote, "Ovra turns off its pulse.");
    EXPECT_EQ(feature("contrast")->focusNote, "Ovra draws thicker highlight rings.");
    EXPECT_EQ(feature("stickykeys")->focusNote, std::nullopt);
}

TEST(AccessibilityCatalogue, EachFlagRowReadsItsOwnKey) {
    for (const auto& row : kFlagRows) {
        SCOPED_TRACE(row.id);
        const auto* f = feature(row.id);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->name, row.name);
        desktop::MemorySettings settings;
        EXPECT_EQ(f->isOn(settings), std::nullopt);  // no schema: cannot be read
        settings.set(row.schema, row.key, true);
        EXPECT_EQ(f->isOn(settings), row.onWhenTrue);
        settings.set(row.schema, row.key, false);
        EXPECT_EQ(f->isOn(settings), !row.onWhenTrue);
        settings.set(row.schema, row.key, std::string("yes"));  // another type
        EXPECT_EQ(f->isOn(settings), std::nullopt);
    }
}

TEST(AccessibilityCatalogue, SizesCountAsOnAboveTheDesktopDefault) {
    desktop::MemorySettings settings;
    const auto* text = feature("largetext");
    const auto* cursor = feature("cursorsize");
    EXPECT_EQ(text->isOn(settings), std::nullopt);
    settings.set("org.gnome.desktop.interface", "text-scaling-factor", 1.0);
    EXPECT_EQ(text->isOn(settings), false);
    settings.set("org.gnome.desktop.interface", "text-scaling-factor", 1.25);
    EXPECT_EQ(text->isOn(settings), true);
    settings.set("org.gnome.desktop.interface", "cursor-size", 24.0);
    EXPECT_EQ(cursor->isOn(settings), false);
    settings.set("org.gnome.desktop.interface", "cursor-size", 48.0);
    EXPECT_EQ(cursor->isOn(settings), true);
}

class StatusTest : public ::testing::Test {
  protected:
    StatusTest() {
        subscription_ = status_.states().subscribe(
            [this](const DesktopAccessibilityStatus::States& s) { published_.push_back(s); });
    }
    ~StatusTest() override { status_.states().unsubscribe(subscription_); }

    desktop::MemorySettings settings_;
    testing::ManualDelayedWork later_;
    DesktopAccessibilityStatus status_{settings_, later_};
    std::vector<DesktopAccessibilityStatus::States> published_;
    std::size_t subscription_ = 0;
};

TEST_F(StatusTest, StartsEmptyAndIdle) {
    EXPECT_THAT(status_.states().get(), IsEmpty());
    later_.advance(5);
    EXPECT_THAT(published_, IsEmpty());
    EXPECT_EQ(settings_.reads(), 0);
}

TEST_F(StatusTest, FirstReadPublishesEveryFeatureAndQuietPollsPublishNothing) {
    settings_.set("org.gnome.desktop.interface", "enable-animations", true);
    status_.start();
    ASSERT_EQ(published_.size(), 1u);
    const auto& states = published_.front();
    EXPECT_EQ(states.size(), DesktopAccessibility::features().size());
    EXPECT_EQ(states.at("motion"), false);
    EXPECT_EQ(states.at("voiceover"), std::nullopt);
    later_.advance(2.5);
    EXPECT_EQ(published_.size(), 1u);
    EXPECT_GT(settings_.reads(), 2 * static_cast<int>(states.size()));  // it did poll
}

TEST_F(StatusTest, OneChangeShowsWithinASecondAndOnlyThatChanges) {
    settings_.set("org.gnome.desktop.interface", "enable-animations", true);
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
}

TEST_F(StatusTest, AStateThatBecomesUnreadableIsAChange) {
    settings_.set("org.gnome.desktop.a11y.applications", "screen-reader-enabled", true);
    status_.start();
    settings_.erase("org.gnome.desktop.a11y.applications", "screen-reader-enabled");
    later_.advance(1.0);
    ASSERT_EQ(published_.size(), 2u);
    EXPECT_EQ(published_[1].at("voiceover"), std::nullopt);
}

TEST_F(StatusTest, StopEndsPollingAndStartAgainKeepsOneTimer) {
    status_.start();
    status_.start();
    EXPECT_EQ(later_.pending(), 1u);
    status_.stop();
    EXPECT_FALSE(status_.isPolling());
    EXPECT_EQ(later_.pending(), 0u);
}

TEST(StatusLifetime, ATickAfterTheStatusIsGoneDoesNothing) {
    desktop::MemorySettings settings;
    testing::ManualDelayedWork later;
    {
        DesktopAccessibilityStatus status(settings, later);
        status.start();
    }
    EXPECT_EQ(later.pending(), 0u);
    later.advance(3);
}

TEST(SystemSettingsOpening, OpensThePageThenSendsOurWindowsBack) {
    desktop::RecordingSettingsOpener opener;
    int sentBack = 0;
    SystemSettings settings(opener, [&] { ++sentBack; });
    EXPECT_EQ(settings.openSystemSettings(std::nullopt), std::nullopt);
    EXPECT_THAT(opener.pages, IsEmpty());
    EXPECT_EQ(sentBack, 0);

    EXPECT_EQ(DesktopAccessibility::open(feature("stickykeys")->anchor, settings), std::nullopt);
    EXPECT_THAT(opener.pages, ElementsAre("universal-access"));
    EXPECT_EQ(sentBack, 1);
}

TEST(SystemSettingsOpening, AFailureIsSaidAndOurWindowsStay) {
    desktop::RecordingSettingsOpener opener;
    opener.failure = "no settings app of a known desktop is installed";
    int sentBack = 0;
    SystemSettings settings(opener, [&] { ++sentBack; });
    auto error = DesktopAccessibility::open("universal-access", settings);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error,
              "The desktop's settings could not be opened: no settings app of a known desktop is "
              "installed");
    EXPECT_EQ(sentBack, 0);
}

TEST(SystemSettingsOpening, AnAnchorThatIsNoPlainPageOpensTheAccessibilityPage) {
    desktop::RecordingSettingsOpener opener;
    SystemSettings settings(opener, nullptr);
    for (const char* anchor : {"", "--help", "a b", "x;rm", "Keyboard"}) {
        DesktopAccessibility::open(anchor, settings);
    }
    DesktopAccessibility::open("keyboard", settings);
    EXPECT_THAT(opener.pages,
                ElementsAre("universal-access", "universal-access", "universal-access",
                            "universal-access", "universal-access", "keyboard"));
}

}  // namespace
}  // namespace ovra
