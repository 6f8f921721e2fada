#pragma once

// The reads of one window snapshot, with the limits that keep a hung or huge app from holding
// the reading: an overall deadline, a stop after a run of consecutive time-outs, and
// cancellation. Once a limit is hit every further read fails at once as a time-out, so the
// reading winds down through its normal "attribute absent" paths. The walk stops at the
// deadline; the few reads that finish a snapshot of what it found (titles, the scroll area)
// still go through for a short grace.

#include <array>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

// The attributes read for every node, in batch order.
enum class NodeAttribute {
    role,
    subrole,
    title,
    description,
    value,
    position,
    size,
    enabled,
    placeholder,
    focused,
    hidden,
    showing,  // false: the toolkit says it is clipped away (absent where it does not tell)
    opaque,   // whether the toolkit draws it fully opaque (absent where it does not tell)
    modal,    // a modal dialog: while it is open, nothing outside it can be used
};
inline constexpr std::size_t kNodeAttributeCount = 14;

// The AX names of the batch, in order.
std::span<const std::string_view> nodeAttributeNames();

// One node's batch: each attribute's value, or nothing when its read failed.
struct NodeInfo {
    std::array<std::optional<ax::Value>, kNodeAttributeCount> values;

    const ax::Value* get(NodeAttribute attribute) const;
    const std::string* string(NodeAttribute attribute) const;
    std::optional<bool> boolean(NodeAttribute attribute) const;
    // "AXRole" as text, else "".
    std::string role() const;
    // "AXPosition" and "AXSize" as one rectangle; absent unless both are there, of the right
    // kinds and finite.
    std::optional<Rect> frame() const;
};

// The limits of one reading.
struct ReadLimits {
    double deadlineSeconds = 3.0;
    int maxConsecutiveTimeouts = 3;
    double finishingSeconds = 0.25;  // after the deadline, for the reads that finish a snapshot
};

class BoundedReader {
  public:
    using Limits = ReadLimits;

    BoundedReader(ax::AccessibilityBackend& backend, ax::Clock& clock, std::stop_token stop = {},
                  Limits limits = {});

    ax::AccessibilityBackend& backend() { return backend_; }
    ax::Clock& clock() { return clock_; }

    // The app stopped answering, or the deadline and its grace passed: nothing more is read.
    bool exhausted() const;
    // The deadline passed: the walk stops, the reading is cut short.
    bool timeUp() const { return !(clock_.now() < deadline_); }
    bool cancelled() const { return stop_.stop_requested(); }
    // The app stopped answering: a run of time-outs ended the reading.
    bool gaveUp() const { return gaveUp_; }
    // The app answers again after a stall that gave it up: it may be read once more.
    void resume() {
        gaveUp_ = false;
        consecutiveTimeouts_ = 0;
    }
    // Whether the walk stops here.
    bool shouldStop() const { return cancelled() || exhausted() || timeUp(); }
    int timeouts() const { return timeouts_; }

    ax::Read attribute(const ax::Element& element, std::string_view name);
    // A few attributes in one round trip; failed ones are absent. Empty when the call failed.
    std::vector<std::optional<ax::Value>> attributes(const ax::Element& element,
                                                     std::span<const std::string_view> names);
    NodeInfo nodeInfo(const ax::Element& element);
    // The part of the batch that decides what a node is and where (role, subrole, enabled,
    // hidden, frame), and the rest of it (the texts and focus) for a node the outline did not
    // settle: a reader can answer the outline of most nodes without reading their texts.
    NodeInfo nodeOutline(const ax::Element& element);
    void completeNodeInfo(const ax::Element& element, NodeInfo& info);
    Result<ax::ElementList, ax::AXError> children(const ax::Element& element, std::size_t limit);
    Result<std::vector<std::string>, ax::AXError> actionNames(const ax::Element& element);
    std::optional<ax::AXError> wakeUp(const ax::Element& appElement);
    Result<ax::Element, ax::AXError> elementAtPoint(const ax::Element& root, Point point);
    // Several points asked at once; one answer each, in order.
    std::vector<Result<ax::Element, ax::AXError>> elementsAtPoints(const ax::Element& root,
                                                                   std::span<const Point> points);
    // Points hit-tested so far.
    int hitTests() const { return hitTests_; }
    // The walk's next elements, read ahead by a backend that can; what it reads further ahead
    // is spent from the walk's `nodeBudget`.
    void prefetch(std::span<const ax::Element> elements, std::size_t nodeBudget);

  private:
    // Before a call: false when the reading may not ask the app any more.
    bool admit() const { return !cancelled() && !exhausted(); }
    void note(bool answered, bool timedOut);

    ax::AccessibilityBackend& backend_;
    ax::Clock& clock_;
    std::stop_token stop_;
    Limits limits_;
    double deadline_;
    int consecutiveTimeouts_ = 0;
    int timeouts_ = 0;
    bool gaveUp_ = false;
    int hitTests_ = 0;
};

}  // namespace ovra
