// The find hotkey on a real X server follows the keyboard layout: Super+Shift with the key that
// types "/", moved when the user switches to German.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/controller/HotkeyManager.h"
#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/hotkeys/X11HotkeyGrabber.h"
#include "platform/hotkeys/tests/desktop/TypedKeys.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "platform/keyboard/tests/desktop/DesktopRequired.h"

namespace ovra {
namespace {

namespace Keys = ovra::testing::Keys;
using ovra::testing::pumpUntil;

class FindHotkey : public ::testing::Test {
  protected:
    void SetUp() override {
        OVRA_REQUIRE_DESKTOP();
        ASSERT_EQ(std::system("setxkbmap us"), 0);
        auto watcher = keyboard::KeyboardWatcher::open();
        ASSERT_TRUE(watcher.ok()) << watcher.error();
        watcher_ = std::move(watcher).value();
        auto grabber = hotkeys::X11HotkeyGrabber::open(
            [this](std::uint16_t code) { return watcher_->layout().xKeycode(code); });
        ASSERT_TRUE(grabber.ok()) << grabber.error();
        grabber_ = std::move(grabber).value();
        pump_ = std::make_unique<hotkeys::HotkeyEventPump>(*grabber_);
        manager_ = std::make_unique<HotkeyManager>(
            *grabber_, [this] { return watcher_->layout().slashKeyCode(); }, [] {});
        keys_ = std::make_unique<ovra::testing::TypedKeys>(watcher_->layout());
    }
    void TearDown() override { std::system("setxkbmap us"); }

    std::unique_ptr<keyboard::KeyboardWatcher> watcher_;
    std::unique_ptr<hotkeys::X11HotkeyGrabber> grabber_;
    std::unique_ptr<hotkeys::HotkeyEventPump> pump_;
    std::unique_ptr<HotkeyManager> manager_;
    std::unique_ptr<ovra::testing::TypedKeys> keys_;
    int finds_ = 0;
};

TEST_F(FindHotkey, MovesToShiftSevenAfterSwitchingToGerman) {
    const auto registerFind = [this] { return manager_->registerFind([this] { ++finds_; }); };
    ASSERT_TRUE(registerFind());
    keys_->chord({Keys::super, Keys::shift, Keys::slash});
    ASSERT_TRUE(pumpUntil([&] { return finds_ == 1; })) << "Super+Shift+/ did not find";

    // As the controller does: register again whenever the layout changes.
    QObject::connect(watcher_.get(), &keyboard::KeyboardWatcher::layoutChanged, registerFind);
    ASSERT_EQ(std::system("setxkbmap de"), 0);
    ASSERT_TRUE(pumpUntil([&] { return manager_->slashKeyCode() == Keys::seven; }));
    ASSERT_TRUE(manager_->isRegistered(HotkeyManager::Slot::find));

    // The old position no longer finds; Super+Shift+7 (Shift+7 types "/") does.
    keys_->chord({Keys::super, Keys::shift, Keys::slash});
    keys_->chord({Keys::super, Keys::shift, Keys::seven});
    EXPECT_TRUE(pumpUntil([&] { return finds_ >= 2; }));
    EXPECT_EQ(finds_, 2);
}

}  // namespace
}  // namespace ovra
