// Reads whole fixture windows into snapshots and compares them with the snapshot each fixture
// expects under its "expect" key.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/accessibility/AXExtractor.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "testing/Files.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

fs::path fixtureFolder() {
    if (const char* source = std::getenv("OVRA_SOURCE_DIR")) {
        return fs::path(source) / "app/accessibility/tests/fixtures";
    }
    return fs::path(__FILE__).parent_path() / "fixtures";
}

Json rect(const Rect& r) {
    return Json::array({r.minX(), r.minY(), r.width(), r.height()});
}

template <class T>
Json optional(const std::optional<T>& value) {
    if constexpr (std::is_same_v<T, Rect>) {
        return value ? rect(*value) : Json();
    } else {
        return value ? Json(*value) : Json();
    }
}

// Every field of a snapshot that a reading decides, as JSON.
Json toJson(const WindowSnapshot& s) {
    Json candidates = Json::array();
    for (const auto& c : s.candidates) {
        candidates.push_back({{"id", c.id},
                              {"order", c.order},
                              {"role", c.role},
                              {"subrole", optional(c.subrole)},
                              {"title", c.title},
                              {"description", c.description},
                              {"value", c.value},
                              {"frame", rect(c.frame)},
                              {"focused", c.isFocused},
                              {"chrome", c.isChrome},
                              {"context", optional(c.context)}});
    }
    Json elements = Json::object();
    for (const auto& [id, element] : s.elements) {
        elements[id] = element.key();
    }
    Json scroll;
    if (s.scroll) {
        const auto& t = *s.scroll;
        scroll = {{"element", t.element.key()},
                  {"scrollBar", t.scrollBar ? Json(t.scrollBar->key()) : Json()},
                  {"visible", rect(t.signals.visible)},
                  {"document", optional(t.signals.document)},
                  {"scrollBarValue", optional(t.signals.scrollBarValue)},
                  {"seenTop", optional(t.signals.seenTop)},
                  {"seenBottom", optional(t.signals.seenBottom)}};
    }
    return {{"appName", s.appName},
            {"windowTitle", s.windowTitle},
            {"window", s.windowElement.key()},
            {"windowFrame", rect(s.windowFrame)},
            {"viewport", rect(s.viewport)},
            {"candidates", candidates},
            {"elements", elements},
            {"scroll", scroll}};
}

// One fixture: read as its "expect" says, with the log, time-outs and time it may expect.
void expectGolden(const fs::path& path) {
    SCOPED_TRACE(path.filename().string());
    auto fixture = json::parse(testing::readText(path));
    ASSERT_TRUE(fixture.ok()) << fixture.error();
    auto fake = ax::FakeAccessibilityBackend::fromJson(*fixture);
    ASSERT_TRUE(fake.ok()) << fake.error();
    auto& backend = *fake.value();

    const Json limits = fixture->value("limits", Json::object());
    const AXExtractor extractor{.maxDepth = limits.value("maxDepth", 6),
                                .maxCandidates = limits.value("maxCandidates", 14),
                                .maxRawDepth = limits.value("maxRawDepth", 48),
                                .nodeBudget = limits.value("nodeBudget", 4000)};
    const auto app = backend.frontmostApp();
    ASSERT_TRUE(app.has_value());
    auto snapshot = extractor.snapshot(*app, backend, backend.clock());
    ASSERT_TRUE(snapshot.ok()) << description(snapshot.error());

    const Json actual = toJson(*snapshot);
    const Json& expected = (*fixture)["expect"];
    EXPECT_FALSE(expected.empty()) << "nothing expected; the reading is:\n" << actual.dump(2);
    for (const auto& [key, value] : expected.items()) {
        EXPECT_EQ(actual[key], value) << key << ", whole reading:\n" << actual.dump(2);
    }
    if (const auto it = fixture->find("expectLog"); it != fixture->end()) {
        EXPECT_EQ(Json(backend.log()), *it);
    }
    if (const auto it = fixture->find("expectTimeouts"); it != fixture->end()) {
        EXPECT_EQ(backend.timeouts(), it->get<int>());
    }
    if (const auto it = fixture->find("expectClockAtMost"); it != fixture->end()) {
        EXPECT_LE(backend.clock().now(), it->get<double>());
    }
}

// Every fixture of the folder: a new one takes part without a line here.
TEST(GoldenWindows, EachFixtureReadsAsItExpects) {
    std::vector<fs::path> fixtures;
    for (const auto& entry : fs::directory_iterator(fixtureFolder())) {
        if (entry.path().extension() == ".json") {
            fixtures.push_back(entry.path());
        }
    }
    std::sort(fixtures.begin(), fixtures.end());
    EXPECT_GE(fixtures.size(), 5u) << fixtureFolder();
    for (const auto& path : fixtures) {
        expectGolden(path);
    }
}

}  // namespace
}  // namespace ovra
