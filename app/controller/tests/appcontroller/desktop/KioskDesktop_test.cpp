// Without a window manager (a kiosk session: no _NET_ACTIVE_WINDOW), the hotkey reads the app
// whose window holds the keyboard (a press lands on its page), and Escape gives the keyboard
// back to it once the overlay has faded: letters typed in the same burst act nowhere, letters
// typed after the overlay is gone reach the page. Runs in a desktop of its own, started without
// a window manager.

#include "app/controller/tests/appcontroller/desktop/AppOverAccountPage.h"

namespace ovra::testing {
namespace {

using KioskDesktop = AppOverAccountPage;

TEST_F(KioskDesktop, TheFocusedAppIsReadAndGetsTheKeyboardBack) {
    ASSERT_EQ(output("xprop -root _NET_ACTIVE_WINDOW").find("window id"), std::string::npos)
        << "a window manager runs";
    launch();
    // As a kiosk session's browser does: its window takes the keyboard itself.
    ASSERT_TRUE(xdotool(searchWindow() + " windowfocus --sync %1"));

    // The overlay numbers the page's buttons: 2 and Return press the second.
    hotkey();
    ASSERT_TRUE(overlayShows(true, "kiosk")) << log();
    keys_.tap(Keys::two);
    keys_.tap(Keys::returnKey);
    EXPECT_TRUE(titleBecomes("pressed: Download your data")) << log();
    ASSERT_TRUE(overlayGone());

    hotkey();
    ASSERT_TRUE(overlayShows(true, "kiosk-again")) << log();
    keys_.tap(Keys::escape);
    keys_.tap(Keys::a);
    keys_.tap(Keys::b);
    ASSERT_TRUE(overlayShows(false, "kiosk-closed"));
    ASSERT_TRUE(overlayGone());
    ASSERT_TRUE(keyboardBack());
    keys_.tap(Keys::c);
    EXPECT_TRUE(titleBecomes("typed: c")) << title();
}

}  // namespace
}  // namespace ovra::testing
