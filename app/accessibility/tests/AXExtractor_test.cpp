#include "app/accessibility/AXExtractor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <cmath>
#include <limits>

#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const AXExtractor kExtractor{
    .maxDepth = 6, .maxCandidates = 14, .maxRawDepth = 48, .nodeBudget = 4000};
const ax::RunningApp kApp{.pid = 9, .localizedName = "Example"};

std::unique_ptr<ax::FakeAccessibilityBackend> fakeOf(const std::string& fixture) {
    auto parsed = json::parse(fixture);
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok()) << (fake.ok() ? "" : fake.error());
    return std::move(fake).value();
}

// A fixture of one app on one 1440 by 900 screen with `window` as its window.
std::string withWindow(const std::string& window, const std::string& extra = "") {
    return R"({"screens": [[0, 0, 1440, 900]], "app": {"pid": 9, "name": "Example")" + extra +
           R"(}, "window": )" + window + "}";
}

std::vector<std::string> ids(const WindowSnapshot& snapshot) {
    std::vector<std::string> out;
    for (const auto& c : snapshot.candidates) {
        out.push_back(c.id);
    }
    return out;
}

const UICandidate& candidate(const WindowSnapshot& snapshot, std::string_view title) {
    for (const auto& c : snapshot.candidates) {
        if (c.title == title || c.id == title) {
            return c;
        }
    }
    throw std::runtime_error("no candidate " + std::string(title));
}

TEST(SanitizedValue, NeverExposesWhatWasTyped) {
    const std::string secure = "AXSecureTextField";
    const std::string search = "AXSearchField";
    const std::string longText(100, 'x');
    struct Case {
        std::string role;
        const std::string* subrole;
        std::optional<ax::Value> raw;
        std::string expected;
    };
    const Case cases[] = {
        {"AXTextField", &secure, std::string("hunter2"), ""},
        {"AXButton", &secure, std::string("hunter2"), ""},
        {"AXTextField", nullptr, std::string("my address"), "filled"},
        {"AXTextArea", nullptr, std::string(""), "empty"},
        {"AXComboBox", &search, std::nullopt, "empty"},
        {"AXTextField", nullptr, 3.0, "empty"},
        {"AXCheckBox", nullptr, 1.0, "checked"},
        {"AXRadioButton", nullptr, 1.9, "checked"},
        {"AXCheckBox", nullptr, 2.0, "unchecked"},
        {"AXCheckBox", nullptr, std::numeric_limits<double>::quiet_NaN(), "unchecked"},
        {"AXCheckBox", nullptr, std::string("1"), "unchecked"},
        {"AXCheckBox", nullptr, true, "unchecked"},
        {"AXCheckBox", nullptr, std::nullopt, "unchecked"},
        {"AXSlider", nullptr, 0.5, ""},
        {"AXPopUpButton", nullptr, std::string("  Large \n size "), "Large size"},
        {"AXPopUpButton", nullptr, longText, std::string(80, 'x')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sanitizedValue(c.role, c.subrole, c.raw ? &*c.raw : nullptr), c.expected)
            << c.role;
    }
}

TEST(ScreenFrameContaining, PicksTheScreenHoldingTheMiddle) {
    const std::vector<Rect> screens{{0, 0, 1440, 900}, {1440, -200, 1920, 1080}};
    EXPECT_EQ(screenFrameContaining({1300, 100, 400, 300}, screens), screens[1]);
    EXPECT_EQ(screenFrameContaining({100, 100, 400, 300}, screens), screens[0]);
    EXPECT_EQ(screenFrameContaining({-5000, 0, 10, 10}, screens), screens[0]);
    EXPECT_EQ(screenFrameContaining(Rect(), screens), screens[0]);
    EXPECT_EQ(screenFrameContaining({1, 2, 3, 4}, {}), (Rect{1, 2, 3, 4}));
}

