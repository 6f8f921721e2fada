// Keys typed while the overlay fades, over Chromium on a page that counts every key it sees and
// has its note field focused: a second Escape typed 40 ms after the first, and keys typed while
// the overlay steps aside after a scroll and then Escape, reach neither the overlay nor the
// page; once the overlay has faded the keyboard is back with the page, and letters land in its
// field.

#include <chrono>
#include <thread>

#include "app/controller/tests/appcontroller/desktop/AppOverAccountPage.h"

namespace ovra::testing {
namespace {

namespace Letter {
inline constexpr std::uint16_t h = 4, e = 14, l = 37, o = 31, w = 13, j = 38;
}

class FadingKeysDesktop : public AppOverAccountPage {
  protected:
    void SetUp() override { launch("ctrl-opt-space", OVRA_KEYS_PAGE, "Save note"); }

    // What the page saw: "keys 1 [a] field [a]".
    bool pageSaw(const std::string& text) { return titleBecomes(text); }
    // Looks every few milliseconds: the overlay steps aside only for a moment after a reading.
    bool plansReach(std::size_t count) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            if (requests() >= count) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        return false;
    }
    void closeWithEscape() {
        keys_.tap(Keys::escape);
        ASSERT_TRUE(overlayGone());
        ASSERT_TRUE(keyboardBack()) << title();
    }
};

TEST_F(FadingKeysDesktop, AfterEscapeAndTheFadeLettersLandInTheFocusedField) {
    hotkey();
    ASSERT_TRUE(overlayShows(true, "open")) << log();
    closeWithEscape();
    for (const std::uint16_t key : {Letter::h, Letter::e, Letter::l, Letter::l, Letter::o}) {
        keys_.tap(key);
    }
    EXPECT_TRUE(pageSaw("keys 5 [h e l l o] field [hello]")) << title();
}

TEST_F(FadingKeysDesktop, KeysTypedWhileTheOverlayFadesReachNothing) {
    // Escape twice, 40 ms apart: the second comes while the overlay fades.
    hotkey();
    ASSERT_TRUE(overlayShows(true, "twice")) << log();
    keys_.tap(Keys::escape);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    closeWithEscape();
    keys_.tap(Keys::a);
    EXPECT_TRUE(pageSaw("keys 1 [a] field [a]")) << title();

    // A scroll key, keys typed while the overlay steps aside to take the page's picture again
    // (they wait for it), then Escape.
    hotkey();
    ASSERT_TRUE(overlayShows(true, "scrolled")) << log();
    const std::size_t plans = requests();
    keys_.tap(Letter::j);
    ASSERT_TRUE(plansReach(plans + 1)) << log();
    keys_.tap(Keys::two);
    keys_.tap(Letter::w);
    closeWithEscape();
    keys_.tap(Keys::b);
    EXPECT_TRUE(pageSaw("keys 2 [a b] field [ab]")) << title();
}

}  // namespace
}  // namespace ovra::testing
