#include "platform/accessibility/FakeAccessibilityBackend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace ovra::ax {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::unique_ptr<FakeAccessibilityBackend> load(std::string_view text) {
    auto fake = FakeAccessibilityBackend::fromJson(*json::parse(text));
    EXPECT_TRUE(fake.ok()) << (fake.ok() ? "" : fake.error());
    return std::move(fake).value();
}

std::string loadError(std::string_view text) {
    auto fake = FakeAccessibilityBackend::fromJson(*json::parse(text));
    return fake.ok() ? "" : fake.error();
}

constexpr std::string_view kWindow = R"({
  "app": {"pid": 42, "name": "Example"},
  "window": {"id": "w", "role": "AXWindow", "title": "Main", "frame": [10, 20, 800, 600],
    "attrs": {"AXContents": {"refs": ["ok", "t"]}, "AXNaN": {"number": "nan"}},
    "children": [
      {"id": "ok", "role": "AXButton", "title": "OK", "faults": {"AXDescription": "timeout"}},
      {"id": "t", "role": "AXTable", "repeat": 1000000, "children": [{"id": "row", "role": "AXRow"}]},
      {"id": "bad", "faults": {"attributes": "appGone", "children": "cannotComplete",
                               "actions": "wrongType"}}
    ]}
})";

// Other tests build their windows from fixtures: what they read must be what the fixture says.
TEST(FakeAccessibilityBackend, ReadsWhatTheFixtureSaysWithItsFaultsAndTimeOuts) {
    auto fake = load(kWindow);
    const Element app = fake->applicationElement(*fake->frontmostApp());
    EXPECT_TRUE(fake->applicationElement({.pid = 7}).isNull());
    EXPECT_EQ(asElement(*fake->attribute(app, "AXFocusedWindow")), fake->element("w"));
    const Element w = fake->element("w");
    EXPECT_EQ(asPoint(*fake->attribute(w, "AXPosition")), (Point{10, 20}));
    EXPECT_EQ(asSize(*fake->attribute(w, "AXSize")), (Size{800, 600}));
    EXPECT_TRUE(std::isnan(*asNumber(*fake->attribute(w, "AXNaN"))));
    const auto contents = fake->attribute(w, "AXContents");
    EXPECT_THAT(*asElementList(*contents), ElementsAre(fake->element("ok"), fake->element("t")));
    EXPECT_EQ(fake->attribute(w, "AXMissing").error(), AXError::noValue);
    EXPECT_TRUE(fake->element("nobody").isNull());

    // Faults fail attribute by attribute, and time-outs cost time.
    const std::string_view names[] = {"AXRole", "AXDescription", "AXTitle"};
    auto batch = fake->attributes(fake->element("ok"), names);
    ASSERT_TRUE(batch.ok());
    EXPECT_EQ(*asString((*batch)[0].value()), "AXButton");
    EXPECT_EQ((*batch)[1].error(), AXError::timeout);
    EXPECT_EQ(*asString((*batch)[2].value()), "OK");
    // A time-out costs the default messaging time-out until the app gets its own.
    EXPECT_DOUBLE_EQ(fake->clock().now(), 6.0);
    fake->setMessagingTimeout(fake->applicationElement(*fake->frontmostApp()), 0.25);
    (void)fake->attribute(fake->element("ok"), "AXDescription");
    EXPECT_DOUBLE_EQ(fake->clock().now(), 6.25);
    EXPECT_EQ(fake->timeouts(), 2);

    const Element bad = fake->element("bad");
    EXPECT_EQ(fake->attributes(bad, names).error(), AXError::appGone);
    EXPECT_EQ(fake->children(bad, 10).error(), AXError::cannotComplete);
    EXPECT_EQ(fake->actionNames(bad).error(), AXError::wrongType);
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
    EXPECT_EQ(asNumber(text), std::nullopt);
    EXPECT_EQ(asBool(Value(1.0)), std::nullopt);
    EXPECT_EQ(asNumber(Value(true)), std::nullopt);
    EXPECT_EQ(asPoint(Value(Size{1, 2})), std::nullopt);
    EXPECT_EQ(asElement(Value(Element())), std::nullopt);
    EXPECT_EQ(asElementList(text), nullptr);
    EXPECT_EQ(axErrorFromName("wrongType"), AXError::wrongType);
    EXPECT_EQ(axErrorFromName("WrongType"), std::nullopt);
}

}  // namespace
}  // namespace ovra::ax
