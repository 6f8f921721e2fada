#pragma once

// A scripted accessibility backend for tests and benchmarks: one app with one window, loaded
// from a compact JSON fixture, with injected faults and a manual clock. Actions, attribute writes
// and wake-ups go to a log.
//
// Fixture:
//   { "trusted": true, "frontmost": true,
//     "screens": [[x, y, w, h], ...],                       accessibility space, primary first
//     "app": { "pid": 42, "name": "Example",                name may be absent
//              "gone": false,                               every call fails with appGone
//              "hangAfter": 10,                             calls after the 10th time out
//              "goneAfter": 10,                             calls after the 10th find it gone
//              "listedLate": 1,                             the first lookups (1) find an
//                                                           element that is gone (a registry
//                                                           that restarted lists the app late)
//              "callCost": 0.001,                           seconds each call takes
//              "hitTestSettle": 0.02,                       a hit test answers from the
//                                      tree's bounds (the smallest frame) until asked again
//                                      at the same point this much later
//              "focusedWindow": true, "mainWindow": true,   false: that attribute is missing
//              "wakeUp": "ok" | <error name> },             default ok with "afterWakeUp"
//     "window": <node> | null,
//     "otherWindows": [<node>, ...],                         the app's windows after it
//     "afterWakeUp": <node> }                               the window once woken up
//   node: { "id": "ok",                    element key (default "n" and an index)
//           "role", "subrole", "title", "desc", "value", "placeholder": AX attributes,
//           "frame": [x, y, w, h],         "AXPosition" and "AXSize"
//           "enabled", "focused", "hidden": Booleans,
//           "attrs": { "AXName": value },  any other attribute, any kind of value
//           "actions": ["AXPress"], "settable": ["AXFocused"],
//           "snap": 0.02,                  a number written is kept off by this much
//           "passThrough": true,           hit tests pass through it (pointer-events: none)
//           "faults": { "AXTitle": "timeout", "attributes": ..., "children": ...,
//                       "actions": ..., "AXPress": ... },  error names of AXError; whole-call
//                                      faults by call, an action's by its name
//           "children": [ node | {"ref": "id"}, ... ],   a ref lists that node again;
//                                      later children lie over earlier ones where they overlap
//           "repeat": 100000 }             children are that many copies of the only child
//   value: string | number | Boolean | {"point": [x, y]} | {"size": [w, h]} |
//          {"rect": [x, y, w, h]} | {"ref": "id"} | {"refs": ["id", ...]} | {"number": "nan"}
// A timed-out call advances the clock by the app's messaging time-out (6 s until one is set).

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Json.h"
#include "core/Result.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::ax {

class ManualClock final : public Clock {
  public:
    double now() const override { return now_; }
    void sleep(double seconds) override;
    void advance(double seconds) { now_ += seconds; }
    const std::vector<double>& sleeps() const { return sleeps_; }
    // Runs at every pause, as if the world went on meanwhile.
    std::function<void()> whileAsleep;

  private:
    double now_ = 0;
    std::vector<double> sleeps_;
};

class FakeAccessibilityBackend final : public AccessibilityBackend {
  public:
    static Result<std::unique_ptr<FakeAccessibilityBackend>> fromJson(const Json& fixture);

    struct Counters {
        int attribute = 0;
        int batch = 0;
        int children = 0;
        int actionNames = 0;
        int hitTests = 0;
        int hitTestRounds = 0;  // hit tests asked together count once
        std::size_t largestChildLimit = 0;
        std::size_t childrenHandedOut = 0;
        std::size_t prefetched = 0;          // elements hinted at by prefetch
        std::size_t prefetchNodeBudget = 0;  // the largest budget a prefetch came with
        int total() const { return attribute + batch + children + actionNames; }
    };

    ManualClock& clock() { return clock_; }
    const std::vector<std::string>& log() const { return log_; }
    const Counters& counters() const { return counters_; }
    void setTrusted(bool trusted) { trusted_ = trusted; }
    // From now on the app is gone, or every call on it times out.
    void quit() { gone_ = true; }
    void hang() { hangAfter_ = static_cast<long>(calls_); }
    // The next `calls` calls, once `after` more were answered, time out, as on an app busy for
    // a moment.
    void stall(int calls, int after = 0) {
        stalledCalls_ = calls;
        stallFrom_ = calls_ + after;
    }
    // The handle of the node with this fixture id (null when there is none).
    Element element(std::string_view id) const;
    // How many timed-out calls the app had.
    int timeouts() const { return timeouts_; }
    // The page changes under a reader: `replacement` null removes the node (every call on it
    // then fails with appGone); a node with the same id gives the element a new look (it stays
    // the same element); a node with another id is a new element in the old one's place.
    Result<bool> change(std::string_view id, const Json& replacement);
    // Runs after every action an element took, as the app would react to it: the fixture id of
    // the element and the action.
    std::function<void(const std::string& id, std::string_view action)> onPerform;
    // Runs after every hit test, as a browser that asks its page what lies there would.
    std::function<void()> onHitTest;
    // From now on the app's changes are heard (changesSince answers), or no longer.
    void hearChanges(bool heard) {
        if (heard && !hearsChanges_) {
            heardSince_ = clock_.now();
        }
        hearsChanges_ = heard;
    }
    // The app tells of a change of the node with this fixture id, at the clock's time.
    void tell(Change::Kind kind, std::string_view id);
    // From now on the app draws at this scale (scaleOf answers it for its elements).
    void setScale(double scale) { scale_ = scale; }

