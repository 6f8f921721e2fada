// The keyboard held from a hotkey's press: the keys typed meanwhile reach the handler, and the
// keyboard is given back on every way out: once the keys can go where they belong, to a window
// of ours that shows without the focus, at the deadline when nothing comes, when the hold goes
// away, and never taken when refused.

#include "platform/hotkeys/KeyboardHold.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/hotkeys/FakeHotkeyGrabber.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra::hotkeys {
namespace {

const Chord kHotkey{49, ChordModifier::control | ChordModifier::alt};
const std::vector<std::string> kHeldAndGiven{"hold keyboard", "let keyboard go"};

TEST(KeyboardHold, EveryWayOutGivesTheKeyboardBack) {
    enum class Way { overAfterAWhile, shownUnfocused, nothingComes, holdDestroyed, takenElsewhere };
    struct Row {
        const char* what;
        Way way;
        double releasedBy;  // seconds after the press
        std::vector<std::string> changes;
    };
    const std::vector<Row> rows{
        {"focus comes", Way::overAfterAWhile, 0.5, kHeldAndGiven},
        {"shown, never focused", Way::shownUnfocused, 0.3 + KeyboardHold::kHandOver, kHeldAndGiven},
        {"nothing comes", Way::nothingComes, KeyboardHold::kLongest, kHeldAndGiven},
        {"the app ends", Way::holdDestroyed, 0.1, kHeldAndGiven},
        {"another program holds it", Way::takenElsewhere, 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeHotkeyGrabber grabber;
        ManualScheduler scheduler;
        bool over = false;
        // A window of ours shows at 0.3 s, unless nothing comes.
        bool shown = false;
        std::vector<std::uint32_t> typed;
        auto hold = std::make_unique<KeyboardHold>(
            grabber, scheduler, KeyboardHold::Signs{[&] { return over; }, [&] { return shown; }},
            [&](const HeldKey& key) { typed.push_back(key.xKeycode); });
        ASSERT_EQ(grabber.grab(1, kHotkey), GrabOutcome::grabbed);
        grabber.keyboardTakenElsewhere(row.way == Way::takenElsewhere);
        int presses = 0;
        grabber.setPressHandler([&](HotkeyId) { ++presses; });
        // Held from the press, before its action runs: the action may open a request.
        ASSERT_TRUE(grabber.press(kHotkey));
        EXPECT_EQ(presses, 1);
        EXPECT_EQ(grabber.type({.xKeycode = 12}), row.way != Way::takenElsewhere);

        const double step = 0.05;
        for (double t = 0; t < KeyboardHold::kLongest + 1 && grabber.keyboardHeld(); t += step) {
            EXPECT_LT(t, row.releasedBy + step) << "still held";
            if (row.way == Way::overAfterAWhile && t >= 0.5) {
                over = true;
            }
            shown = row.way != Way::nothingComes && t >= 0.3 - 1e-9;
            if (row.way == Way::holdDestroyed && t >= 0.1) {
                hold.reset();
                break;
            }
            // A press while held keeps the first deadline.
            if (t >= 0.4 && t < 0.4 + step) {
                grabber.press(kHotkey);
            }
            scheduler.advance(step);
        }
        EXPECT_FALSE(grabber.keyboardHeld());
        EXPECT_FALSE(grabber.type({.xKeycode = 13})) << "a key after the hold reached it";
        std::vector<std::string> changes(grabber.changes().begin() + 1, grabber.changes().end());
        EXPECT_EQ(changes, row.changes);
        EXPECT_EQ(typed, row.way == Way::takenElsewhere ? std::vector<std::uint32_t>{}
                                                        : std::vector<std::uint32_t>{12});
    }
}

}  // namespace
}  // namespace ovra::hotkeys