TEST(AXExtractor, RefusesWithoutPermissionOrWindow) {
    auto untrusted = fakeOf(R"({"trusted": false, "app": {"pid": 9}, "window": {"id": "w"}})");
    auto result = kExtractor.snapshot(kApp, *untrusted, untrusted->clock());
    EXPECT_EQ(result.error(), AXExtractorError::notTrusted);
    EXPECT_EQ(untrusted->counters().total(), 0);

    auto windowless = fakeOf(R"({"app": {"pid": 9}, "window": null})");
    result = kExtractor.snapshot(kApp, *windowless, windowless->clock());
    EXPECT_EQ(result.error(), AXExtractorError::noWindow);
    // The time-out is set on the app before anything is read.
    EXPECT_THAT(windowless->log(), Contains("timeout 0.25"));

    auto otherApp = fakeOf(R"({"app": {"pid": 10}, "window": {"id": "w"}})");
    EXPECT_EQ(kExtractor.snapshot(kApp, *otherApp, otherApp->clock()).error(),
              AXExtractorError::noWindow);
}

TEST(AXExtractor, FallsBackToTheMainWindowAndNamesTheApp) {
    auto fake = fakeOf(R"({"app": {"pid": 9, "focusedWindow": false}, "screens": [[0, 0, 800, 600]],
        "window": {"id": "w", "role": "AXWindow", "title": 42, "frame": [0, 0, 400, 300],
                   "children": [{"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]}]}})");
    auto result = kExtractor.snapshot({.pid = 9}, *fake, fake->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result->windowElement, fake->element("w"));
    EXPECT_EQ(result->appName, "App");
    EXPECT_EQ(result->windowTitle, "");
    EXPECT_EQ(result->windowFrame, (Rect{0, 0, 400, 300}));
    EXPECT_EQ(result->viewport, (Rect{0, 0, 400, 300}));
    EXPECT_THAT(ids(*result), ElementsAre("c1"));
    EXPECT_EQ(result->elements.at("c1").key(), "n2");
}

TEST(AXExtractor, AnEmptyReadingWakesTheAppOnce) {
    auto woken = fakeOf(R"({"app": {"pid": 9}, "screens": [[0, 0, 800, 600]],
        "window": {"id": "w", "role": "AXWindow", "frame": [0, 0, 400, 300]},
        "afterWakeUp": {"id": "w2", "role": "AXWindow", "frame": [0, 0, 400, 300], "children": [
            {"role": "AXButton", "title": "Now", "frame": [10, 10, 80, 30]}]}})");
    auto result = kExtractor.snapshot(kApp, *woken, woken->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_THAT(ids(*result), ElementsAre("c1"));
    EXPECT_EQ(result->windowElement, woken->element("w2"));
    EXPECT_THAT(woken->log(), ElementsAre("timeout 0.25", "wakeUp"));
    EXPECT_THAT(woken->clock().sleeps(), ElementsAre(0.15));

    // The app offers no wake-up: the first, empty reading stands and nothing sleeps.
    auto fake = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 400, 300]})"));
    result = kExtractor.snapshot(kApp, *fake, fake->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_THAT(ids(*result), IsEmpty());
    EXPECT_THAT(fake->clock().sleeps(), IsEmpty());

    // A reading with candidates never wakes the app.
    fake = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 400, 300], "children": [
        {"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]}]})",
                             R"(, "wakeUp": "ok")"));
    ASSERT_TRUE(kExtractor.snapshot(kApp, *fake, fake->clock()).ok());
    EXPECT_THAT(fake->log(), Not(Contains("wakeUp")));

    // A second reading that is empty too is returned as it is; there is no third.
    auto stillEmpty = fakeOf(R"({"app": {"pid": 9, "wakeUp": "ok"},
        "window": {"id": "w", "role": "AXWindow"}})");
    result = kExtractor.snapshot(kApp, *stillEmpty, stillEmpty->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_THAT(ids(*result), IsEmpty());
    EXPECT_THAT(stillEmpty->log(), ElementsAre("timeout 0.25", "wakeUp"));
    // Two readings of the window's frame and its one node.
    EXPECT_EQ(stillEmpty->counters().batch, 4);

    // A window too large to read with nothing found says so, and is not woken.
    auto huge = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 400, 300],
        "repeat": 5000, "children": [{"role": "AXGroup", "frame": [0, 0, 10, 10]}]})",
                                  R"(, "wakeUp": "ok")"));
    result = kExtractor.snapshot(kApp, *huge, huge->clock());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), AXExtractorError::tooLarge);
    EXPECT_THAT(huge->log(), Not(Contains("wakeUp")));

    // An app that stops answering before anything was found is not responding.
    auto hung = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 400, 300],
        "repeat": 50, "children": [{"role": "AXGroup", "frame": [0, 0, 10, 10]}]})",
                                  R"(, "hangAfter": 6, "wakeUp": "ok")"));
    result = kExtractor.snapshot(kApp, *hung, hung->clock());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), AXExtractorError::notResponding);
    EXPECT_THAT(hung->log(), Not(Contains("wakeUp")));

    // Nor is a window too large whose reading ran out of time with reads left unanswered: the
    // time went to waiting for the app.
    auto slowed = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 400, 300],
        "children": [{"role": "AXGroup", "frame": [0, 0, 10, 10], "faults": {"children": "timeout"}},
            {"role": "AXGroup", "frame": [0, 0, 400, 300], "repeat": 5000,
             "children": [{"role": "AXGroup", "frame": [0, 0, 10, 10]}]}]})",
                                    R"(, "wakeUp": "ok", "callCost": 0.01)"));
    result = kExtractor.snapshot(kApp, *slowed, slowed->clock());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), AXExtractorError::notResponding);
    EXPECT_EQ(description(result.error()),
              "This app is not responding. Try again once it answers.");

    // Nor is a page to scroll, read before its content went unanswered, a plan.
    auto stalled = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 400, 300],
        "children": [{"role": "AXScrollArea", "frame": [0, 0, 400, 300], "children": [
            {"role": "AXScrollBar", "frame": [390, 0, 10, 300], "value": 0},
            {"role": "AXList", "frame": [0, 0, 380, 3000], "faults": {"children": "timeout"}}]}]})",
                                     R"(, "wakeUp": "ok")"));
    result = kExtractor.snapshot(kApp, *stalled, stalled->clock());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), AXExtractorError::notResponding);
}

