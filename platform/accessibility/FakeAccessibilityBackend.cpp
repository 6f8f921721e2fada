#include "platform/accessibility/FakeAccessibilityBackend.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace ovra::ax {

namespace {

class FakeRef final : public ElementRef {
  public:
    FakeRef(const void* anOwner, int anIndex, std::int64_t aCopy, std::string key)
        : owner(anOwner), index(anIndex), copy(aCopy), key_(std::move(key)) {}
    std::string key() const override { return key_; }

    const void* owner;
    int index;
    std::int64_t copy;

  private:
    std::string key_;
};

constexpr std::string_view errorNames[] = {
    "unsupportedAttribute", "noValue",    "timeout", "appGone", "wrongType",
    "cannotComplete",       "unconfirmed"};

std::string formatNumber(double d) {
    std::ostringstream out;
    out << d;
    return out.str();
}

}  // namespace

std::optional<AXError> axErrorFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(errorNames); ++i) {
        if (errorNames[i] == name) {
            return static_cast<AXError>(i);
        }
    }
    return std::nullopt;
}

std::string describe(const Value& value) {
    struct Visitor {
        std::string operator()(const std::string& s) const { return "\"" + s + "\""; }
        std::string operator()(double d) const { return formatNumber(d); }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(const Point& p) const {
            return "(" + formatNumber(p.x) + ", " + formatNumber(p.y) + ")";
        }
        std::string operator()(const Size& s) const {
            return formatNumber(s.width) + "x" + formatNumber(s.height);
        }
        std::string operator()(const Rect& r) const {
            std::ostringstream out;
            out << r;
            return out.str();
        }
        std::string operator()(const Element& e) const { return "<" + e.key() + ">"; }
        std::string operator()(const ElementList& list) const {
            std::string out = "[";
            for (std::size_t i = 0; i < list.size(); ++i) {
                out += (i ? ", <" : "<") + list[i].key() + ">";
            }
            return out + "]";
        }
    };
    return std::visit(Visitor{}, value);
}

void ManualClock::sleep(double seconds) {
    sleeps_.push_back(seconds);
    if (seconds > 0) {
        now_ += seconds;
    }
    if (whileAsleep) {
        whileAsleep();
    }
}

// Builds the node table of a fixture; throws JsonError on a malformed fixture.
class FakeFixtureLoader {
  public:
    explicit FakeFixtureLoader(FakeAccessibilityBackend& fake) : fake_(fake) {}

    void load(const Json& fixture) {
        if (!fixture.is_object()) {
            throw JsonError("a fixture must be an object");
        }
        fake_.trusted_ = optionalBool(fixture, "trusted", true);
        fake_.frontmost_ = optionalBool(fixture, "frontmost", true);
        if (const auto it = fixture.find("screens"); it != fixture.end()) {
            if (!it->is_array()) {
                throw JsonError("\"screens\" must be an array");
            }
            for (const auto& screen : *it) {
                fake_.screens_.push_back(rect(screen, "screen"));
            }
        }
        fake_.nodes_.push_back({});
        fake_.nodes_[0].id = "app";
        if (const auto it = fixture.find("app"); it != fixture.end()) {
            loadApp(*it);
        }
        if (const auto it = fixture.find("window"); it != fixture.end() && !it->is_null()) {
            fake_.window_ = loadNode(*it);
        }
        if (const auto it = fixture.find("otherWindows"); it != fixture.end() && it->is_array()) {
            for (const auto& other : *it) {
                fake_.otherWindows_.push_back(loadNode(other));
            }
        }
        if (const auto it = fixture.find("afterWakeUp"); it != fixture.end()) {
            fake_.windowAfterWakeUp_ = loadNode(*it);
            if (!wakeUpGiven_) {
                fake_.wakeUpResult_ = std::nullopt;
            }
        }
        if (fake_.listedLate_ > 0) {
            fake_.unlisted_ = loadNode(Json{{"id", "unlisted-app"}});
            fake_.nodes_[static_cast<std::size_t>(fake_.unlisted_)].removed = true;
        }
        finish();
    }

    // One more node (with its children) taken in after loading; its index.
    int add(const Json& object) {
        const int index = loadNode(object);
        finish();
        return index;
    }

