#include "core/FocusPlan.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "core/DarkPatternPrior.h"
#include "core/OvraText.h"

namespace ovra {

std::string_view rawValue(FocusVerdict verdict) {
    switch (verdict) {
        case FocusVerdict::beacon:
            return "beacon";
        case FocusVerdict::available:
            return "available";
        case FocusVerdict::suppressed:
            return "suppressed";
    }
    return "available";
}

std::optional<FocusVerdict> focusVerdictFromRaw(std::string_view raw) {
    for (auto v : {FocusVerdict::beacon, FocusVerdict::available, FocusVerdict::suppressed}) {
        if (rawValue(v) == raw)
            return v;
    }
    return std::nullopt;
}

std::string_view rawValue(DecisionSource source) {
    return source == DecisionSource::vorn ? "vorn" : "heuristic";
}

std::optional<DecisionSource> decisionSourceFromRaw(std::string_view raw) {
    if (raw == "vorn")
        return DecisionSource::vorn;
    if (raw == "heuristic")
        return DecisionSource::heuristic;
    return std::nullopt;
}

// ---- ModelDecision ----

Json ModelDecision::toJson() const {
    Json probabilities = Json::object();
    for (const auto& [key, value] : classificationProbabilities) {
        probabilities[key] = json::finite(value);
    }
    Json out = Json::object();
    out["id"] = id;
    out["priority"] = json::finite(priority);
    out["model_verdict"] = modelVerdict;
    out["action_classification"] = actionClassification;
    out["classification_probabilities"] = std::move(probabilities);
    out["is_essential"] = json::finite(isEssential);
    out["focus_score"] = json::finite(focusScore);
    return out;
}

Result<ModelDecision> ModelDecision::fromJson(const Json& json) {
    try {
        if (!json.is_object())
            throw JsonError("a model decision must be a JSON object");
        ModelDecision d;
        d.id = json::requireString(json, "id");
        d.priority = json::requireNumber(json, "priority");
        d.modelVerdict = json::requireString(json, "model_verdict");
        d.actionClassification =
            json::requireField(json, "action_classification").get<FocusCategory>();
        const Json& probabilities = json::requireObject(json, "classification_probabilities");
        for (const auto& [key, value] : probabilities.items()) {
            d.classificationProbabilities[key] =
                json::asNumber(value, "classification_probabilities." + key);
        }
        d.isEssential = json::requireNumber(json, "is_essential");
        d.focusScore = json::requireNumber(json, "focus_score");
        return d;
    } catch (const JsonError& e) {
        return fail(std::string("invalid model decision: ") + e.what());
    } catch (const nlohmann::json::exception& e) {
        return fail(std::string("invalid model decision: ") + e.what());
    }
}

// ---- FocusPlan ----

namespace {

bool isScrollId(std::string_view id) {
    return ScrollMore::isScroll(id);
}

// Maps a possibly non-finite coordinate onto a total order: NaN sorts after everything.
double sortable(double v) {
    return std::isnan(v) ? std::numeric_limits<double>::infinity() : v;
}

std::vector<std::size_t> readingOrderIndices(const std::vector<const FocusItem*>& items) {
    struct Key {
        double row;
        double left;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (const FocusItem* item : items) {
        const Rect& f = item->candidate.frame;
        // Flooring (not truncation) keeps y = -1 out of row 0.
        keys.push_back({sortable(std::floor(f.midY() / 24.0)), sortable(f.minX())});
    }
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (keys[a].row != keys[b].row)
            return keys[a].row < keys[b].row;
        return keys[a].left < keys[b].left;
    });
    return order;
}

// The first item of each id, for plans looked up many times over.
class ItemIndex {
  public:
    explicit ItemIndex(const std::vector<FocusItem>& items) {
        byId_.reserve(items.size());
        for (const FocusItem& i : items)
            byId_.try_emplace(i.candidate.id, &i);
    }
    const FocusItem* find(std::string_view id) const {
        const auto found = byId_.find(id);
        return found == byId_.end() ? nullptr : found->second;
    }

  private:
    std::unordered_map<std::string_view, const FocusItem*> byId_;
};

}  // namespace

const FocusItem* FocusPlan::item(std::string_view id) const {
    for (const FocusItem& i : items) {
        if (i.candidate.id == id)
            return &i;
    }
    return nullptr;
}

std::vector<FocusItem> FocusPlan::beacons() const {
    const ItemIndex index(items);
    std::vector<FocusItem> out;
    for (const std::string& id : beaconOrder) {
        if (const FocusItem* i = index.find(id))
            out.push_back(*i);
    }
    return out;
}

std::vector<FocusItem> FocusPlan::available() const {
    std::vector<FocusItem> out;
    for (const FocusItem& i : items) {
        if (i.verdict == FocusVerdict::available)
            out.push_back(i);
    }
    return out;
}

std::vector<FocusItem> FocusPlan::suppressed() const {
    std::vector<FocusItem> out;
    for (const FocusItem& i : items) {
        if (i.verdict == FocusVerdict::suppressed)
            out.push_back(i);
    }
    return out;
}

std::vector<std::string> FocusPlan::revealOrder() const {
    std::vector<std::string> out;
    for (const std::string& id : beaconOrder) {
        if (!isScrollId(id))
            out.push_back(id);
    }
    for (FocusVerdict verdict : {FocusVerdict::available, FocusVerdict::suppressed}) {
        std::vector<const FocusItem*> group;
        for (const FocusItem& i : items) {
            if (i.verdict == verdict)
                group.push_back(&i);
        }
        for (std::size_t index : readingOrderIndices(group))
            out.push_back(group[index]->id());
    }
    for (std::string& id : scrollOrder())
        out.push_back(std::move(id));
    return out;
}

