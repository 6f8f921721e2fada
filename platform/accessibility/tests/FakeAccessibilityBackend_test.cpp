#include "platform/accessibility/FakeAccessibilityBackend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace ovra::ax {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::unique_ptr<FakeAccessibilityBackend> load(std::string_view text) {
    auto parsed = json::parse(text);
    EXPECT_TRUE(parsed.ok()) << (parsed.ok() ? "" : parsed.error());
    auto fake = FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok()) << (fake.ok() ? "" : fake.error());
    return std::move(fake).value();
}

std::string loadError(std::string_view text) {
    auto fake = FakeAccessibilityBackend::fromJson(*json::parse(text));
    return fake.ok() ? "" : fake.error();
}

constexpr std::string_view kWindow = R"({
  "screens": [[0, 0, 1440, 900]],
  "app": {"pid": 42, "name": "Example"},
  "window": {"id": "w", "role": "AXWindow", "title": "Main", "frame": [10, 20, 800, 600],
    "attrs": {"AXVerticalScrollBar": {"ref": "ok"}, "AXContents": {"refs": ["ok", "t"]},
              "AXNaN": {"number": "nan"}, "AXOrigin": {"point": [1, 2]}},
    "children": [
      {"id": "ok", "role": "AXButton", "title": "OK", "actions": ["AXPress"],
       "settable": ["AXFocused"], "faults": {"AXDescription": "timeout"}},
      {"id": "t", "role": "AXTable", "repeat": 1000000, "children": [{"id": "row", "role": "AXRow"}]},
      {"id": "bad", "faults": {"attributes": "appGone", "children": "cannotComplete",
                               "actions": "wrongType"}}
    ]}
})";

TEST(FakeAccessibilityBackend, ReadsAttributesAndTheWindowOfTheApp) {
    auto fake = load(kWindow);
    const auto app = fake->frontmostApp();
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->pid, 42);
    EXPECT_EQ(app->localizedName, "Example");
    const Element appElement = fake->applicationElement(*app);
    EXPECT_TRUE(fake->applicationElement({.pid = 7}).isNull());

    auto window = fake->attribute(appElement, "AXFocusedWindow");
    ASSERT_TRUE(window.ok());
    EXPECT_EQ(asElement(*window), fake->element("w"));
    const Element w = fake->element("w");
    EXPECT_EQ(*asString(*fake->attribute(w, "AXTitle")), "Main");
    EXPECT_EQ(asPoint(*fake->attribute(w, "AXPosition")), (Point{10, 20}));
    EXPECT_EQ(asSize(*fake->attribute(w, "AXSize")), (Size{800, 600}));
    EXPECT_EQ(asPoint(*fake->attribute(w, "AXOrigin")), (Point{1, 2}));
    EXPECT_TRUE(std::isnan(*asNumber(*fake->attribute(w, "AXNaN"))));
    EXPECT_EQ(asElement(*fake->attribute(w, "AXVerticalScrollBar")), fake->element("ok"));
    const auto contentsRead = fake->attribute(w, "AXContents");
    const auto* contents = asElementList(*contentsRead);
    ASSERT_NE(contents, nullptr);
    EXPECT_THAT(*contents, ElementsAre(fake->element("ok"), fake->element("t")));
    EXPECT_EQ(fake->attribute(w, "AXMissing").error(), AXError::noValue);
    const auto childrenRead = fake->attribute(w, "AXChildren");
    ASSERT_TRUE(childrenRead.ok());
    EXPECT_THAT(*asElementList(*childrenRead),
                ElementsAre(fake->element("ok"), fake->element("t"), fake->element("bad")));
    EXPECT_EQ(fake->attribute(fake->element("bad"), "AXChildren").error(), AXError::cannotComplete);
    EXPECT_EQ(fake->screenFrames(), (std::vector<Rect>{{0, 0, 1440, 900}}));
}

