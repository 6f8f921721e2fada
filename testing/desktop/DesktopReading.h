#pragma once

// What the desktop tests share: a real clock, a readable dump of a snapshot, and lookups.

#include <algorithm>
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

inline const UICandidate* find(const WindowSnapshot& s, const std::string& label) {
    auto it = std::find_if(s.candidates.begin(), s.candidates.end(),
                           [&](const UICandidate& c) { return c.label() == label; });
    return it == s.candidates.end() ? nullptr : &*it;
}

}  // namespace ovra::testing