int FocusPlan::initialSelection(const std::vector<std::string>& ids) const {
    if (initialBeacon < 0 || static_cast<std::size_t>(initialBeacon) >= beaconOrder.size()) {
        return 0;
    }
    const std::string& wanted = beaconOrder[static_cast<std::size_t>(initialBeacon)];
    const auto found = std::find(ids.begin(), ids.end(), wanted);
    return found == ids.end() ? 0 : static_cast<int>(found - ids.begin());
}

std::vector<FocusSection> FocusPlan::sections(bool revealingHidden) const {
    const ItemIndex index(items);
    std::vector<const FocusItem*> ordered;
    for (const std::string& id : revealingHidden ? revealOrder() : beaconOrder) {
        if (isScrollId(id))
            continue;
        if (const FocusItem* i = index.find(id))
            ordered.push_back(i);
    }

    struct Heading {
        std::string_view id;
        std::string_view title;
        bool (*test)(const FocusItem&);
    };
    static constexpr Heading headings[] = {
        {"do", OvraText::mark("What you came for"),
         [](const FocusItem& i) {
             return i.category == FocusCategory::essentialFormAction &&
                    i.verdict != FocusVerdict::suppressed;
         }},
        {"out", OvraText::mark("Ways out"),
         [](const FocusItem& i) {
             return i.category == FocusCategory::dismissalOrExit &&
                    i.verdict != FocusVerdict::suppressed;
         }},
        {"also", OvraText::mark("Also on this page"),
         [](const FocusItem& i) {
             return i.category == FocusCategory::legalOrPassive &&
                    i.verdict != FocusVerdict::suppressed;
         }},
        {"hidden", OvraText::mark("Hidden as probably a distraction"),
         [](const FocusItem& i) { return i.verdict == FocusVerdict::suppressed; }},
    };

    std::vector<FocusSection> out;
    // An id is listed once, under the first heading that takes it, even when an order
    // names it twice.
    std::unordered_set<std::string_view> taken;
    for (const Heading& heading : headings) {
        FocusSection section{std::string(heading.id), OvraText::t(heading.title), {}};
        for (const FocusItem* i : ordered) {
            if (heading.test(*i) && taken.insert(i->id()).second)
                section.items.push_back(*i);
        }
        if (!section.items.empty())
            out.push_back(std::move(section));
    }

    FocusSection other{"other", OvraText::t("Other controls"), {}};
    for (const FocusItem* i : ordered) {
        if (taken.insert(i->id()).second)
            other.items.push_back(*i);
    }
    if (!other.items.empty()) {
        const auto hidden = std::find_if(out.begin(), out.end(),
                                         [](const FocusSection& s) { return s.id == "hidden"; });
        out.insert(hidden, std::move(other));
    }

    FocusSection scroll{"scroll", OvraText::t("More of this page"), {}};
    for (const std::string& id : scrollOrder()) {
        if (const FocusItem* i = index.find(id))
            scroll.items.push_back(*i);
    }
    if (!scroll.items.empty())
        out.push_back(std::move(scroll));
    return out;
}

// ---- Overrides ----

std::string_view rawValue(FocusOverride override) {
    return override == FocusOverride::pin ? "pin" : "mute";
}

std::optional<FocusOverride> focusOverrideFromRaw(std::string_view raw) {
    if (raw == "pin")
        return FocusOverride::pin;
    if (raw == "mute")
        return FocusOverride::mute;
    return std::nullopt;
}

void to_json(Json& json, FocusOverride override) {
    json = std::string(rawValue(override));
}

void from_json(const Json& json, FocusOverride& override) {
    if (!json.is_string())
        throw JsonError("a focus override must be a string");
    const auto parsed = focusOverrideFromRaw(json.get_ref<const std::string&>());
    if (!parsed)
        throw JsonError("unknown focus override: " + json.get<std::string>());
    override = *parsed;
}

std::string FocusOverrides::key(std::string_view app, const UICandidate& candidate) {
    return key(app, candidate.role, DarkPatternPrior::normalized(candidate.label()));
}

std::string FocusOverrides::key(std::string_view app, std::string_view role,
                                std::string_view normalizedLabel) {
    std::string out;
    writeKey(out, app, role, normalizedLabel);
    return out;
}

void FocusOverrides::writeKey(std::string& out, std::string_view app, std::string_view role,
                              std::string_view normalizedLabel) {
    out.clear();
    out.reserve(app.size() + role.size() + normalizedLabel.size() + 2);
    out += app;
    out += '|';
    out += role;
    out += '|';
    out += normalizedLabel;
}

std::optional<FocusOverride> FocusOverrides::lookup(std::string_view app,
                                                    const UICandidate& candidate) const {
    const auto found = entries.find(key(app, candidate));
    if (found == entries.end())
        return std::nullopt;
    return found->second;
}

// ---- Reading order ----

namespace FocusPlanner {

std::vector<FocusItem> readingOrder(const std::vector<FocusItem>& items) {
    std::vector<const FocusItem*> pointers;
    pointers.reserve(items.size());
    for (const FocusItem& i : items)
        pointers.push_back(&i);
    std::vector<FocusItem> out;
    out.reserve(items.size());
    for (std::size_t index : readingOrderIndices(pointers))
        out.push_back(items[index]);
    return out;
}

std::vector<std::size_t> readingOrder(const std::vector<FocusItem>& items,
                                      const std::vector<std::size_t>& positions) {
    std::vector<const FocusItem*> pointers;
    pointers.reserve(positions.size());
    for (std::size_t position : positions)
        pointers.push_back(&items.at(position));
    std::vector<std::size_t> out;
    out.reserve(positions.size());
    for (std::size_t index : readingOrderIndices(pointers))
        out.push_back(positions[index]);
    return out;
}

}  // namespace FocusPlanner
}  // namespace ovra
