// Web content listed as far as it lies on screen, and the page's extent.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <utility>

#include "platform/atspi/AtspiWebContent_p.h"

namespace ovra::atspi::session {

namespace {

// Containers with more children than this list only those on screen; smaller ones are left to
// the walk, which reads each child and prunes what lies off screen below it.
constexpr std::int32_t kShownChildrenFrom = 64;
// Chromium builds a child list in a time that grows with the square of its length (7,522
// children take 0.9 s): a longer list is sampled, and only the band on screen is read.
constexpr std::int32_t kMostChildrenInOneList = 1024;
// Children sampled over a long list, and its last ones, always read: what a page adds at its
// end (a cookie banner) is often fixed on screen wherever the page is scrolled to.
constexpr std::int32_t kSamples = 64;
constexpr std::int32_t kTail = 8;
constexpr std::int32_t kMostInBand = 4096;
// Gecko's page lies in an internal frame inside its scroll pane.
constexpr int kMostStepsToScrollPane = 3;
// Native lists with more children than this list only those on screen: a folder of 2,000 files
// in a detailed view holds 8,000 cells, and every child read costs about ten requests.
constexpr std::int32_t kLongNativeList = 512;
// Points down each side of a native list's view where the list is asked what lies there.
constexpr int kProbesDown = 24;
// A native list's first children, always read (a table's column headers), and those read on
// either side of the ones found on screen: the rest of a row, one where the points fell short
// (in the padding above the first row).
constexpr std::int32_t kNativeHead = 16;
constexpr std::int32_t kNativeMargin = 16;

bool sized(const Node& n) {
    return n.extents.done() && isLaidOut(n.extents.value);
}

}  // namespace

bool WebContent::listsOnScreen(const Node& n, bool webArea) const {
    if (webArea) {
        return true;
    }
    // A document presented as a scroll area holds only its web area.
    if (nodes_.presentsScrollArea(n)) {
        return false;
    }
    return nodes_.isPage(n) || (!n.documentKey.empty() && n.childCount() > kShownChildrenFrom) ||
           longNativeList(n);
}

void WebContent::newReading() {
    for (const std::string& key : nativeListed_) {
        listings_.erase(key);
    }
    nativeListed_.clear();
}

bool WebContent::longNativeList(const Node& n) const {
    const Toolkit& kit = apps_.knownToolkit(n.bus);
    return !kit.isBrowser && !kit.windowRelativeExtents && n.childCount() > kLongNativeList;
}

const std::optional<std::vector<reply::ObjectRef>>& WebContent::onScreen(Node& n) {
    return listing(n).shown;
}

std::optional<Rect> WebContent::pageExtent(Node& document) {
    return listing(document).extent;
}

std::optional<Rect> WebContent::viewOf(const Node& n) {
    const Node* document = nodes_.isPage(n) ? &n : nodes_.find(n.documentKey);
    if (document != nullptr && sized(*document)) {
        return document->extents.value;
    }
    // A page not laid out (Gecko's, read before it came in): the scroll pane it lies in shows
    // what is on screen.
    const Node* up = document;
    for (int step = 0; up != nullptr && step < kMostStepsToScrollPane; ++step) {
        up = nodes_.find(up->parentKey);
        if (up != nullptr && up->is(ATSPI_ROLE_SCROLL_PANE)) {
            return sized(*up) ? std::optional(up->extents.value) : std::nullopt;
        }
    }
    return std::nullopt;
}

void WebContent::waitForFrames(const std::vector<Node*>& children, const std::string& key,
                               const std::string& busName) {
    requests_.waitUntil(
        [&] {
            return nodes_.find(key) == nullptr ||
                   std::all_of(children.begin(), children.end(),
                               [](const Node* c) { return c == nullptr || c->extents.settled(); });
        },
        requests_.waitBudget(busName) + static_cast<double>(children.size()) * 0.0001);
}

std::vector<Node*> WebContent::allChildren(Node& n) {
    const std::string key = n.key();
    nodes_.requestChildren(n, true);
    requests_.waitUntil(
        [&] {
            const Node* t = nodes_.find(key);
            return t == nullptr || t->children.settled();
        },
        requests_.waitBudget(n.bus));
    std::vector<Node*> children;
    if (nodes_.find(key) == nullptr || !n.children.done()) {
        return children;
    }
    for (const auto& child : NodeCache::liveChildren(n)) {
        Node& c = nodes_.node(child.bus, child.path);
        nodes_.adopt(n, c);
        nodes_.requestExtents(c);
        children.push_back(&c);
    }
    waitForFrames(children, key, n.bus);
    return children;
}

std::vector<Node*> WebContent::childrenAt(Node& n, const std::vector<std::int32_t>& indices) {
    const std::string key = n.key();
    auto found = std::make_shared<std::vector<std::optional<std::string>>>(indices.size());
    auto waiting = std::make_shared<std::size_t>(indices.size());
    for (std::size_t i = 0; i < indices.size(); ++i) {
        auto call = methodCall(n.bus, n.path, kAccessible, "GetChildAtIndex");
        auto index = static_cast<dbus_int32_t>(indices[i]);
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
        }
        // Each child's frame is asked as soon as the child is known.
        requests_.enqueue(n.bus, std::move(call), [this, key, found, waiting, i](Reply reply) {
            --*waiting;
            auto ref = reply.ok() ? reply::objectRef(reply.message.get()) : std::nullopt;
            Node* parent = nodes_.find(key);
            if (!ref || ref->bus.empty() || ref->path == kNullPath || parent == nullptr) {
                return;
            }
            Node& c = nodes_.node(ref->bus, ref->path);
            nodes_.adopt(*parent, c);
            nodes_.requestExtents(c);
            (*found)[i] = c.key();
        });
    }
    requests_.waitUntil([&] { return *waiting == 0 || nodes_.find(key) == nullptr; },
                        requests_.waitBudget(n.bus) + static_cast<double>(indices.size()) * 0.0001);
    std::vector<Node*> children;
    for (const auto& childKey : *found) {
        children.push_back(childKey ? nodes_.find(*childKey) : nullptr);
    }
    waitForFrames(children, key, n.bus);
    return children;
}

