#include "core/WorkerProtocol.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

namespace wp = WorkerProtocol;

UICandidate button(std::string id, std::optional<std::string> context = std::nullopt) {
    return UICandidate{.id = std::move(id),
                       .role = "AXButton",
                       .subrole = "AXCloseButton",
                       .title = "Accept",
                       .description = "accept all",
                       .frame = Rect(10, 20, 30, 40),
                       .isFocused = true,
                       .isChrome = true,
                       .order = 7,
                       .context = std::move(context)};
}

Json parseLine(const std::string& line) {
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line, ended by a line break";
    auto parsed = json::parse(line);
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? parsed.value() : Json();
}

TEST(WorkerProtocol, RequestLinesCarryTheSentFieldsOnly) {
    EXPECT_EQ(wp::pingLine(7), "{\"id\":7,\"op\":\"ping\"}\n");
    // An absent context is left out, not null; the other fields are never sent.
    EXPECT_EQ(parseLine(wp::decideLine(42, "Shop", "Checkout", Rect(0, 25, 800, 600),
                                       {button("c1"), button("c2", "dialog:Cookies")})),
              Json::parse(R"({"id":42,"op":"decide","app":"Shop","window":"Checkout",
        "window_frame":{"x":0,"y":25,"width":800,"height":600},"candidates":[
        {"id":"c1","role":"AXButton","title":"Accept","description":"accept all","value":"",
         "x":10,"y":20,"width":30,"height":40},
        {"id":"c2","role":"AXButton","title":"Accept","description":"accept all","value":"",
         "x":10,"y":20,"width":30,"height":40,"context":"dialog:Cookies"}]})"));
    // A frame with a negative size goes out as its minimum corner and positive size.
    const Json empty = parseLine(wp::decideLine(1, "A", "W", Rect(100, 100, -40, -10), {}));
    EXPECT_EQ(empty["window_frame"], Json::parse(R"({"x":60,"y":90,"width":40,"height":10})"));
    EXPECT_EQ(empty["candidates"], Json::array());
}

TEST(WorkerProtocol, NonFiniteFramesProduceNoLineAndBrokenTextIsRepaired) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(wp::decideLine(1, "A", "W", Rect(nan, 0, 10, 10), {}), JsonError);
    EXPECT_THROW(wp::decideLine(1, "A", "W", Rect::null(), {}), JsonError);
    UICandidate c = button("c1");
    c.frame = Rect(0, 0, std::numeric_limits<double>::infinity(), 10);
    EXPECT_THROW(wp::decideLine(1, "A", "W", Rect(0, 0, 10, 10), {c}), JsonError);

    c = button("c1");
    c.title = "Buy\xff";
    const Json j = parseLine(wp::decideLine(1, "A\xc3", "W", Rect(0, 0, 1, 1), {c}));
    EXPECT_EQ(j["candidates"][0]["title"], "Buy\xEF\xBF\xBD");
}

TEST(WorkerProtocol, ResponsesDecodeWithOptionalFieldsAbsentOrWhole) {
    for (const char* line : {"{\"ok\": true}\n", R"({"ok": true, "error": null, "id": null})"}) {
        const wp::Response r = wp::decode(line);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.id || r.error || r.ready || r.model || r.latencyMs || r.decisions) << line;
    }
    const wp::Response failure = wp::decode(R"({"id": 2, "ok": false, "error": "no model"})");
    EXPECT_FALSE(failure.ok);
    EXPECT_EQ(failure.error, "no model");

    const ModelDecision d{.id = "c1",
                          .modelVerdict = "beacon",
                          .priority = 0.75,
                          .actionClassification = FocusCategory::dismissalOrExit,
                          .classificationProbabilities = {{"dismissal_or_exit", 0.9}},
                          .isEssential = 0.6,
                          .focusScore = 1.5};
    const wp::Response r =
        wp::decode(R"({"id":9,"ok":true,"ready":true,"model":"murmlark-ovra/en","latency_ms":12.5,)"
                   R"("extra":{"ignored":true},"decisions":[)" +
                   json::dump(d.toJson()) + "]}\n");
    EXPECT_EQ(r.id, 9);
    EXPECT_EQ(r.ready, true);
    EXPECT_EQ(r.model, "murmlark-ovra/en");
    EXPECT_EQ(r.latencyMs, 12.5);
    EXPECT_EQ(r.decisions, std::vector<ModelDecision>{d});
}

TEST(WorkerProtocol, RejectsMalformedMistypedOrOversizedResponses) {
    std::string huge = "{\"ok\": true, \"model\": \"";
    huge.append(wp::maxResponseBytes, 'a');
    huge += "\"}";
    for (const std::string& line : std::vector<std::string>{
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
             huge,
         })
        EXPECT_THROW(wp::decode(line), JsonError) << line.substr(0, 80);
}

}  // namespace
}  // namespace ovra
