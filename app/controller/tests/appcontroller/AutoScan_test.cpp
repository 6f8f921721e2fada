// Auto-scan in the open overlay: its pace, its end, and a key that stops it.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, AutoScanWalksThreeRoundsAndAKeyStopsIt) {
    prefs_.set(keys::autoScan, true);
    prefs_.set(keys::sidebar, false);
    open({"Save", "Print", "Share", "Export"});
    const auto moves = [this](double seconds) {
        const std::size_t before = announced_.size();
        scheduler_.advance(seconds);
        return announced_.size() - before;
    };
    EXPECT_EQ(moves(2.9), 0u);
    EXPECT_EQ(moves(0.2), 1u);  // 3 s: half an interval late
    EXPECT_EQ(moves(22), 10u);  // every 2 s, 11 moves; the 12th tick (25 s) stops
    EXPECT_FALSE(controller().overlay().scanning());
    EXPECT_EQ(moves(10), 0u);
    // A key stops it; a stored interval of 0 is held to the settings row's 0.5 s.
    InMemoryDefaults fast(Json{{"scanInterval", 0}, {"autoScan", true}, {"sidebar", false}});
    Preferences prefs(fast);
    ASSERT_EQ(prefs.get(keys::scanInterval), 0.5);
    prefs_.set(keys::scanInterval, 0.5);
    open({"Save", "Print", "Share", "Export"});
    EXPECT_EQ(moves(0.76), 1u);
    EXPECT_EQ(moves(0.5), 1u);
    press(kRight);
    EXPECT_FALSE(controller().overlay().scanning());
    EXPECT_EQ(moves(5), 0u);
}

}  // namespace
}  // namespace ovra::controllertest