  private:
    // Handles for the nodes added since the last call, and their references resolved.
    void finish() {
        for (std::size_t i = fake_.refs_.size(); i < fake_.nodes_.size(); ++i) {
            fake_.refs_.push_back(
                std::make_shared<FakeRef>(&fake_, static_cast<int>(i), -1, fake_.nodes_[i].id));
        }
        std::vector<std::string> ids;
        for (const auto& n : fake_.nodes_) {
            if (!n.removed) {
                ids.push_back(n.id);
            }
        }
        std::sort(ids.begin(), ids.end());
        if (std::adjacent_find(ids.begin(), ids.end()) != ids.end()) {
            throw JsonError("node ids must be unique");
        }
        for (const auto& pending : pendingRefs_) {
            resolve(pending);
        }
        for (const auto& [parent, slot, id] : pendingChildren_) {
            const auto found = std::find(ids.begin(), ids.end(), id);
            if (found == ids.end()) {
                throw JsonError("unknown child \"" + id + "\"");
            }
            fake_.nodes_[static_cast<std::size_t>(parent)].children[slot] = fake_.indexOf(id);
        }
        pendingRefs_.clear();
        pendingChildren_.clear();
    }

    struct PendingRef {
        int node;
        std::string attribute;
        std::vector<std::string> ids;
        bool list;
    };

    static bool optionalBool(const Json& object, std::string_view key, bool fallback) {
        const auto it = object.find(key);
        if (it == object.end()) {
            return fallback;
        }
        if (!it->is_boolean()) {
            throw JsonError("\"" + std::string(key) + "\" must be a Boolean");
        }
        return it->get<bool>();
    }

    static double number(const Json& value, std::string_view what) {
        if (value.is_object()) {
            const std::string special = json::requireString(value, "number");
            if (special == "nan") {
                return std::numeric_limits<double>::quiet_NaN();
            }
            if (special == "inf") {
                return std::numeric_limits<double>::infinity();
            }
            throw JsonError(std::string(what) + ": unknown special number");
        }
        return json::asNumber(value, what);
    }

    static std::vector<double> numbers(const Json& value, std::size_t count,
                                       std::string_view what) {
        if (!value.is_array() || value.size() != count) {
            throw JsonError(std::string(what) + " must be an array of " + std::to_string(count) +
                            " numbers");
        }
        std::vector<double> out;
        for (const auto& v : value) {
            out.push_back(number(v, what));
        }
        return out;
    }

    static Rect rect(const Json& value, std::string_view what) {
        const auto n = numbers(value, 4, what);
        return {n[0], n[1], n[2], n[3]};
    }

    static AXError error(const Json& value) {
        if (!value.is_string()) {
            throw JsonError("a fault must be an error name");
        }
        const auto parsed = axErrorFromName(value.get<std::string>());
        if (!parsed) {
            throw JsonError("unknown error name \"" + value.get<std::string>() + "\"");
        }
        return *parsed;
    }

    void loadApp(const Json& app) {
        if (!app.is_object()) {
            throw JsonError("\"app\" must be an object");
        }
        if (app.contains("pid")) {
            fake_.app_.pid = json::requireInt(app, "pid");
        }
        if (app.contains("name")) {
            fake_.app_.localizedName = json::requireString(app, "name");
        }
        fake_.gone_ = optionalBool(app, "gone", false);
        if (app.contains("goneAfter")) {
            fake_.goneAfter_ = static_cast<long>(json::requireInt(app, "goneAfter"));
        }
        if (app.contains("hangAfter")) {
            fake_.hangAfter_ = static_cast<long>(json::requireInt(app, "hangAfter"));
        }
        if (app.contains("listedLate")) {
            fake_.listedLate_ = static_cast<int>(json::requireInt(app, "listedLate"));
        }
        if (app.contains("hitTestSettle")) {
            fake_.hitTestSettle_ = json::requireNumber(app, "hitTestSettle");
        }
        if (app.contains("callCost")) {
            fake_.callCost_ = json::requireNumber(app, "callCost");
        }
        fake_.focusedWindow_ = optionalBool(app, "focusedWindow", true);
        fake_.mainWindow_ = optionalBool(app, "mainWindow", true);
        if (const auto it = app.find("wakeUp"); it != app.end()) {
            wakeUpGiven_ = true;
            if (it->is_string() && it->get<std::string>() == "ok") {
                fake_.wakeUpResult_ = std::nullopt;
            } else {
                fake_.wakeUpResult_ = error(*it);
            }
        }
        loadExtras(app, 0);
    }

