#pragma once

// What the desktop tests share: a real clock, a readable dump of a snapshot, and lookups.

#include <algorithm>
#include <deque>
#include <map>
#include <sstream>
#include <string>

#include "app/accessibility/AXExtractor.h"

namespace ovra::testing {

class RealClock final : public ax::Clock {
  public:
    double now() const override { return ax::systemClock().now(); }
    void sleep(double seconds) override { ax::systemClock().sleep(seconds); }
};

inline std::string dump(const WindowSnapshot& s) {
    std::ostringstream out;
    out << "window \"" << s.windowTitle << "\" frame " << s.windowFrame.minX() << ","
        << s.windowFrame.minY() << " " << s.windowFrame.width() << "x" << s.windowFrame.height()
        << " viewport " << s.viewport.minX() << "," << s.viewport.minY() << " "
        << s.viewport.width() << "x" << s.viewport.height() << "\n";
    for (const auto& c : s.candidates) {
        out << "  " << c.id << " " << c.role << "/" << c.subrole.value_or("-") << " \"" << c.title
            << "\" desc \"" << c.description << "\" value \"" << c.value << "\" frame "
            << c.frame.minX() << "," << c.frame.minY() << " " << c.frame.width() << "x"
            << c.frame.height() << (c.isFocused ? " focused" : "") << (c.isChrome ? " chrome" : "")
            << " " << c.context.value_or("") << "\n";
    }
    if (s.scroll) {
        const auto& g = s.scroll->signals;
        out << "scroll visible " << g.visible.minY() << ".." << g.visible.maxY() << " seen "
            << g.seenTop.value_or(-1) << ".." << g.seenBottom.value_or(-1) << "\n";
    }
    return out.str();
}

// Reads every element below `window` (to depth 60, at most 6000), with the values of range
// controls, as a client could: asking in a way a toolkit cannot take ends some apps. Returns
// how many elements had each role.
inline std::map<std::string, int> readEverything(ax::AccessibilityBackend& backend,
                                                 const ax::Element& window) {
    std::map<std::string, int> roles;
    std::deque<std::pair<ax::Element, int>> queue{{window, 0}};
    for (int visited = 0; !queue.empty() && visited < 6000; ++visited) {
        auto [element, depth] = queue.front();
        queue.pop_front();
        auto role = backend.attribute(element, "AXRole");
        const std::string* name = role.ok() ? ax::asString(role.value()) : nullptr;
        roles[name ? *name : ""] += 1;
        if (name && (*name == "AXSlider" || *name == "AXScrollBar" || *name == "AXIncrementor")) {
            for (const char* attribute : {"AXValue", "AXMinValue", "AXMaxValue"}) {
                (void)backend.attribute(element, attribute);
            }
        }
        auto children = backend.attribute(element, "AXChildren");
        const ax::ElementList* list = children.ok() ? ax::asElementList(children.value()) : nullptr;
        for (std::size_t i = 0; list != nullptr && depth < 60 && i < list->size(); ++i) {
            queue.emplace_back((*list)[i], depth + 1);
        }
    }
    return roles;
}

inline const UICandidate* find(const WindowSnapshot& s, const std::string& label) {
    auto it = std::find_if(s.candidates.begin(), s.candidates.end(),
                           [&](const UICandidate& c) { return c.label() == label; });
    return it == s.candidates.end() ? nullptr : &*it;
}

}  // namespace ovra::testing
