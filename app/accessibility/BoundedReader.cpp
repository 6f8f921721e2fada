#include "app/accessibility/BoundedReader.h"

#include <algorithm>
#include <cmath>
#include <variant>

#include "core/Text.h"

namespace ovra {

namespace {

constexpr std::array<std::string_view, kNodeAttributeCount> kNames = {
    "AXRole",        "AXSubrole", "AXTitle",
    "AXDescription", "AXValue",   "AXPosition",
    "AXSize",        "AXEnabled", "AXPlaceholderValue",
    "AXFocused",     "AXHidden",  "AXShowing",
    "AXOpaque",      "AXModal",
};

constexpr std::array<NodeAttribute, 9> kOutline = {
    NodeAttribute::role,    NodeAttribute::subrole, NodeAttribute::position,
    NodeAttribute::size,    NodeAttribute::enabled, NodeAttribute::hidden,
    NodeAttribute::showing, NodeAttribute::opaque,  NodeAttribute::modal,
};
constexpr std::array<NodeAttribute, 5> kRest = {
    NodeAttribute::title,       NodeAttribute::description, NodeAttribute::value,
    NodeAttribute::placeholder, NodeAttribute::focused,
};

template <std::size_t N>
constexpr std::array<std::string_view, N> namesOf(const std::array<NodeAttribute, N>& which) {
    std::array<std::string_view, N> names{};
    for (std::size_t i = 0; i < N; ++i) {
        names[i] = kNames[static_cast<std::size_t>(which[i])];
    }
    return names;
}

constexpr auto kOutlineNames = namesOf(kOutline);
constexpr auto kRestNames = namesOf(kRest);

// Whatever backend answers, no text of another app is longer than this past the reader.
void bound(ax::Value& value) {
    if (auto* text = std::get_if<std::string>(&value);
        text && text->size() > text::kMaxForeignTextBytes) {
        *text = text::boundedUtf8(*text);
    }
}

}  // namespace

std::span<const std::string_view> nodeAttributeNames() {
    return kNames;
}

const ax::Value* NodeInfo::get(NodeAttribute attribute) const {
    const auto& slot = values[static_cast<std::size_t>(attribute)];
    return slot ? &*slot : nullptr;
}

const std::string* NodeInfo::string(NodeAttribute attribute) const {
    const ax::Value* v = get(attribute);
    return v ? ax::asString(*v) : nullptr;
}

std::optional<bool> NodeInfo::boolean(NodeAttribute attribute) const {
    const ax::Value* v = get(attribute);
    return v ? ax::asBool(*v) : std::nullopt;
}

std::string NodeInfo::role() const {
    const std::string* r = string(NodeAttribute::role);
    return r ? *r : std::string();
}

std::optional<Rect> NodeInfo::frame() const {
    const ax::Value* position = get(NodeAttribute::position);
    const ax::Value* size = get(NodeAttribute::size);
    if (!position || !size) {
        return std::nullopt;
    }
    const auto origin = ax::asPoint(*position);
    const auto extent = ax::asSize(*size);
    if (!origin || !extent) {
        return std::nullopt;
    }
    const Rect frame(*origin, *extent);
    // A non-finite frame from another app is as good as none.
    if (!frame.isFinite()) {
        return std::nullopt;
    }
    return frame;
}

BoundedReader::BoundedReader(ax::AccessibilityBackend& backend, ax::Clock& clock,
                             std::stop_token stop, Limits limits)
    : backend_(backend),
      clock_(clock),
      stop_(std::move(stop)),
      limits_(limits),
      deadline_(clock.now() + limits.deadlineSeconds) {}

bool BoundedReader::exhausted() const {
    return gaveUp_ || !(clock_.now() < deadline_ + limits_.finishingSeconds);
}

void BoundedReader::note(bool answered, bool timedOut) {
    if (timedOut) {
        ++timeouts_;
        if (++consecutiveTimeouts_ >= limits_.maxConsecutiveTimeouts) {
            gaveUp_ = true;
        }
    } else if (answered) {
        consecutiveTimeouts_ = 0;
    }
}

ax::Read BoundedReader::attribute(const ax::Element& element, std::string_view name) {
    if (!admit()) {
        return fail(ax::AXError::timeout);
    }
    auto read = backend_.attribute(element, name);
    const bool timedOut = !read && read.error() == ax::AXError::timeout;
    note(!timedOut, timedOut);
    if (read) {
        bound(read.value());
    }
    return read;
}

std::vector<std::optional<ax::Value>> BoundedReader::attributes(
    const ax::Element& element, std::span<const std::string_view> names) {
    std::vector<std::optional<ax::Value>> out;
    if (!admit()) {
        return out;
    }
    auto batch = backend_.attributes(element, names);
    if (!batch) {
        const bool timedOut = batch.error() == ax::AXError::timeout;
        note(!timedOut, timedOut);
        return out;
    }
    bool anyAnswer = false;
    bool anyTimeout = false;
    out.resize(names.size());
    const auto& reads = batch.value();
    for (std::size_t i = 0; i < names.size() && i < reads.size(); ++i) {
        if (reads[i]) {
            out[i] = reads[i].value();
            bound(*out[i]);
            anyAnswer = true;
        } else if (reads[i].error() == ax::AXError::timeout) {
            anyTimeout = true;
        } else {
            anyAnswer = true;
        }
    }
    // The app answered when any attribute came back, even as "unsupported".
    note(anyAnswer || !anyTimeout, anyTimeout && !anyAnswer);
    return out;
}

NodeInfo BoundedReader::nodeInfo(const ax::Element& element) {
    NodeInfo info;
    auto values = attributes(element, kNames);
    for (std::size_t i = 0; i < values.size() && i < kNodeAttributeCount; ++i) {
        info.values[i] = std::move(values[i]);
    }
    return info;
}

NodeInfo BoundedReader::nodeOutline(const ax::Element& element) {
    NodeInfo info;
    auto values = attributes(element, kOutlineNames);
    for (std::size_t i = 0; i < values.size() && i < kOutline.size(); ++i) {
        info.values[static_cast<std::size_t>(kOutline[i])] = std::move(values[i]);
    }
    return info;
}

void BoundedReader::completeNodeInfo(const ax::Element& element, NodeInfo& info) {
    // An outline that came back empty is all there is: the app would not answer more.
    if (std::none_of(info.values.begin(), info.values.end(),
                     [](const auto& value) { return value.has_value(); })) {
        return;
    }
    auto values = attributes(element, kRestNames);
    for (std::size_t i = 0; i < values.size() && i < kRest.size(); ++i) {
        info.values[static_cast<std::size_t>(kRest[i])] = std::move(values[i]);
    }
}

Result<ax::ElementList, ax::AXError> BoundedReader::children(const ax::Element& element,
                                                             std::size_t limit) {
    if (!admit()) {
        return fail(ax::AXError::timeout);
    }
    auto kids = backend_.children(element, limit);
    const bool timedOut = !kids && kids.error() == ax::AXError::timeout;
    note(!timedOut, timedOut);
    if (kids && kids.value().size() > limit) {
        // Never trust a backend to honour the limit: the queue must stay bounded.
        kids.value().resize(limit);
    }
    return kids;
}

Result<std::vector<std::string>, ax::AXError> BoundedReader::actionNames(
    const ax::Element& element) {
    if (!admit()) {
        return fail(ax::AXError::timeout);
    }
    auto names = backend_.actionNames(element);
    const bool timedOut = !names && names.error() == ax::AXError::timeout;
    note(!timedOut, timedOut);
    return names;
}

std::optional<ax::AXError> BoundedReader::wakeUp(const ax::Element& appElement) {
    if (!admit()) {
        return ax::AXError::timeout;
    }
    auto error = backend_.wakeUp(appElement);
    const bool timedOut = error == ax::AXError::timeout;
    note(!timedOut, timedOut);
    return error;
}

Result<ax::Element, ax::AXError> BoundedReader::elementAtPoint(const ax::Element& root,
                                                               Point point) {
    if (!admit()) {
        return fail(ax::AXError::timeout);
    }
    ++hitTests_;
    auto hit = backend_.elementAtPoint(root, point);
    const bool timedOut = !hit && hit.error() == ax::AXError::timeout;
    note(!timedOut, timedOut);
    return hit;
}

std::vector<Result<ax::Element, ax::AXError>> BoundedReader::elementsAtPoints(
    const ax::Element& root, std::span<const Point> points) {
    if (!admit()) {
        return std::vector<Result<ax::Element, ax::AXError>>(points.size(),
                                                             fail(ax::AXError::timeout));
    }
    hitTests_ += static_cast<int>(points.size());
    auto hits = backend_.elementsAtPoints(root, points);
    // Asked together, they answer or time out as one call would.
    const bool timedOut = std::any_of(hits.begin(), hits.end(), [](const auto& hit) {
        return !hit && hit.error() == ax::AXError::timeout;
    });
    note(!timedOut, timedOut);
    return hits;
}

void BoundedReader::prefetch(std::span<const ax::Element> elements, std::size_t nodeBudget) {
    if (admit() && !elements.empty()) {
        backend_.prefetch(elements, kNames, nodeBudget);
    }
}

}  // namespace ovra
