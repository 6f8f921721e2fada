// A model worker's reply line, and the classifier decisions inside it: any bytes decode or are
// refused with JsonError, and whatever decisions decode leave the planner's promises intact.

#include "core/WorkerProtocol.h"
#include "fuzz/PlanChecks.h"

namespace {

std::vector<ovra::UICandidate> window() {
    std::vector<ovra::UICandidate> out;
    const char* titles[] = {"Continue",       "No thanks", "Accept all cookies",
                            "Upgrade to Pro", "",          "Terms of use"};
    for (int i = 0; i < 6; ++i) {
        ovra::UICandidate c;
        c.id = "c" + std::to_string(i);
        c.role = i == 5 ? "AXLink" : i == 4 ? "AXGroup" : "AXButton";
        c.title = titles[i];
        c.frame = ovra::Rect(10.0 + 90 * (i % 3), 40.0 * (i / 3), 80, 24);
        c.order = i;
        out.push_back(c);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto candidates = window();
    const std::string_view line = ovra::fuzz::text(data, size);

    ovra::FocusPlanner::Decisions decisions;
    try {
        const auto response = ovra::WorkerProtocol::decode(line);
        for (const auto& d : response.decisions.value_or(std::vector<ovra::ModelDecision>{}))
            decisions.emplace(d.id, d);
    } catch (const ovra::JsonError&) {
    }
    // Decisions on their own too, in the JSON form they are read and written in.
    if (const auto parsed = ovra::json::parse(line)) {
        const ovra::Json& json = *parsed;
        for (const ovra::Json& item : json.is_array() ? json : ovra::Json::array({json})) {
            if (auto d = ovra::ModelDecision::fromJson(item)) {
                (void)ovra::json::dump(d->toJson());
                decisions.emplace(d->id, std::move(d).value());
            }
        }
    }
    ovra::fuzz::checkPlan(candidates, &decisions, 3, {});
    return 0;
}