std::string webWindow(double webWidth, double webHeight) {
    return withWindow(R"({"role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "back", "role": "AXButton", "title": "Back", "frame": [10, 10, 40, 30]},
        {"role": "AXWebArea", "frame": [0, 100, )" +
                      std::to_string(webWidth) + ", " + std::to_string(webHeight) +
                      R"(], "children": [
            {"role": "AXLink", "title": "Home", "frame": [10, 110, 60, 20]}]},
        {"id": "side", "role": "AXButton", "title": "Side", "frame": [900, 600, 40, 30]}]})");
}

TEST(AXExtractor, ClipsToVisibleWebContentWhenItIsLargeEnough) {
    auto fake = fakeOf(webWindow(600, 400));
    auto result = kExtractor.snapshot(kApp, *fake, fake->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result->viewport, (Rect{0, 100, 600, 400}));
    ASSERT_THAT(ids(*result), ElementsAre("c2"));
    EXPECT_EQ(candidate(*result, "Home").order, 1);
    EXPECT_THAT(result->elements, testing::SizeIs(1));

    // Exactly 200 points wide or 150 tall: nothing is clipped, but the page still counts as a
    // browser, so chrome-free selection stays as it was.
    for (const auto& [w, h] : {std::pair{200.0, 400.0}, std::pair{600.0, 150.0}}) {
        auto unclipped = fakeOf(webWindow(w, h));
        result = kExtractor.snapshot(kApp, *unclipped, unclipped->clock());
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result->viewport, (Rect{0, 0, 1000, 800}));
        EXPECT_THAT(result->candidates, testing::SizeIs(3));
        EXPECT_EQ(candidate(*result, "Side").order, 3);
    }
}