const WebContent::Listing& WebContent::listing(Node& n) {
    const std::string key = n.key();
    if (auto known = listings_.find(key); known != listings_.end()) {
        return known->second;
    }
    if (longNativeList(n)) {
        nativeListed_.push_back(key);
        return listings_.emplace(key, nativeListing(n)).first->second;
    }
    Listing out;
    const std::optional<Rect> view = viewOf(n);
    const std::int32_t count = n.childCount();
    if (!view || count <= 0) {
        out.extent = view;
        if (count == 0) {
            out.shown.emplace();
        }
        return listings_.emplace(key, std::move(out)).first->second;
    }
    // The children to choose from, by their index.
    std::vector<std::pair<std::int32_t, Node*>> read;
    if (count <= kMostChildrenInOneList) {
        const std::vector<Node*> children = allChildren(n);
        if (nodes_.find(key) == nullptr || !n.children.done()) {
            return listings_.emplace(key, std::move(out)).first->second;
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            read.emplace_back(static_cast<std::int32_t>(i), children[i]);
        }
    } else {
        // The children follow the page from top to bottom: between the last sample wholly
        // above the view and the first wholly below it lies the band on screen.
        std::vector<std::int32_t> samples;
        for (std::int32_t i = 0; i < kSamples; ++i) {
            samples.push_back(static_cast<std::int32_t>(static_cast<std::int64_t>(i) * (count - 1) /
                                                        (kSamples - 1)));
        }
        for (std::int32_t i = std::max(0, count - kTail); i < count; ++i) {
            samples.push_back(i);
        }
        std::sort(samples.begin(), samples.end());
        samples.erase(std::unique(samples.begin(), samples.end()), samples.end());
        const std::vector<Node*> sampled = childrenAt(n, samples);
        std::int32_t from = 0;
        std::int32_t to = count - 1;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const Node* c = sampled[i];
            if (c == nullptr || !sized(*c)) {
                continue;
            }
            if (c->extents.value.minY() >= view->maxY()) {
                to = samples[i];
                break;
            }
            if (c->extents.value.maxY() <= view->minY()) {
                from = samples[i];
            }
        }
        // No more than a walk can read, should the samples tell nothing.
        to = static_cast<std::int32_t>(
            std::min<std::int64_t>(to, std::int64_t{from} + kMostInBand - 1));
        std::vector<std::int32_t> band;
        for (std::int32_t i = from; i <= to; ++i) {
            band.push_back(i);
        }
        const std::vector<Node*> banded = childrenAt(n, band);
        for (std::size_t i = 0; i < band.size(); ++i) {
            read.emplace_back(band[i], banded[i]);
        }
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (samples[i] < from || samples[i] > to) {
                read.emplace_back(samples[i], sampled[i]);
            }
        }
        std::sort(read.begin(), read.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    if (nodes_.find(key) == nullptr) {
        return listings_.emplace(key, Listing{}).first->second;
    }
    // What lies wholly outside the view is scrolled away; a child of unknown or empty frame is
    // kept, as the walk keeps it.
    Rect page = *view;
    out.shown.emplace();
    for (const auto& [index, child] : read) {
        if (child == nullptr) {
            continue;
        }
        if (sized(*child)) {
            page = page.unionWith(child->extents.value);
            if (!child->extents.value.intersects(*view)) {
                continue;
            }
        }
        out.shown->push_back({child->bus, child->path});
    }
    out.extent = page;
    return listings_.emplace(key, std::move(out)).first->second;
}

