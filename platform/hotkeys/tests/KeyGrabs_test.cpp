// A hotkey's grabs under the lock keys, and how they move: new grabs first, grabs held already
// left alone, only what is no longer wanted let go.

#include "platform/hotkeys/KeyGrabs.h"

#include <gtest/gtest.h>

namespace ovra::hotkeys {
namespace {

constexpr std::uint16_t kLock = 0x02, kControl = 0x04, kAlt = 0x08, kNum = 0x10, kMod3 = 0x20;

TEST(KeyGrabs, AChordIsOneGrabPerCombinationOfTheLocks) {
    EXPECT_EQ(lockVariants(65, kControl, {}), (std::vector<KeyGrab>{{65, kControl}}));
    EXPECT_EQ(lockVariants(41, kControl | kAlt, {kLock, kNum}),
              (std::vector<KeyGrab>{{41, kControl | kAlt},
                                    {41, kControl | kAlt | kLock},
                                    {41, kControl | kAlt | kNum},
                                    {41, kControl | kAlt | kLock | kNum}}));
}

TEST(KeyGrabs, AHotkeyTakesWhatItLacksAndLetsGoOfWhatItNoLongerWants) {
    const auto ctrlAlt = [](std::uint32_t keycode, std::vector<std::uint16_t> locks) {
        return lockVariants(keycode, kControl | kAlt, locks);
    };
    struct Row {
        const char* what;
        std::vector<KeyGrab> held, wanted;
        std::vector<KeyGrab> take, letGo;
    };
    const Row rows[] = {
        {"first grab", {}, ctrlAlt(65, {kLock}), ctrlAlt(65, {kLock}), {}},
        {"same key: nothing to do", ctrlAlt(65, {kLock, kNum}), ctrlAlt(65, {kLock, kNum}), {}, {}},
        {"another key", ctrlAlt(61, {kLock}), ctrlAlt(94, {kLock}), ctrlAlt(94, {kLock}),
         ctrlAlt(61, {kLock})},
        {"Num Lock on another modifier: only its grabs move",
         ctrlAlt(65, {kLock, kNum}),
         ctrlAlt(65, {kLock, kMod3}),
         {{65, kControl | kAlt | kMod3}, {65, kControl | kAlt | kLock | kMod3}},
         {{65, kControl | kAlt | kNum}, {65, kControl | kAlt | kLock | kNum}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const GrabChange change = grabChange(row.held, row.wanted);
        EXPECT_EQ(change.take, row.take);
        EXPECT_EQ(change.letGo, row.letGo);
        EXPECT_EQ(change.none(), row.take.empty() && row.letGo.empty());
    }
}

}  // namespace
}  // namespace ovra::hotkeys
