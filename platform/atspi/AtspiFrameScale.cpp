#include <vector>

#include "platform/atspi/AtspiFrameScale_p.h"
#include "platform/atspi/AtspiToolkit.h"

namespace ovra::atspi::session {

FrameScale FrameScaling::of(const std::string& busName) {
    // Measured again now and then: a window measured while it was being resized, at the same
    // aspect, may have told a wrong scale; until measured anew, the last one holds.
    const FrameScale known = apps_.knownScale(busName).value_or(FrameScale{});
    if (!apps_.mayAskScale(busName)) {
        return known;
    }
    x11::Workspace* desk = apps_.x11();
    const auto pid = apps_.resolvedPidOf(busName);
    if (desk == nullptr || !pid) {
        return known;
    }
    // The app's largest shown window, and the X window of that title (else the app's newest).
    Node* largest = nullptr;
    for (Node* w : nodes_.topLevels(nodes_.node(busName, kRootPath))) {
        nodes_.settle(*w, [](Node& t) { return t.extents.settled(); });
        if (!w->extents.done() || !isLaidOut(w->extents.value) || !w->states.done() ||
            !isShowing(w->states.value)) {
            continue;
        }
        const Size size = w->extents.value.size;
        if (largest == nullptr || size.width * size.height > largest->extents.value.width() *
                                                                 largest->extents.value.height()) {
            largest = w;
        }
    }
    if (largest == nullptr) {
        return known;  // nothing shown yet: decided at a later reading
    }
    const std::string title = largest->props.done() ? largest->props.value.name.value_or("") : "";
    const std::vector<x11::ActiveWindow> windows = desk->windowsOf(*pid);
    std::vector<std::string> titles;
    for (const auto& w : windows) {
        titles.push_back(w.title);
    }
    const auto titled = windowTitled(titles, title);
    const auto target =
        titled ? std::optional(windows[*titled].window) : x11::windowToRaise(windows, *pid, title);
    const auto content = target ? desk->contentFrame(*target) : std::nullopt;
    const auto whole = target ? desk->wholeFrame(*target) : std::nullopt;
    const auto decorated = target ? desk->decoratedFrame(*target) : std::nullopt;
    if (!content || !whole || !decorated) {
        return known;
    }
    // A window being resized or not yet at its size tells nothing: decided at a later reading.
    const Toolkit& kit = apps_.knownToolkit(busName);
    const auto scale =
        frameScale(largest->extents.value.size, {content->size, whole->size, decorated->size},
                   kit.pages, kit.scaleSteps);
    if (!scale) {
        return known;
    }
    apps_.noteScale(busName, *scale);
    return *scale;
}

std::optional<Point> FrameScaling::pageOrigin(Node& n) {
    // A page itself lies on itself only where its whole frame is in device pixels.
    if (nodes_.isPage(n) && apps_.knownToolkit(n.bus).pages != FrameScale::Pages::inDevicePixels) {
        return std::nullopt;
    }
    Node* page =
        nodes_.isPage(n) ? &n : (n.documentKey.empty() ? pageAbove(n) : nodes_.find(n.documentKey));
    if (page == nullptr || !page->extents.done()) {
        return std::nullopt;
    }
    return page->extents.value.origin;
}

Node* FrameScaling::pageAbove(Node& n) {
    // Only where the page decides how its content's frames are given.
    if (apps_.knownToolkit(n.bus).pages != FrameScale::Pages::inDevicePixels) {
        return nullptr;
    }
    // A node reached without its ancestors (looked at again at a press): its page is found by
    // climbing, and noted.
    static constexpr int kMostLevels = 64;
    const std::string bus = n.bus;
    std::string key = n.key();
    for (int level = 0; level < kMostLevels; ++level) {
        Node* current = nodes_.find(key);
        if (current == nullptr) {
            return nullptr;
        }
        if (current != &n && !current->documentKey.empty()) {
            key = current->documentKey;
            break;
        }
        nodes_.settle(*current, [](Node& t) {
            return t.role.settled() && t.props.settled() && t.extents.settled();
        });
        current = nodes_.find(key);
        if (current == nullptr) {
            return nullptr;
        }
        if (current != &n && nodes_.isPage(*current)) {
            break;
        }
        const auto& parent = current->props.done() ? current->props.value.parent : std::nullopt;
        if (!parent || parent->bus != bus || parent->path == kNullPath ||
            level + 1 == kMostLevels) {
            return nullptr;
        }
        key = nodes_.node(bus, parent->path).key();
    }
    Node* page = nodes_.find(key);
    if (page == nullptr || !nodes_.isPage(*page)) {
        return nullptr;
    }
    if (!page->extents.settled()) {
        nodes_.settle(*page, [](Node& t) { return t.extents.settled(); });
        page = nodes_.find(key);
    }
    if (page != nullptr) {
        n.documentKey = key;
    }
    return page;
}

Rect FrameScaling::deviceFrame(Node& n, const Rect& given) {
    const FrameScale scale = of(n.bus);
    return scale.factor == 1 ? given : scaledFrame(given, scale, pageOrigin(n));
}

}  // namespace ovra::atspi::session