    Value value(const Json& v, int nodeIndex, const std::string& attribute) {
        if (v.is_string()) {
            return v.get<std::string>();
        }
        if (v.is_boolean()) {
            return v.get<bool>();
        }
        if (v.is_number()) {
            return json::asNumber(v, attribute);
        }
        if (v.is_object() && v.size() == 1) {
            const auto first = v.begin();
            const std::string key = first.key();
            const Json& inner = first.value();
            if (key == "point") {
                const auto n = numbers(inner, 2, attribute);
                return Point{n[0], n[1]};
            }
            if (key == "size") {
                const auto n = numbers(inner, 2, attribute);
                return Size{n[0], n[1]};
            }
            if (key == "rect") {
                return rect(inner, attribute);
            }
            if (key == "number") {
                return number(v, attribute);
            }
            if (key == "ref") {
                pendingRefs_.push_back({nodeIndex, attribute, {json::asString(inner, key)}, false});
                return Element{};
            }
            if (key == "refs" && inner.is_array()) {
                std::vector<std::string> ids;
                for (const auto& id : inner) {
                    ids.push_back(json::asString(id, key));
                }
                pendingRefs_.push_back({nodeIndex, attribute, std::move(ids), true});
                return ElementList{};
            }
        }
        throw JsonError("unreadable value of " + attribute);
    }

    void loadExtras(const Json& object, int index) {
        if (const auto it = object.find("attrs"); it != object.end()) {
            if (!it->is_object()) {
                throw JsonError("\"attrs\" must be an object");
            }
            for (const auto& [name, v] : it->items()) {
                fake_.nodes_[static_cast<std::size_t>(index)].attributes[name] =
                    value(v, index, name);
            }
        }
        if (const auto it = object.find("faults"); it != object.end()) {
            if (!it->is_object()) {
                throw JsonError("\"faults\" must be an object");
            }
            for (const auto& [name, v] : it->items()) {
                fake_.nodes_[static_cast<std::size_t>(index)].faults[name] = error(v);
            }
        }
    }

    static std::vector<std::string> strings(const Json& object, std::string_view key) {
        std::vector<std::string> out;
        if (const auto it = object.find(key); it != object.end()) {
            if (!it->is_array()) {
                throw JsonError("\"" + std::string(key) + "\" must be an array");
            }
            for (const auto& s : *it) {
                out.push_back(json::asString(s, key));
            }
        }
        return out;
    }

    int loadNode(const Json& object) {
        if (!object.is_object()) {
            throw JsonError("a node must be an object");
        }
        const int index = static_cast<int>(fake_.nodes_.size());
        fake_.nodes_.push_back({});
        auto at = [&]() -> FakeAccessibilityBackend::Node& {
            return fake_.nodes_[static_cast<std::size_t>(index)];
        };
        at().id =
            object.contains("id") ? json::requireString(object, "id") : "n" + std::to_string(index);
        static constexpr std::pair<std::string_view, std::string_view> shorthands[] = {
            {"role", "AXRole"},       {"subrole", "AXSubrole"},
            {"title", "AXTitle"},     {"desc", "AXDescription"},
            {"value", "AXValue"},     {"placeholder", "AXPlaceholderValue"},
            {"enabled", "AXEnabled"}, {"focused", "AXFocused"},
            {"hidden", "AXHidden"},
        };
        for (const auto& [key, name] : shorthands) {
            if (const auto it = object.find(key); it != object.end()) {
                const std::string attribute(name);
                at().attributes[attribute] = value(*it, index, attribute);
            }
        }
        if (const auto it = object.find("frame"); it != object.end()) {
            const Rect r = rect(*it, "frame");
            at().attributes["AXPosition"] = r.origin;
            at().attributes["AXSize"] = r.size;
        }
        loadExtras(object, index);
        at().actions = strings(object, "actions");
        at().settable = strings(object, "settable");
        if (object.contains("snap")) {
            at().snap = json::requireNumber(object, "snap");
        }
        if (object.contains("passThrough")) {
            at().passThrough = json::requireBool(object, "passThrough");
        }
        std::vector<int> kids;
        if (const auto it = object.find("children"); it != object.end()) {
            if (!it->is_array()) {
                throw JsonError("\"children\" must be an array");
            }
            for (const auto& child : *it) {
                // {"ref": "id"}: a node listed again, as broken trees list an ancestor.
                if (child.is_object() && child.size() == 1 && child.contains("ref")) {
                    pendingChildren_.push_back(
                        {index, kids.size(), json::asString(child["ref"], "ref")});
                    kids.push_back(0);
                } else {
                    kids.push_back(loadNode(child));
                }
            }
        }
        at().children = std::move(kids);
        if (object.contains("repeat")) {
            const auto repeat = json::requireInt(object, "repeat");
            if (repeat < 0 || at().children.size() != 1) {
                throw JsonError("\"repeat\" needs a count and exactly one child");
            }
            at().repeat = static_cast<std::size_t>(repeat);
        }
        return index;
    }