std::optional<Rect> WebContent::nativeViewOf(const Node& n) {
    if (!sized(n)) {
        return std::nullopt;
    }
    Rect view = n.extents.value;
    const Node* up = &n;
    for (int step = 0; step < kMostStepsToScrollPane; ++step) {
        up = up->parentKey.empty() ? nullptr : nodes_.find(up->parentKey);
        if (up == nullptr) {
            break;
        }
        if (up->is(ATSPI_ROLE_SCROLL_PANE) && sized(*up)) {
            view = view.intersection(up->extents.value);
            break;
        }
    }
    return view.isNull() || !isLaidOut(view) ? std::nullopt : std::optional(view);
}

std::vector<std::pair<std::int32_t, std::string>> WebContent::childrenFoundAt(
    Node& n, const std::vector<Point>& points) {
    const std::string key = n.key();
    const std::string bus = n.bus;
    auto hits = std::make_shared<std::vector<std::optional<reply::ObjectRef>>>(points.size());
    auto waiting = std::make_shared<std::size_t>(points.size());
    const dbus_uint32_t screen = ATSPI_COORD_TYPE_SCREEN;
    for (std::size_t i = 0; i < points.size(); ++i) {
        auto call = methodCall(bus, n.path, kComponent, "GetAccessibleAtPoint");
        const auto x = static_cast<dbus_int32_t>(std::lround(points[i].x));
        const auto y = static_cast<dbus_int32_t>(std::lround(points[i].y));
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &x, DBUS_TYPE_INT32, &y,
                                     DBUS_TYPE_UINT32, &screen, DBUS_TYPE_INVALID);
        }
        requests_.enqueue(bus, std::move(call), [hits, waiting, i](Reply reply) {
            --*waiting;
            if (reply.ok()) {
                (*hits)[i] = reply::objectRef(reply.message.get());
            }
        });
    }
    requests_.waitUntil([&] { return *waiting == 0 || nodes_.find(key) == nullptr; },
                        requests_.waitBudget(bus) + static_cast<double>(points.size()) * 0.0001);
    std::vector<std::string> paths;
    for (const auto& hit : *hits) {
        if (hit && (hit->bus.empty() || hit->bus == bus) && !hit->path.empty() &&
            hit->path != kNullPath && hit->path != n.path) {
            paths.push_back(hit->path);
        }
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    // Where each lies in the list; whether it is a child of the list at all is told once the
    // children at those places are read.
    auto indices = std::make_shared<std::vector<std::optional<std::int32_t>>>(paths.size());
    *waiting = paths.size();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        requests_.enqueue(bus, methodCall(bus, paths[i], kAccessible, "GetIndexInParent"),
                          [indices, waiting, i](Reply reply) {
                              --*waiting;
                              dbus_int32_t index = -1;
                              if (reply.ok() && dbus_message_get_args(reply.message.get(), nullptr,
                                                                      DBUS_TYPE_INT32, &index,
                                                                      DBUS_TYPE_INVALID)) {
                                  (*indices)[i] = index;
                              }
                          });
    }
    requests_.waitUntil([&] { return *waiting == 0 || nodes_.find(key) == nullptr; },
                        requests_.waitBudget(bus) + static_cast<double>(paths.size()) * 0.0001);
    std::vector<std::pair<std::int32_t, std::string>> found;
    const Node* list = nodes_.find(key);
    for (std::size_t i = 0; i < paths.size() && list != nullptr; ++i) {
        const auto index = (*indices)[i];
        if (index && *index >= 0 && *index < list->childCount()) {
            found.emplace_back(*index, paths[i]);
        }
    }
    return found;
}