    bool isProcessTrusted() override { return trusted_; }
    std::optional<RunningApp> frontmostApp() override;
    Element applicationElement(const RunningApp& app) override;
    std::vector<Rect> screenFrames() override { return screens_; }
    void setMessagingTimeout(const Element& appElement, double seconds) override;
    std::optional<AXError> wakeUp(const Element& appElement) override;

    Read attribute(const Element& element, std::string_view name) override;
    Result<std::vector<Read>, AXError> attributes(const Element& element,
                                                  std::span<const std::string_view> names) override;
    Result<ElementList, AXError> children(const Element& element, std::size_t limit) override;
    Result<std::vector<std::string>, AXError> actionNames(const Element& element) override;
    Result<bool, AXError> isAttributeSettable(const Element& element,
                                              std::string_view name) override;
    Result<Element, AXError> elementAtPoint(const Element& root, Point point) override;
    std::vector<Result<Element, AXError>> elementsAtPoints(const Element& root,
                                                           std::span<const Point> points) override;
    double hitTestSettleSeconds(const Element&) override { return hitTestSettle_; }
    void prefetch(std::span<const Element> elements, std::span<const std::string_view> names,
                  std::size_t nodeBudget) override {
        (void)names;
        counters_.prefetched += elements.size();
        counters_.prefetchNodeBudget = std::max(counters_.prefetchNodeBudget, nodeBudget);
    }
    std::optional<AXError> performAction(const Element& element, std::string_view action) override;
    std::optional<AXError> setAttribute(const Element& element, std::string_view name,
                                        const Value& value) override;
    std::optional<std::vector<Change>> changesSince(const Element& element, double since) override;
    std::optional<double> changesHeardSince(const Element& element) override {
        return hearsChanges_ && node(element) ? std::optional(heardSince_) : std::nullopt;
    }
    double scaleOf(const Element& element) override { return node(element) ? scale_ : 1; }

    struct Node {
        std::string id;
        std::map<std::string, Value, std::less<>> attributes;
        std::map<std::string, AXError, std::less<>> faults;
        std::vector<std::string> actions;
        std::vector<std::string> settable;
        std::vector<int> children;
        std::size_t repeat = 0;    // > 0: children are this many copies of children[0]
        double snap = 0;           // added to every number written, as a snapping control does
        bool passThrough = false;  // hit tests find what lies under it
        bool removed = false;      // gone from the tree (see change)
    };

  private:
    FakeAccessibilityBackend() = default;

    int indexOf(std::string_view id) const;  // -1 when there is none
    const Node* node(const Element& element) const;
    Node* node(const Element& element);
    // Accounts for one call on the app: its cost, a gone or hung app. An error ends the call.
    std::optional<AXError> enter();
    // The node of a call that got through: a known node, the app up, no fault under `faultKey`.
    Result<const Node*, AXError> call(const Element& element, std::string_view faultKey);
    std::optional<AXError> fault(const Node& n, std::string_view key);
    Element handle(int index, std::int64_t copy = -1) const;

    bool trusted_ = true;
    bool frontmost_ = true;
    RunningApp app_;
    bool gone_ = false;
    long hangAfter_ = -1;
    int stalledCalls_ = 0;
    long stallFrom_ = 0;
    long goneAfter_ = -1;
    double callCost_ = 0;
    double hitTestSettle_ = 0;
    std::optional<std::pair<Point, double>> lastHit_;  // where and when a lagging hit test began
    bool focusedWindow_ = true;
    bool mainWindow_ = true;
    std::optional<AXError> wakeUpResult_ = AXError::unsupportedAttribute;
    double timeoutSeconds_ = 6.0;
    std::vector<Rect> screens_;
    std::vector<Node> nodes_;  // 0 is the app element
    std::vector<std::shared_ptr<const ElementRef>> refs_;
    int window_ = -1;
    std::vector<int> otherWindows_;
    int windowAfterWakeUp_ = -1;
    int listedLate_ = 0;  // lookups of the app that find only `unlisted_`
    int unlisted_ = -1;   // a node that is gone, standing in for the app`
    long calls_ = 0;
    int timeouts_ = 0;
    Counters counters_;
    std::vector<std::string> log_;
    ManualClock clock_;
    bool hearsChanges_ = false;
    double heardSince_ = 0;
    double scale_ = 1;
    std::vector<std::pair<double, Change>> told_;
    friend class FakeFixtureLoader;
};

// Parses an error name ("timeout", "appGone"...) as written in fixtures.
std::optional<AXError> axErrorFromName(std::string_view name);
// A short readable form of a value, for logs.
std::string describe(const Value& value);

}  // namespace ovra::ax