TEST(FakeAccessibilityBackend, ElementHandlesCompareByIdentity) {
    auto fake = load(kWindow);
    const Element a = fake->element("ok");
    const Element b = fake->element("ok");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, fake->element("w"));
    EXPECT_NE(a, Element());
    EXPECT_EQ(Element(), Element());
    EXPECT_TRUE(fake->element("nobody").isNull());
    EXPECT_EQ(a.key(), "ok");
}

TEST(FakeAccessibilityBackend, BatchReadsFailAttributeByAttribute) {
    auto fake = load(kWindow);
    const std::string_view names[] = {"AXRole", "AXDescription", "AXTitle", "AXNope"};
    const double before = fake->clock().now();
    auto batch = fake->attributes(fake->element("ok"), names);
    ASSERT_TRUE(batch.ok());
    ASSERT_EQ(batch->size(), 4u);
    EXPECT_EQ(*asString((*batch)[0].value()), "AXButton");
    EXPECT_EQ((*batch)[1].error(), AXError::timeout);
    EXPECT_EQ(*asString((*batch)[2].value()), "OK");
    EXPECT_EQ((*batch)[3].error(), AXError::noValue);
    // A time-out costs the default messaging time-out until the app gets its own.
    EXPECT_DOUBLE_EQ(fake->clock().now() - before, 6.0);
    fake->setMessagingTimeout(fake->applicationElement(*fake->frontmostApp()), 0.25);
    (void)fake->attribute(fake->element("ok"), "AXDescription");
    EXPECT_DOUBLE_EQ(fake->clock().now() - before, 6.25);
    EXPECT_EQ(fake->timeouts(), 2);

    const Element bad = fake->element("bad");
    EXPECT_EQ(fake->attributes(bad, names).error(), AXError::appGone);
    EXPECT_EQ(fake->children(bad, 10).error(), AXError::cannotComplete);
    EXPECT_EQ(fake->actionNames(bad).error(), AXError::wrongType);
}

TEST(FakeAccessibilityBackend, HugeChildCountsHandOutOnlyTheLimit) {
    auto fake = load(kWindow);
    auto rows = fake->children(fake->element("t"), 3);
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_NE((*rows)[0], (*rows)[1]);
    EXPECT_EQ(*asString(*fake->attribute((*rows)[2], "AXRole")), "AXRow");
    EXPECT_EQ(fake->counters().childrenHandedOut, 3u);
    EXPECT_EQ(fake->counters().largestChildLimit, 3u);
    EXPECT_EQ(fake->children(fake->element("w"), 2)->size(), 2u);
}

TEST(FakeAccessibilityBackend, ActionsAndWritesGoToTheLog) {
    auto fake = load(kWindow);
    const Element ok = fake->element("ok");
    EXPECT_EQ(fake->performAction(ok, "AXPress"), std::nullopt);
    EXPECT_EQ(fake->performAction(ok, "AXConfirm"), AXError::unsupportedAttribute);
    EXPECT_EQ(*fake->isAttributeSettable(ok, "AXFocused"), true);
    EXPECT_EQ(*fake->isAttributeSettable(ok, "AXTitle"), false);
    EXPECT_EQ(fake->setAttribute(ok, "AXFocused", true), std::nullopt);
    EXPECT_EQ(asBool(*fake->attribute(ok, "AXFocused")), true);
    EXPECT_EQ(fake->setAttribute(ok, "AXTitle", std::string("x")), AXError::unsupportedAttribute);
    EXPECT_THAT(
        fake->log(),
        ElementsAre("perform ok AXPress", "perform ok AXConfirm failed: unsupported attribute",
                    "set ok AXFocused true", "set ok AXTitle \"x\" failed: unsupported attribute"));
}

