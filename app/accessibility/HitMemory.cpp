#include "app/accessibility/HitMemory.h"

#include <algorithm>
#include <cmath>

namespace ovra {
namespace {

// A window's answers kept at most: a page that is never still keeps few for long anyway.
constexpr std::size_t kMostKept = 512;

}  // namespace

void HitMemory::begin(ax::AccessibilityBackend& backend, const ax::Element& window, double now) {
    std::lock_guard lock(mutex_);
    const std::string key = window.key();
    bool keep = key == window_ && !answers_.empty();
    if (keep) {
        const auto told = backend.changesSince(window, checkedAt_);
        keep = told && std::none_of(told->begin(), told->end(), [](const ax::Change& change) {
                   return change.kind == ax::Change::Kind::content;
               });
    }
    if (!keep) {
        answers_.clear();
    }
    window_ = key;
    checkedAt_ = now;
}

std::optional<HitMemory::Answer> HitMemory::find(const std::string& control, Point at) const {
    std::lock_guard lock(mutex_);
    const auto it = answers_.find(keyOf(control, at));
    return it == answers_.end() ? std::nullopt : std::optional(it->second);
}

void HitMemory::keep(const std::string& control, Point at, Answer answer) {
    std::lock_guard lock(mutex_);
    if (answers_.size() < kMostKept) {
        answers_.insert_or_assign(keyOf(control, at), std::move(answer));
    }
}

HitMemory::Key HitMemory::keyOf(const std::string& control, Point at) {
    return {control, std::lround(at.x), std::lround(at.y)};
}

}  // namespace ovra