    void resolve(const PendingRef& pending) {
        ElementList list;
        for (const auto& id : pending.ids) {
            Element e = fake_.element(id);
            if (e.isNull()) {
                throw JsonError("unknown element \"" + id + "\" in " + pending.attribute);
            }
            list.push_back(std::move(e));
        }
        auto& slot = fake_.nodes_[static_cast<std::size_t>(pending.node)];
        if (pending.list) {
            slot.attributes[pending.attribute] = std::move(list);
        } else {
            slot.attributes[pending.attribute] = list.front();
        }
    }

    struct PendingChild {
        int parent;
        std::size_t slot;
        std::string id;
    };

    FakeAccessibilityBackend& fake_;
    std::vector<PendingRef> pendingRefs_;
    std::vector<PendingChild> pendingChildren_;
    bool wakeUpGiven_ = false;
};

Result<std::unique_ptr<FakeAccessibilityBackend>> FakeAccessibilityBackend::fromJson(
    const Json& fixture) {
    std::unique_ptr<FakeAccessibilityBackend> fake(new FakeAccessibilityBackend());
    try {
        FakeFixtureLoader(*fake).load(fixture);
    } catch (const JsonError& e) {
        return fail(std::string("bad fixture: ") + e.what());
    } catch (const Json::exception& e) {
        return fail(std::string("bad fixture: ") + e.what());
    }
    return fake;
}

Element FakeAccessibilityBackend::handle(int index, std::int64_t copy) const {
    if (copy < 0) {
        return Element(refs_[static_cast<std::size_t>(index)]);
    }
    return Element(std::make_shared<FakeRef>(
        this, index, copy,
        nodes_[static_cast<std::size_t>(index)].id + "#" + std::to_string(copy)));
}

int FakeAccessibilityBackend::indexOf(std::string_view id) const {
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i].id == id && !nodes_[i].removed) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

Element FakeAccessibilityBackend::element(std::string_view id) const {
    const int index = indexOf(id);
    if (index < 0 || static_cast<std::size_t>(index) >= refs_.size()) {
        return {};
    }
    return handle(index);
}

const FakeAccessibilityBackend::Node* FakeAccessibilityBackend::node(const Element& element) const {
    const auto* ref = element.as<FakeRef>();
    if (ref == nullptr || ref->owner != this || ref->index < 0 ||
        static_cast<std::size_t>(ref->index) >= nodes_.size()) {
        return nullptr;
    }
    return &nodes_[static_cast<std::size_t>(ref->index)];
}

FakeAccessibilityBackend::Node* FakeAccessibilityBackend::node(const Element& element) {
    return const_cast<Node*>(std::as_const(*this).node(element));
}

void FakeAccessibilityBackend::tell(Change::Kind kind, std::string_view id) {
    told_.emplace_back(clock_.now(), Change{kind, element(id), clock_.now()});
}

std::optional<std::vector<Change>> FakeAccessibilityBackend::changesSince(const Element& element,
                                                                          double since) {
    if (!hearsChanges_ || since < heardSince_ || node(element) == nullptr || enter()) {
        return std::nullopt;
    }
    std::vector<Change> changes;
    for (const auto& [at, change] : told_) {
        if (at >= since) {
            changes.push_back(change);
        }
    }
    return changes;
}

std::optional<AXError> FakeAccessibilityBackend::enter() {
    ++calls_;
    if (gone_ || (goneAfter_ >= 0 && calls_ > goneAfter_)) {
        return AXError::appGone;
    }
    const bool stalled = stalledCalls_ > 0 && calls_ > stallFrom_;
    if ((hangAfter_ >= 0 && calls_ > hangAfter_) || stalled) {
        stalledCalls_ -= stalled ? 1 : 0;
        clock_.advance(timeoutSeconds_);
        ++timeouts_;
        return AXError::timeout;
    }
    clock_.advance(callCost_);
    return std::nullopt;
}