TEST(FakeAccessibilityBackend, WakeUpSwapsInTheSecondTree) {
    auto fake = load(R"({"app": {"pid": 1},
        "window": {"id": "before", "role": "AXWindow"},
        "afterWakeUp": {"id": "after", "role": "AXWindow"}})");
    const Element app = fake->applicationElement({.pid = 1});
    EXPECT_EQ(asElement(*fake->attribute(app, "AXMainWindow")), fake->element("before"));
    EXPECT_EQ(fake->wakeUp(app), std::nullopt);
    EXPECT_EQ(asElement(*fake->attribute(app, "AXMainWindow")), fake->element("after"));
    EXPECT_THAT(fake->log(), ElementsAre("wakeUp"));

    auto plain = load(R"({"app": {"pid": 1}, "window": {"role": "AXWindow"}})");
    EXPECT_EQ(plain->wakeUp(plain->applicationElement({.pid = 1})), AXError::unsupportedAttribute);
}

TEST(FakeAccessibilityBackend, HungAndGoneAppsFailEveryCall) {
    auto hung = load(R"({"app": {"pid": 1, "hangAfter": 1, "callCost": 0.01},
        "window": {"id": "w", "role": "AXWindow"}})");
    const Element w = hung->element("w");
    EXPECT_TRUE(hung->attribute(w, "AXRole").ok());
    EXPECT_DOUBLE_EQ(hung->clock().now(), 0.01);
    EXPECT_EQ(hung->attribute(w, "AXRole").error(), AXError::timeout);
    EXPECT_EQ(hung->children(w, 5).error(), AXError::timeout);
    EXPECT_DOUBLE_EQ(hung->clock().now(), 12.01);

    auto gone = load(R"({"app": {"pid": 1, "gone": true}, "window": {"id": "w"}})");
    EXPECT_EQ(gone->attribute(gone->element("w"), "AXRole").error(), AXError::appGone);
    EXPECT_EQ(gone->performAction(gone->element("w"), "AXPress"), AXError::appGone);
}

TEST(FakeAccessibilityBackend, TrustAndFrontmostComeFromTheFixture) {
    auto fake = load(R"({"trusted": false, "frontmost": false})");
    EXPECT_FALSE(fake->isProcessTrusted());
    EXPECT_EQ(fake->frontmostApp(), std::nullopt);
    fake->setTrusted(true);
    EXPECT_TRUE(fake->isProcessTrusted());
}

TEST(FakeAccessibilityBackend, RejectsMalformedFixtures) {
    EXPECT_THAT(loadError("[]"), HasSubstr("must be an object"));
    EXPECT_THAT(loadError(R"({"window": {"faults": {"AXRole": "slow"}}})"),
                HasSubstr("unknown error name"));
    EXPECT_THAT(loadError(R"({"window": {"attrs": {"AXParent": {"ref": "x"}}}})"),
                HasSubstr("unknown element"));
    EXPECT_THAT(loadError(R"({"window": {"id": "a", "children": [{"id": "a"}]}})"),
                HasSubstr("unique"));
    EXPECT_THAT(loadError(R"({"window": {"repeat": 3}})"), HasSubstr("exactly one child"));
    EXPECT_THAT(loadError(R"({"window": {"frame": [1, 2, 3]}})"), HasSubstr("4 numbers"));
    EXPECT_THAT(loadError(R"({"window": {"attrs": {"AXValue": [1]}}})"),
                HasSubstr("unreadable value"));
}

TEST(AccessibilityValues, TypedViewsRefuseOtherKinds) {
    const Value text = std::string("a");
    EXPECT_EQ(*asString(text), "a");
    EXPECT_EQ(asNumber(text), std::nullopt);
    EXPECT_EQ(asBool(Value(1.0)), std::nullopt);
    EXPECT_EQ(asNumber(Value(true)), std::nullopt);
    EXPECT_EQ(asRect(Value(Rect{1, 2, 3, 4})), (Rect{1, 2, 3, 4}));
    EXPECT_EQ(asPoint(Value(Size{1, 2})), std::nullopt);
    EXPECT_EQ(asElement(Value(Element())), std::nullopt);
    EXPECT_EQ(asElementList(text), nullptr);
    EXPECT_EQ(toString(AXError::appGone), "app gone");
    EXPECT_EQ(axErrorFromName("wrongType"), AXError::wrongType);
    EXPECT_EQ(axErrorFromName("WrongType"), std::nullopt);
}

}  // namespace
}  // namespace ovra::ax
