// A held key is one press, whichever way the server reports its auto-repeat.

#include "platform/hotkeys/RepeatFilter.h"

#include <gtest/gtest.h>

namespace ovra::hotkeys {
namespace {

TEST(RepeatFilter, OnlyTheFirstPressOfAHeldKeyCounts) {
    RepeatFilter detectable(true);  // repeats are presses without releases
    EXPECT_TRUE(detectable.press(65, 100));
    EXPECT_FALSE(detectable.press(65, 700));
    EXPECT_TRUE(detectable.press(41, 745));  // another key held alongside
    detectable.release(65, 900);
    EXPECT_TRUE(detectable.press(65, 1200));
    detectable.release(65, 1210);
    EXPECT_TRUE(detectable.press(65, 1210));  // synthetic input: released and pressed at once
    detectable.forgetHeld();                  // its release went elsewhere
    EXPECT_TRUE(detectable.press(65, 1500));

    RepeatFilter plain(false);  // each repeat is a release and a press at the same time
    EXPECT_TRUE(plain.press(65, 100));
    plain.release(65, 700);
    EXPECT_FALSE(plain.press(65, 700));
    plain.release(65, 900);
    EXPECT_TRUE(plain.press(65, 1250));  // released for real, then pressed again
}

}  // namespace
}  // namespace ovra::hotkeys