Result<const FakeAccessibilityBackend::Node*, AXError> FakeAccessibilityBackend::call(
    const Element& element, std::string_view faultKey) {
    const Node* n = node(element);
    if (n == nullptr) {
        return fail(AXError::cannotComplete);
    }
    if (auto error = enter()) {
        return fail(*error);
    }
    if (n->removed) {
        return fail(AXError::appGone);
    }
    if (auto error = fault(*n, faultKey)) {
        return fail(*error);
    }
    return n;
}

std::optional<AXError> FakeAccessibilityBackend::fault(const Node& n, std::string_view key) {
    const auto it = n.faults.find(key);
    if (it == n.faults.end()) {
        return std::nullopt;
    }
    if (it->second == AXError::timeout) {
        clock_.advance(timeoutSeconds_);
        ++timeouts_;
    }
    return it->second;
}

std::optional<RunningApp> FakeAccessibilityBackend::frontmostApp() {
    if (!frontmost_) {
        return std::nullopt;
    }
    return app_;
}

Element FakeAccessibilityBackend::applicationElement(const RunningApp& app) {
    if (app.pid != app_.pid) {
        return {};
    }
    if (listedLate_ > 0) {
        --listedLate_;
        return handle(unlisted_);
    }
    return handle(0);
}

void FakeAccessibilityBackend::setMessagingTimeout(const Element& appElement, double seconds) {
    if (node(appElement) == &nodes_[0] && std::isfinite(seconds) && seconds > 0) {
        timeoutSeconds_ = seconds;
        log_.push_back("timeout " + formatNumber(seconds));
    }
}

std::optional<AXError> FakeAccessibilityBackend::wakeUp(const Element& appElement) {
    if (node(appElement) != &nodes_[0]) {
        return AXError::cannotComplete;
    }
    if (const auto error = enter()) {
        log_.push_back("wakeUp failed: " + std::string(toString(*error)));
        return error;
    }
    if (wakeUpResult_) {
        log_.push_back("wakeUp failed: " + std::string(toString(*wakeUpResult_)));
        return wakeUpResult_;
    }
    log_.push_back("wakeUp");
    if (windowAfterWakeUp_ >= 0) {
        window_ = windowAfterWakeUp_;
    }
    return std::nullopt;
}

Read FakeAccessibilityBackend::attribute(const Element& element, std::string_view name) {
    if (name == "AXChildren") {
        // One call, with the children call's own faults.
        auto kids = children(element, std::numeric_limits<std::size_t>::max());
        if (!kids) {
            return fail(kids.error());
        }
        return Value(std::move(kids).value());
    }
    ++counters_.attribute;
    const auto called = call(element, name);
    if (!called) {
        return fail(called.error());
    }
    const Node* n = *called;
    if (n == &nodes_[0] && !n->attributes.contains(name)) {
        const bool focused = name == "AXFocusedWindow" && focusedWindow_;
        const bool main = name == "AXMainWindow" && mainWindow_;
        if ((focused || main) && window_ >= 0) {
            return Value(handle(window_));
        }
    }
    const auto it = n->attributes.find(name);
    if (it == n->attributes.end()) {
        return fail(AXError::noValue);
    }
    return it->second;
}

Result<std::vector<Read>, AXError> FakeAccessibilityBackend::attributes(
    const Element& element, std::span<const std::string_view> names) {
    ++counters_.batch;
    const auto called = call(element, "attributes");
    if (!called) {
        return fail(called.error());
    }
    const Node* n = *called;
    std::vector<Read> out;
    out.reserve(names.size());
    bool timedOut = false;
    for (const auto name : names) {
        const auto f = n->faults.find(name);
        if (f != n->faults.end()) {
            if (f->second == AXError::timeout && !timedOut) {
                // One round trip: a slow attribute delays the whole batch once.
                timedOut = true;
                clock_.advance(timeoutSeconds_);
                ++timeouts_;
            }
            out.emplace_back(fail(f->second));
            continue;
        }
        const auto it = n->attributes.find(name);
        if (it == n->attributes.end()) {
            out.emplace_back(fail(AXError::noValue));
        } else {
            out.emplace_back(it->second);
        }
    }
    return out;
}

