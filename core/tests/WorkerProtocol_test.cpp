#include "core/WorkerProtocol.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

namespace wp = WorkerProtocol;

UICandidate button(std::string id, std::optional<std::string> context = std::nullopt) {
    UICandidate c;
    c.id = std::move(id);
    c.role = "AXButton";
    c.subrole = "AXCloseButton";
    c.title = "Accept";
    c.description = "accept all";
    c.value = "";
    c.frame = Rect(10, 20, 30, 40);
    c.isFocused = true;
    c.isChrome = true;
    c.order = 7;
    c.context = std::move(context);
    return c;
}

Json parseLine(const std::string& line) {
    EXPECT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line only";
    auto parsed = json::parse(line);
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? parsed.value() : Json();
}

TEST(WorkerProtocol, RequestLinesCarryTheSentFieldsOnly) {
    EXPECT_EQ(wp::pingLine(7), "{\"id\":7,\"op\":\"ping\"}\n");
    const Json j =
        parseLine(wp::decideLine(42, "Shop", "Checkout", Rect(0, 25, 800, 600),
                                 {button("c1"), button("c2", std::string("dialog:Cookies"))}));
    EXPECT_EQ(j["id"], 42);
    EXPECT_EQ(j["op"], "decide");
    EXPECT_EQ(j["app"], "Shop");
    EXPECT_EQ(j["window"], "Checkout");
    EXPECT_EQ(j["window_frame"], Json::parse(R"({"x":0,"y":25,"width":800,"height":600})"));
    ASSERT_EQ(j["candidates"].size(), 2u);
    const Json& first = j["candidates"][0];
    EXPECT_EQ(first, Json::parse(R"({"id":"c1","role":"AXButton","title":"Accept",
        "description":"accept all","value":"","x":10,"y":20,"width":30,"height":40})"));
    EXPECT_FALSE(first.contains("context")) << "absent context is left out, not null";
    EXPECT_EQ(j["candidates"][1]["context"], "dialog:Cookies");

    // A frame with a negative size goes out as its minimum corner and positive size.
    const Json empty = parseLine(wp::decideLine(1, "A", "W", Rect(100, 100, -40, -10), {}));
    EXPECT_EQ(empty["window_frame"], Json::parse(R"({"x":60,"y":90,"width":40,"height":10})"));
    EXPECT_EQ(empty["candidates"], Json::array());
}

TEST(WorkerProtocol, NonFiniteFramesProduceNoLine) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_THROW(wp::decideLine(1, "A", "W", Rect(nan, 0, 10, 10), {}), JsonError);
    EXPECT_THROW(wp::decideLine(1, "A", "W", Rect::null(), {}), JsonError);
    UICandidate c = button("c1");
    c.frame = Rect(0, 0, inf, 10);
    EXPECT_THROW(wp::decideLine(1, "A", "W", Rect(0, 0, 10, 10), {c}), JsonError);
}

TEST(WorkerProtocol, TextsWithBrokenUtf8StillEncode) {
    UICandidate c = button("c1");
    c.title = "Buy\xff";
    const Json j = parseLine(wp::decideLine(1, "A\xc3", "W", Rect(0, 0, 1, 1), {c}));
    EXPECT_EQ(j["candidates"][0]["title"], "Buy\xEF\xBF\xBD");
}

TEST(WorkerProtocol, MinimalResponsesHaveEveryOptionalFieldAbsent) {
    for (const char* line : {"{\"ok\": true}\n", R"({"ok": true, "error": null, "id": null})"}) {
        const wp::Response r = wp::decode(line);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.id || r.error || r.ready || r.model || r.latencyMs || r.decisions) << line;
    }
    const wp::Response failure = wp::decode(R"({"id": 2, "ok": false, "error": "no model"})");
    EXPECT_FALSE(failure.ok);
    EXPECT_EQ(failure.error, "no model");
}

TEST(WorkerProtocol, FullResponseRoundTripsTheDecisions) {
    ModelDecision d;
    d.id = "c1";
    d.modelVerdict = "beacon";
    d.priority = 0.75;
    d.actionClassification = FocusCategory::dismissalOrExit;
    d.classificationProbabilities = {{"dismissal_or_exit", 0.9}, {"legal_or_passive", 0.1}};
    d.isEssential = 0.6;
    d.focusScore = 1.5;

    Json response = Json::object();
    response["id"] = 9;
    response["ok"] = true;
    response["ready"] = true;
    response["model"] = "murmlark-ovra/en";
    response["latency_ms"] = 12.5;
    response["decisions"] = Json::array({d.toJson()});
    response["extra"] = {{"ignored", true}};

    const wp::Response r = wp::decode(json::dump(response) + "\n");
    EXPECT_EQ(r.id, 9);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.ready, true);
    EXPECT_EQ(r.model, "murmlark-ovra/en");
    EXPECT_EQ(r.latencyMs, 12.5);
    ASSERT_TRUE(r.decisions);
    ASSERT_EQ(r.decisions->size(), 1u);
    EXPECT_EQ(r.decisions->front(), d);
}

TEST(WorkerProtocol, RejectsMalformedOrMistypedResponses) {
    const char* bad[] = {
        "",
        "{\"ok\": true",
        "[true]",
        "{}",
        "{\"ok\": null}",
        "{\"ok\": 1}",
        "{\"ok\": \"true\"}",
        "{\"ok\": true, \"latency_ms\": \"12\"}",
        "{\"ok\": true, \"id\": 1.5}",
        "{\"ok\": true, \"id\": \"1\"}",
        "{\"ok\": true, \"id\": 18446744073709551615}",
        "{\"ok\": true, \"ready\": 1}",
        "{\"ok\": true, \"model\": 3}",
        "{\"ok\": false, \"error\": {}}",
        "{\"ok\": true, \"decisions\": {}}",
        "{\"ok\": true, \"decisions\": [1]}",
        "{\"ok\": true, \"decisions\": [{\"id\": \"c1\"}]}",
        "{\"ok\": true} {\"ok\": true}",
        "{\"ok\": true, \"model\": \"bad\xff\"}",
    };
    for (const char* line : bad)
        EXPECT_THROW(wp::decode(line), JsonError) << line;
}

TEST(WorkerProtocol, RejectsAnOversizedLineWithoutParsingIt) {
    std::string huge = "{\"ok\": true, \"model\": \"";
    huge.append(wp::maxResponseBytes, 'a');
    huge += "\"}";
    EXPECT_THROW(wp::decode(huge), JsonError);
}

}  // namespace
}  // namespace ovra
