#include "core/WorkerProtocol.h"

namespace ovra::WorkerProtocol {

namespace {

// A key that is absent or null counts as not given.
const Json* optionalField(const Json& object, std::string_view key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

}  // namespace

Rect Rect::from(const ovra::Rect& frame) {
    return {frame.minX(), frame.minY(), frame.width(), frame.height()};
}

Json Rect::toJson() const {
    Json j = Json::object();
    j["x"] = json::finite(x);
    j["y"] = json::finite(y);
    j["width"] = json::finite(width);
    j["height"] = json::finite(height);
    return j;
}

Candidate Candidate::from(const UICandidate& c) {
    const Rect frame = Rect::from(c.frame);
    return {c.id,    c.role,  c.title,     c.description, c.value,
            frame.x, frame.y, frame.width, frame.height,  c.context};
}

Json Candidate::toJson() const {
    Json j = Json::object();
    j["id"] = id;
    j["role"] = role;
    j["title"] = title;
    j["description"] = description;
    j["value"] = value;
    j["x"] = json::finite(x);
    j["y"] = json::finite(y);
    j["width"] = json::finite(width);
    j["height"] = json::finite(height);
    if (context)
        j["context"] = *context;
    return j;
}

Json DecideRequest::toJson() const {
    Json j = Json::object();
    j["id"] = id;
    j["op"] = "decide";
    j["app"] = app;
    j["window"] = window;
    j["window_frame"] = windowFrame.toJson();
    Json list = Json::array();
    for (const auto& c : candidates)
        list.push_back(c.toJson());
    j["candidates"] = std::move(list);
    return j;
}

Json PingRequest::toJson() const {
    Json j = Json::object();
    j["id"] = id;
    j["op"] = "ping";
    return j;
}

std::string decideLine(std::int64_t id, const std::string& app, const std::string& window,
                       const ovra::Rect& windowFrame, const std::vector<UICandidate>& candidates) {
    DecideRequest request{id, app, window, Rect::from(windowFrame), {}};
    request.candidates.reserve(candidates.size());
    for (const auto& c : candidates)
        request.candidates.push_back(Candidate::from(c));
    return line(request);
}

std::string pingLine(std::int64_t id) {
    return line(PingRequest{id});
}

Response decode(std::string_view text) {
    if (text.size() > maxResponseBytes)
        throw JsonError("response line is too long");
    auto parsed = json::parse(text);
    if (!parsed)
        throw JsonError(parsed.error());
    const Json& j = parsed.value();
    if (!j.is_object())
        throw JsonError("a response must be a JSON object");

    Response r;
    r.ok = json::requireBool(j, "ok");
    if (const Json* v = optionalField(j, "id"))
        r.id = json::asInt(*v, "\"id\"");
    if (const Json* v = optionalField(j, "error"))
        r.error = json::asString(*v, "\"error\"");
    if (const Json* v = optionalField(j, "ready")) {
        if (!v->is_boolean())
            throw JsonError("\"ready\" must be true or false");
        r.ready = v->get<bool>();
    }
    if (const Json* v = optionalField(j, "model"))
        r.model = json::asString(*v, "\"model\"");
    if (const Json* v = optionalField(j, "latency_ms"))
        r.latencyMs = json::asNumber(*v, "\"latency_ms\"");
    if (const Json* v = optionalField(j, "decisions")) {
        if (!v->is_array())
            throw JsonError("\"decisions\" must be an array");
        std::vector<ModelDecision> decisions;
        decisions.reserve(v->size());
        for (const Json& item : *v) {
            auto decision = ModelDecision::fromJson(item);
            if (!decision)
                throw JsonError("a decision is malformed: " + decision.error());
            decisions.push_back(std::move(decision).value());
        }
        r.decisions = std::move(decisions);
    }
    return r;
}

}  // namespace ovra::WorkerProtocol