TEST(AXExtractor, BuildsCandidateRecords) {
    auto fake = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"role": "AXButton", "title": " Pay\n now ", "desc": "ignored?", "frame": [10, 10, 80, 30],
         "focused": true, "subrole": "AXCloseButton"},
        {"role": "AXTextField", "placeholder": "  Email ", "value": "me@example.com",
         "frame": [10, 50, 200, 30], "focused": "yes"},
        {"role": "AXCheckBox", "desc": "Remember me", "value": 1, "frame": [10, 90, 20, 20]},
        {"role": "AXButton", "frame": [10, 130, 80, 30], "children": [
            {"role": "AXImage", "value": "   "},
            {"role": "AXStaticText", "value": "  Sign \t  in  "}]},
        {"role": "AXButton", "frame": [10, 170, 80, 30],
         "attrs": {"AXTitleUIElement": {"ref": "label"}}},
        {"id": "label", "role": "AXStaticText", "value": "", "frame": [100, 170, 80, 30]}
    ]})"));
    auto result = kExtractor.snapshot(kApp, *fake, fake->clock());
    ASSERT_TRUE(result.ok());
    const auto& pay = candidate(*result, "Pay now");
    EXPECT_EQ(pay.description, "ignored?");
    EXPECT_EQ(pay.subrole, "AXCloseButton");
    EXPECT_TRUE(pay.isFocused);
    EXPECT_EQ(pay.frame, (Rect{10, 10, 80, 30}));
    const auto& email = candidate(*result, "c2");
    EXPECT_EQ(email.title, "");
    EXPECT_EQ(email.description, "Email");
    EXPECT_EQ(email.value, "filled");
    EXPECT_FALSE(email.isFocused);
    EXPECT_EQ(email.subrole, std::nullopt);
    EXPECT_EQ(candidate(*result, "c3").value, "checked");
    // Borrowed from the first child with text; white space collapsed.
    EXPECT_EQ(candidate(*result, "c4").title, "Sign in");
    // A title element with an empty text lends its empty text.
    EXPECT_EQ(candidate(*result, "c5").title, "");
}

TEST(AXExtractor, NeverBorrowsALabelFromWhatWasTyped) {
    auto fake = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"role": "AXButton", "frame": [10, 10, 80, 30], "children": [
            {"role": "AXTextField", "value": "typed secret"},
            {"role": "AXGroup", "subrole": "AXSecureTextField", "value": "hunter2"},
            {"role": "AXStaticText", "value": "Go"}]},
        {"role": "AXButton", "frame": [10, 50, 80, 30],
         "attrs": {"AXTitleUIElement": {"ref": "field"}},
         "children": [{"role": "AXStaticText", "value": "Search"}]},
        {"id": "field", "role": "AXTextField", "subrole": "AXSecureTextField", "value": "pw",
         "frame": [100, 50, 80, 30]},
        {"role": "AXTextField", "frame": [10, 90, 200, 30], "value": "x",
         "children": [{"role": "AXStaticText", "value": "what I typed"}]}
    ]})"));
    auto result = kExtractor.snapshot(kApp, *fake, fake->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(candidate(*result, "c1").title, "Go");
    EXPECT_EQ(candidate(*result, "c2").title, "Search");
    EXPECT_EQ(candidate(*result, "c3").value, "");
    EXPECT_EQ(candidate(*result, "c4").title, "");
    EXPECT_EQ(candidate(*result, "c4").value, "filled");
}

TEST(AXExtractor, AnUnreadableWindowFrameFallsBackToItsScreen) {
    auto fake = fakeOf(R"({"app": {"pid": 9}, "screens": [[-1000, 0, 1000, 700], [0, 0, 1440, 900]],
        "window": {"role": "AXWindow", "attrs": {"AXSize": {"size": [500, 500]}}, "children": [
            {"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]}]}})");
    auto result = kExtractor.snapshot(kApp, *fake, fake->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result->windowFrame, Rect());
    // The screen holding the point (0, 0).
    EXPECT_EQ(result->viewport, (Rect{0, 0, 1440, 900}));
    EXPECT_THAT(ids(*result), ElementsAre("c1"));
}

TEST(AXExtractor, ASlowAppEndsTheReadingWithinTheDeadline) {
    // Every call costs 0.2 s: the 3 s deadline ends the walk after about 15 calls, and the
    // reads that finish the snapshot get a quarter of a second more. (An app that stops
    // answering altogether is the hung_app golden window.)
    auto slow = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 1000, 800],
        "repeat": 1000, "children": [{"role": "AXButton", "title": "B", "frame": [0, 0, 30, 20]}]})",
                                  R"(, "callCost": 0.2)"));
    auto result = kExtractor.snapshot(kApp, *slow, slow->clock());
    ASSERT_TRUE(result.ok());
    EXPECT_LE(slow->clock().now(), 3.45);
    EXPECT_LE(slow->counters().total(), 17);
    EXPECT_FALSE(result->candidates.empty());
}

