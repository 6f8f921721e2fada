// The main hotkey named by a letter is grabbed where the layout types that letter, and moves
// with the layout, as the find hotkey does.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, TheMainHotkeysLetterFollowsTheLayout) {
    prefs_.set(keys::hotkeyID, std::string("ctrl-opt-f"));
    hotkeys::FakeHotkeyGrabber& grabber = grabber_;
    std::function<void()> layoutChanged;
    std::uint16_t fKey = 3;  // where the layout types f: the US position
    AppController::Startup startup;
    startup.hotkeys = &grabber;
    startup.letterKeyCode = [&](std::uint16_t code) { return code == 3 ? fKey : code; };
    startup.watchLayout = [&](auto changed) { layoutChanged = changed; };
    controller().start(startup);
    scheduler_.runDue();
    const auto main = [&] { return grabber.grabbed().at(1).keyCode; };
    EXPECT_EQ(main(), 3);

    fKey = 16;  // Dvorak types f where US types y
    layoutChanged();
    EXPECT_EQ(main(), 16);
    EXPECT_TRUE(grabber.press({16, HotkeyModifier::control | HotkeyModifier::option}));
    EXPECT_TRUE(overlay_->shown);
    EXPECT_FALSE(grabber.press({3, HotkeyModifier::control | HotkeyModifier::option}));
    controller_.reset();
}

}  // namespace
}  // namespace ovra::controllertest