Result<ElementList, AXError> FakeAccessibilityBackend::children(const Element& element,
                                                                std::size_t limit) {
    ++counters_.children;
    counters_.largestChildLimit = std::max(counters_.largestChildLimit, limit);
    const auto called = call(element, "children");
    if (!called) {
        return fail(called.error());
    }
    const Node* n = *called;
    ElementList out;
    if (n == &nodes_[0]) {
        if (window_ >= 0 && limit > 0) {
            out.push_back(handle(window_));
        }
        for (const int other : otherWindows_) {
            if (out.size() < limit) {
                out.push_back(handle(other));
            }
        }
    } else if (n->repeat > 0) {
        const std::size_t count = std::min(limit, n->repeat);
        out.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            out.push_back(handle(n->children.front(), static_cast<std::int64_t>(i)));
        }
    } else {
        const std::size_t count = std::min(limit, n->children.size());
        out.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            out.push_back(handle(n->children[i]));
        }
    }
    counters_.childrenHandedOut += out.size();
    return out;
}

Result<std::vector<std::string>, AXError> FakeAccessibilityBackend::actionNames(
    const Element& element) {
    ++counters_.actionNames;
    const auto called = call(element, "actions");
    if (!called) {
        return fail(called.error());
    }
    return (*called)->actions;
}

Result<bool, AXError> FakeAccessibilityBackend::isAttributeSettable(const Element& element,
                                                                    std::string_view name) {
    const auto called = call(element, {});
    if (!called) {
        return fail(called.error());
    }
    const auto& settable = (*called)->settable;
    return std::find(settable.begin(), settable.end(), name) != settable.end();
}

Result<Element, AXError> FakeAccessibilityBackend::elementAtPoint(const Element& root,
                                                                  Point point) {
    ++counters_.hitTests;
    ++counters_.hitTestRounds;
    const auto called = call(root, "elementAtPoint");
    if (!called) {
        return fail(called.error());
    }
    const auto shows = [&](int index) {
        const Node& n = nodes_[static_cast<std::size_t>(index)];
        const auto origin = n.attributes.find("AXPosition");
        const auto size = n.attributes.find("AXSize");
        const auto hidden = n.attributes.find("AXHidden");
        if (n.removed || origin == n.attributes.end() || size == n.attributes.end() ||
            (hidden != n.attributes.end() && asBool(hidden->second) == true)) {
            return false;
        }
        const auto at = asPoint(origin->second);
        const auto extent = asSize(size->second);
        return at && extent && Rect(*at, *extent).contains(point);
    };
    const auto* ref = root.as<FakeRef>();
    const int start = ref != nullptr ? ref->index : 0;
    // Asked anew, a lagging toolkit first answers from its tree's bounds: the smallest frame
    // there, whatever lies over it.
    const bool settled =
        !(hitTestSettle_ > 0) ||
        (lastHit_ && lastHit_->first == point && clock_.now() - lastHit_->second >= hitTestSettle_);
    if (!settled) {
        if (!lastHit_ || !(lastHit_->first == point)) {
            lastHit_ = {point, clock_.now()};
        }
        int smallest = start;
        double least = std::numeric_limits<double>::infinity();
        std::vector<int> stack{start};
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            for (const int kid : nodes_[static_cast<std::size_t>(at)].children) {
                if (!shows(kid)) {
                    continue;
                }
                const Node& n = nodes_[static_cast<std::size_t>(kid)];
                const auto extent = asSize(n.attributes.at("AXSize"));
                if (extent->width * extent->height <= least) {
                    least = extent->width * extent->height;
                    smallest = kid;
                }
                stack.push_back(kid);
            }
        }
        return handle(smallest);
    }
    int current = start;
    // Down through the topmost child that shows at the point, as a hit test goes, past what the
    // pointer passes through.
    for (int depth = 0; depth < 256; ++depth) {
        const auto& kids = nodes_[static_cast<std::size_t>(current)].children;
        const auto hit = std::find_if(kids.rbegin(), kids.rend(), [&](int kid) {
            return shows(kid) && !nodes_[static_cast<std::size_t>(kid)].passThrough;
        });
        if (hit == kids.rend()) {
            break;
        }
        current = *hit;
    }
    if (onHitTest) {
        onHitTest();
    }
    return handle(current);
}