// Reads that time out in a stall leave controls out, or give the app up; once it answers again
// the window is read again, and kept when that reading is whole. An app that stays silent is
// not read again.
TEST(AXExtractor, AShortStallIsReadAgain) {
    const std::string window = R"({"role": "AXWindow", "frame": [0, 0, 1000, 800],
        "children": [{"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]},
            {"role": "AXGroup", "frame": [0, 100, 1000, 100], "children": [
                {"role": "AXButton", "title": "Decline all", "frame": [10, 110, 80, 30]},
                {"role": "AXButton", "title": "Help", "frame": [100, 110, 80, 30])";
    struct Row {
        int stalled, after;
        const char* help;  // how Help answers
        std::vector<std::string> offered;
    };
    for (const Row& row :
         {Row{1, 5, "", {"OK", "Decline all", "Help"}},
          Row{3, 5, "", {"OK", "Decline all", "Help"}}, Row{100, 3, "", {}},
          Row{0, 0, R"(, "faults": {"attributes": "timeout"})", {"OK", "Decline all"}}}) {
        SCOPED_TRACE(row.stalled);
        auto fake = fakeOf(withWindow(window + row.help + "}]}]}"));
        fake->stall(row.stalled, row.after);
        auto result = kExtractor.snapshot(kApp, *fake, fake->clock());
        std::vector<std::string> offered;
        for (const auto& c : result ? result->candidates : std::vector<UICandidate>{}) {
            offered.push_back(c.title);
        }
        EXPECT_THAT(offered, testing::UnorderedElementsAreArray(row.offered));
    }
}

TEST(AXExtractor, CancellationEndsTheReading) {
    auto fake = fakeOf(withWindow(R"({"role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]}]})"));
    std::stop_source stop;
    stop.request_stop();
    auto result = kExtractor.snapshot(kApp, *fake, fake->clock(), stop.get_token());
    EXPECT_EQ(result.error(), AXExtractorError::cancelled);
    EXPECT_EQ(fake->counters().batch, 0);
}

// The AT-SPI log's lines: each reading at debug level, a reading of a hung app as a warning.
TEST(AXExtractor, EachReadingIsLoggedAndAHungAppLeavesAWarning) {
    static std::vector<std::pair<QtMsgType, std::string>> lines;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (context.category != nullptr && std::string_view(context.category) == "ovra.atspi") {
                lines.emplace_back(type, message.toStdString());
            }
        });
    const std::string window = R"({"role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]},
        {"role": "AXButton", "title": "Cancel", "frame": [100, 10, 80, 30]}]})";
    auto answering = fakeOf(withWindow(window));
    ASSERT_TRUE(kExtractor.snapshot(kApp, *answering, answering->clock()).ok());  // not shown
    QLoggingCategory::setFilterRules("ovra.atspi.debug=true");
    ASSERT_TRUE(kExtractor.snapshot(kApp, *answering, answering->clock()).ok());
    auto hung = fakeOf(withWindow(window, R"(, "hangAfter": 2)"));
    (void)kExtractor.snapshot(kApp, *hung, hung->clock());
    QLoggingCategory::setFilterRules("");
    qInstallMessageHandler(previous);

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first, QtDebugMsg);
    EXPECT_THAT(lines[0].second, HasSubstr(R"(reading of "Example" (pid 9): )"));
    EXPECT_THAT(lines[0].second, HasSubstr(" ms, 2 candidates"));
    EXPECT_EQ(lines[1].first, QtWarningMsg);
    EXPECT_THAT(lines[1].second, HasSubstr("reads timed out, the app was given up"));
}

}  // namespace
}  // namespace ovra
