#include <gtest/gtest.h>

#include "app/diagnostics/selftest/Fixture.h"
#include "app/diagnostics/selftest/SelfTestRunner.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra::selftest {
namespace {

struct Transcript {
    ManualScheduler clock;
    std::vector<std::string> lines;
    std::vector<int> exits;
    int state = 0;

    RunnerOutput output() {
        return {[this](const std::string& line) { lines.push_back(line); },
                [this] { return "state " + std::to_string(state); },
                [this](int code) { exits.push_back(code); }};
    }
    Step step(std::string name) {
        return {name, [this, name] { lines.push_back("action " + name); }};
    }
};

TEST(SelfTestRunner, EachLineShowsTheStateAGapAfterItsAction) {
    for (const bool quiet : {false, true}) {
        Transcript t;
        (quiet ? runQuiet : run)({t.step("a"), t.step("b")}, 1.2, t.clock, t.output());
        // The first action runs inside the call; nothing else before a whole gap has passed.
        EXPECT_EQ(t.lines, std::vector<std::string>{"action a"});
        t.state = 7;
        t.clock.advance(1.19);
        EXPECT_EQ(t.lines.size(), 1u);
        t.clock.advance(0.01);
        t.state = 8;
        t.clock.advance(1.2);
        const std::vector<std::string> loud{"action a", "[a] state 7", "action b", "[b] state 8",
                                            "done"};
        const std::vector<std::string> silent{"action a", "action b", "done"};
        EXPECT_EQ(t.lines, quiet ? silent : loud);
        EXPECT_EQ(t.exits, std::vector<int>{0});
    }
}

TEST(SelfTestRunner, AnEmptyListEndsAtOnce) {
    Transcript t;
    run({}, 1.0, t.clock, t.output());
    EXPECT_EQ(t.lines, std::vector<std::string>{"done"});
    EXPECT_EQ(t.exits, std::vector<int>{0});
    EXPECT_EQ(t.clock.pending(), 0u);
}

TEST(Fixture, OnlyTheDocumentMovesWithTheOffset) {
    const WindowSnapshot top = fixture(0, 42);
    const WindowSnapshot down = fixture(1200, 42);
    ASSERT_TRUE(top.scroll && down.scroll);
    EXPECT_EQ(top.scroll->signals.document, Rect(200, 180, 1000, 3000));
    EXPECT_EQ(down.scroll->signals.document, Rect(200, -1020, 1000, 3000));
    EXPECT_EQ(top.candidates, down.candidates);
    EXPECT_EQ(down.scroll->signals.visible, Rect(200, 180, 1000, 640));
    EXPECT_EQ(top.viewport, Rect(200, 180, 1000, 640));
    EXPECT_EQ(top.windowFrame, Rect(200, 120, 1000, 700));
    EXPECT_EQ(top.app.pid, 42);
    // Nothing in it leads to a live accessibility element.
    EXPECT_TRUE(top.elements.empty());
    EXPECT_TRUE(top.windowElement.isNull());
    EXPECT_TRUE(top.scroll->element.isNull());
    EXPECT_FALSE(top.scroll->scrollBar);

    ASSERT_EQ(top.candidates.size(), 6u);
    EXPECT_EQ(top.candidates[0].title, "Canción nueva");
    EXPECT_EQ(top.candidates[5].role, "AXLink");
    for (int n = 1; n <= 6; ++n) {
        const UICandidate& c = top.candidates[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(c.id, "c" + std::to_string(n));
        EXPECT_EQ(c.order, n);
        EXPECT_EQ(c.frame, Rect(520, 220 + 70 * (n - 1), 220, 36));
    }
}

}  // namespace
}  // namespace ovra::selftest