std::vector<Result<Element, AXError>> FakeAccessibilityBackend::elementsAtPoints(
    const Element& root, std::span<const Point> points) {
    ++counters_.hitTestRounds;
    std::vector<Result<Element, AXError>> found;
    found.reserve(points.size());
    for (const Point point : points) {
        found.push_back(elementAtPoint(root, point));
        --counters_.hitTestRounds;
    }
    return found;
}

std::optional<AXError> FakeAccessibilityBackend::performAction(const Element& element,
                                                               std::string_view action) {
    const Node* n = node(element);
    if (n == nullptr) {
        return AXError::cannotComplete;
    }
    std::optional<AXError> error = enter();
    if (!error && n->removed) {
        error = AXError::appGone;
    }
    if (!error) {
        error = fault(*n, action);
    }
    if (!error && std::find(n->actions.begin(), n->actions.end(), action) == n->actions.end()) {
        error = AXError::unsupportedAttribute;
    }
    std::string line = "perform " + element.key() + " " + std::string(action);
    if (error) {
        line += " failed: " + std::string(toString(*error));
    }
    log_.push_back(std::move(line));
    if (!error && onPerform) {
        const std::string id = n->id;  // the reaction may change the tree
        onPerform(id, action);
    }
    return error;
}

std::optional<AXError> FakeAccessibilityBackend::setAttribute(const Element& element,
                                                              std::string_view name,
                                                              const Value& value) {
    Node* n = node(element);
    if (n == nullptr) {
        return AXError::cannotComplete;
    }
    std::optional<AXError> error = enter();
    if (!error && n->removed) {
        error = AXError::appGone;
    }
    if (!error && std::find(n->settable.begin(), n->settable.end(), name) == n->settable.end()) {
        error = AXError::unsupportedAttribute;
    }
    std::string line = "set " + element.key() + " " + std::string(name) + " " + describe(value);
    const auto number = asNumber(value);
    if (error) {
        line += " failed: " + std::string(toString(*error));
    } else {
        n->attributes[std::string(name)] =
            number && n->snap != 0 ? Value(*number + n->snap) : value;
    }
    log_.push_back(std::move(line));
    return error;
}

Result<bool> FakeAccessibilityBackend::change(std::string_view id, const Json& replacement) {
    const Element old = element(id);
    if (old.isNull()) {
        return fail("no node \"" + std::string(id) + "\"");
    }
    const auto index = static_cast<std::size_t>(old.as<FakeRef>()->index);
    // The node goes with everything below it.
    std::vector<std::size_t> below{index};
    for (std::size_t i = 0; i < below.size(); ++i) {
        for (const int child : nodes_[below[i]].children) {
            below.push_back(static_cast<std::size_t>(child));
        }
    }
    for (const std::size_t i : below) {
        nodes_[i].removed = true;
    }
    int fresh = -1;
    if (!replacement.is_null()) {
        std::string error;
        try {
            fresh = FakeFixtureLoader(*this).add(replacement);
        } catch (const JsonError& e) {
            error = e.what();
        } catch (const Json::exception& e) {
            error = e.what();
        }
        if (!error.empty()) {
            for (const std::size_t i : below) {
                nodes_[i].removed = false;
            }
            return fail("bad node: " + error);
        }
    }
    Node& was = nodes_[index];
    if (fresh >= 0 && nodes_[static_cast<std::size_t>(fresh)].id == id) {
        // The same element with a new look: it takes the new node's contents.
        Node& look = nodes_[static_cast<std::size_t>(fresh)];
        look.removed = true;
        was.removed = false;
        was.attributes = look.attributes;
        was.faults = look.faults;
        was.actions = look.actions;
        was.settable = look.settable;
        was.children = look.children;
        was.repeat = look.repeat;
        log_.push_back("changed " + std::string(id));
        return true;
    }
    for (Node& parent : nodes_) {
        for (auto child = parent.children.begin(); child != parent.children.end(); ++child) {
            if (*child == static_cast<int>(index)) {
                if (fresh >= 0) {
                    *child = fresh;
                } else {
                    parent.children.erase(child);
                }
                break;
            }
        }
    }
    if (window_ == static_cast<int>(index)) {
        window_ = fresh;
    }
    log_.push_back(fresh >= 0 ? "replaced " + std::string(id) + " by " +
                                    nodes_[static_cast<std::size_t>(fresh)].id
                              : "removed " + std::string(id));
    return true;
}

}  // namespace ovra::ax
