// Native windows whose trees have no end in sight, read over the real accessibility bus: unnamed
// panels 60 wide and six deep, a panel that declares one child and lists 50,000, and panels 500
// wide. The reading reads within its node budget and ends in what the window offers: the app
// answers every request (so never "not responding"), and a window it cannot read whole is told
// "too large". A small tree of the same app is the ordinary counterpart: read whole, as before.
// How fast a reading is, how much memory it takes at its peak and how much it keeps once its
// time is over are the bench's to measure (app/accessibility/bench/NativeTrees_bench.cpp): they
// depend on the machine and its load, not on what the reading does.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <ostream>
#include <string>

#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/FakePanelsApp.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

struct Tree {
    const char* what;
    testing::PanelShape shape;
    bool readsStart;  // the "Start" button before the panels is offered
    std::optional<AXExtractorError> error;
};

void PrintTo(const Tree& tree, std::ostream* out) {
    *out << tree.what;
}

class NativeTreesDesktop : public ::testing::TestWithParam<Tree> {};

TEST_P(NativeTreesDesktop, ReadsWithinItsBudgetWhatTheWindowOffers) {
    const Tree& tree = GetParam();
    testing::FakePanelsApp fake(tree.shape);
    ASSERT_TRUE(fake.ready());
    atspi::AtspiBackend backend;
    testing::RealClock clock;
    const AXExtractor extractor{6, 14, 48, 4000};
    const ax::RunningApp app{getpid(), std::string("Panels")};
    ASSERT_TRUE(testing::eventually(
        [&] { return backend.applicationElement(app).key().starts_with(fake.busName()); }));
    for (int reading = 0; reading < 3; ++reading) {
        SCOPED_TRACE(reading);
        backend.forgetReadings();  // each one cold, as for an app that changed
        const std::size_t sent = backend.requestsSent();
        const ax::Element appElement = backend.applicationElement(app);
        // Four times the app's own time-out: a loaded machine may leave the scripted app's thread
        // unscheduled for longer than 0.25 s. A reader that floods the app with its budget at
        // once still keeps it busy past this; the bench reads with the app's own time-out.
        backend.setMessagingTimeout(appElement, 4 * AXExtractor::kMessagingTimeout);
        BoundedReader reader(backend, clock);
        const auto read = extractor.read(reader, app, appElement);
        EXPECT_FALSE(reader.gaveUp()) << "the app answers every request";
        if (tree.error) {
            ASSERT_FALSE(read.ok());
            EXPECT_EQ(read.error(), *tree.error) << description(read.error());
        } else {
            ASSERT_TRUE(read.ok()) << description(read.error());
            EXPECT_EQ(testing::find(read.value(), "Start") != nullptr, tree.readsStart)
                << testing::dump(read.value());
        }
        // About eight requests a node, for no more nodes than the budget and what it reads
        // ahead of the walk within it.
        EXPECT_LE(backend.requestsSent() - sent, 8u * 2 * 4000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Panels, NativeTreesDesktop,
    ::testing::Values(Tree{"SixtyWideSixDeep", {.wide = 60, .deep = 6}, true, std::nullopt},
                      Tree{"OneChildDeclaredFiftyThousandListed",
                           {.wide = 2, .deep = 1, .liar = 50'000},
                           true,
                           std::nullopt},
                      Tree{"FiveHundredWide",
                           {.wide = 500, .deep = 6, .button = false},
                           false,
                           AXExtractorError::tooLarge},
                      Tree{"SmallAndWhole", {.wide = 3, .deep = 3}, true, std::nullopt}),
    [](const ::testing::TestParamInfo<Tree>& param) { return std::string(param.param.what); });

}  // namespace
}  // namespace ovra
