// The manager's two slots over a fake grabber: registering, failing, re-registering and which
// action a press runs.

#include "app/controller/HotkeyManager.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/SettingsTypes.h"
#include "platform/hotkeys/FakeHotkeyGrabber.h"

namespace ovra {
namespace {

using hotkeys::Chord;
using hotkeys::GrabOutcome;
using Slot = HotkeyManager::Slot;

constexpr std::uint32_t kFindModifiers = HotkeyModifier::command | HotkeyModifier::shift;

class HotkeyManagerTest : public ::testing::Test {
  protected:
    hotkeys::FakeHotkeyGrabber grabber_;
    std::uint16_t slash_ = 44;
    std::vector<std::string> ran_;
    HotkeyManager manager_{grabber_, [this] { return slash_; }, [this] { ran_.push_back("main"); }};
};

TEST_F(HotkeyManagerTest, MainHotkeyRegistersReplacesAndFailsToNothing) {
    ASSERT_TRUE(manager_.registerKey(49, HotkeyModifier::option));
    EXPECT_TRUE(grabber_.press({49, HotkeyModifier::option}));
    ASSERT_TRUE(manager_.registerKey(3, HotkeyModifier::control | HotkeyModifier::option));
    EXPECT_FALSE(grabber_.press({49, HotkeyModifier::option}));  // the old chord is let go
    EXPECT_TRUE(grabber_.press({3, HotkeyModifier::control | HotkeyModifier::option}));
    EXPECT_EQ(ran_, (std::vector<std::string>{"main", "main"}));

    // A taken chord leaves the slot unregistered, though the old chord had worked.
    grabber_.takeElsewhere({105, 0});
    EXPECT_FALSE(manager_.registerKey(105, 0));
    EXPECT_FALSE(manager_.isRegistered(Slot::main));
    EXPECT_TRUE(grabber_.grabbed().empty());
    EXPECT_EQ(manager_.lastOutcome(Slot::main), GrabOutcome::taken);
    EXPECT_FALSE(manager_.registerKey(0x10031, 0));  // no key has such a code
    EXPECT_EQ(manager_.lastOutcome(Slot::main), GrabOutcome::noSuchKey);
    manager_.unregister(Slot::main);  // not registered (any more), never registered: harmless
    manager_.unregister(Slot::find);
}

TEST_F(HotkeyManagerTest, FindHotkeyFollowsTheSlashKeyAndKeepsItsAction) {
    ASSERT_TRUE(manager_.registerFind([this] { ran_.push_back("find"); }));
    EXPECT_EQ(grabber_.grabbed().at(2), (Chord{44, kFindModifiers}));
    slash_ = 26;  // the layout changed to German: Shift+7 types "/"
    ASSERT_TRUE(manager_.registerFind([this] { ran_.push_back("find again"); }));
    EXPECT_EQ(grabber_.grabbed().at(2), (Chord{26, kFindModifiers}));
    EXPECT_FALSE(grabber_.press({44, kFindModifiers}));
    EXPECT_TRUE(grabber_.press({26, kFindModifiers}));

    // Taken, or a layout whose fallback position this keyboard lacks: false, action kept.
    grabber_.takeElsewhere({26, kFindModifiers});
    EXPECT_FALSE(manager_.registerFind([this] { ran_.push_back("kept"); }));
    slash_ = 44;
    grabber_.removeKey(44);
    EXPECT_FALSE(manager_.registerFind([this] { ran_.push_back("kept"); }));
    EXPECT_EQ(manager_.lastOutcome(Slot::find), GrabOutcome::noSuchKey);
    EXPECT_FALSE(manager_.isRegistered(Slot::find));
    grabber_.pressId(2);
    EXPECT_EQ(ran_, (std::vector<std::string>{"find again", "kept"}));
}

// Registering again (at every layout change) leaves a key the slot holds grabbed, and grabs a
// new key before it lets go of the old one: no press falls into a gap.
TEST_F(HotkeyManagerTest, RegisteringAgainNeverLeavesTheSlotWithoutItsKey) {
    ASSERT_TRUE(manager_.registerKey(49, HotkeyModifier::control | HotkeyModifier::option));
    ASSERT_TRUE(manager_.registerFind([] {}));
    const std::vector<std::string> first{"grab 1 49", "grab 2 44"};
    ASSERT_EQ(grabber_.changes(), first);
    ASSERT_TRUE(manager_.registerKey(49, HotkeyModifier::control | HotkeyModifier::option));
    ASSERT_TRUE(manager_.registerFind([] {}));
    EXPECT_EQ(grabber_.changes(), first);

    slash_ = 94;  // a group whose "/" is on another key
    ASSERT_TRUE(manager_.registerFind([] {}));
    ASSERT_TRUE(manager_.registerKey(3, HotkeyModifier::control | HotkeyModifier::option));
    EXPECT_EQ(grabber_.changes(),
              (std::vector<std::string>{"grab 1 49", "grab 2 44", "grab 2 94", "release 2 44",
                                        "grab 1 3", "release 1 49"}));
    EXPECT_EQ(manager_.chord(Slot::find), (Chord{94, kFindModifiers}));
}

TEST_F(HotkeyManagerTest, PressesRunTheirSlotsActionAndUnknownIdsTheMainOne) {
    grabber_.pressId(2);  // find has no action yet
    grabber_.pressId(1);
    grabber_.pressId(77);
    EXPECT_EQ(ran_, (std::vector<std::string>{"main", "main"}));
}

}  // namespace
}  // namespace ovra