WebContent::Listing WebContent::nativeListing(Node& n) {
    Listing out;
    const std::optional<Rect> view = nativeViewOf(n);
    if (!view) {
        return out;
    }
    const double inset = std::min(8.0, view->width() / 4);
    std::vector<Point> points;
    for (int i = 0; i < kProbesDown; ++i) {
        const double y = view->minY() + 1 + (view->height() - 2) * i / (kProbesDown - 1);
        points.push_back({view->minX() + inset, y});
        points.push_back({view->maxX() - inset, y});
    }
    const std::string key = n.key();
    const auto found = childrenFoundAt(n, points);
    if (found.empty() || nodes_.find(key) == nullptr) {
        return out;  // a list that cannot tell: read as any other
    }
    // In 64 bits: a count may be as large as an int holds.
    const std::int64_t count = n.childCount();
    std::int64_t from = count;
    std::int64_t last = -1;
    for (const auto& [index, path] : found) {
        if (index >= kNativeHead) {
            from = std::min<std::int64_t>(from, index);
        }
        last = std::max<std::int64_t>(last, index);
    }
    from = std::max<std::int64_t>(std::min(from, last) - kNativeMargin, kNativeHead);
    last = std::min(last + kNativeMargin, count - 1);
    if (last - from >= kMostInBand) {
        return foundListing(n, found, *view);
    }
    std::vector<std::int32_t> indices;
    for (std::int32_t i = 0; i < std::min<std::int64_t>(kNativeHead, count); ++i) {
        indices.push_back(i);
    }
    for (std::int64_t i = from; i <= last; ++i) {
        indices.push_back(static_cast<std::int32_t>(i));
    }
    const std::vector<Node*> children = childrenAt(n, indices);
    if (nodes_.find(key) == nullptr) {
        return out;
    }
    // Each child found on screen must be the list's own, at the place it said.
    for (const auto& [index, path] : found) {
        const auto at = std::lower_bound(indices.begin(), indices.end(), index);
        const Node* child = at == indices.end() || *at != index
                                ? nullptr
                                : children[static_cast<std::size_t>(at - indices.begin())];
        if (child == nullptr || child->path != path) {
            return out;
        }
    }
    out.shown.emplace();
    for (const Node* child : children) {
        if (child != nullptr && (!sized(*child) || child->extents.value.intersects(*view))) {
            out.shown->push_back({child->bus, child->path});
        }
    }
    return out;
}

WebContent::Listing WebContent::foundListing(
    Node& n, const std::vector<std::pair<std::int32_t, std::string>>& found, const Rect& view) {
    const std::string key = n.key();
    const reply::ObjectRef list{n.bus, n.path};
    std::vector<std::pair<std::int32_t, std::string>> cells = found;
    std::sort(cells.begin(), cells.end());
    for (const auto& [index, path] : cells) {
        nodes_.requestBase(nodes_.node(list.bus, path), true);
    }
    const auto read = [&](const std::string& path) { return nodes_.find(list.bus + path); };
    requests_.waitUntil(
        [&] {
            return nodes_.find(key) == nullptr ||
                   std::all_of(cells.begin(), cells.end(), [&](const auto& cell) {
                       const Node* c = read(cell.second);
                       return c == nullptr || (c->props.settled() && c->extents.settled());
                   });
        },
        requests_.waitBudget(list.bus) + static_cast<double>(cells.size()) * 0.0001);
    Listing out;
    const Node* parent = nodes_.find(key);
    if (parent == nullptr) {
        return out;
    }
    // A cell is the list's own when it says so: such tables make a new object for a cell each
    // time one is asked for, so the one found is never the one read at its index.
    out.shown.emplace();
    for (const auto& [index, path] : cells) {
        Node* c = read(path);
        if (c != nullptr && c->props.done() && c->props.value.parent == list &&
            (!sized(*c) || c->extents.value.intersects(view))) {
            nodes_.adopt(*parent, *c);
            out.shown->push_back({list.bus, path});
        }
    }
    return out;
}

}  // namespace ovra::atspi::session
