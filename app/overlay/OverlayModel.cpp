#include "app/overlay/OverlayModel.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/FindAndScroll.h"
#include "core/OvraText.h"

namespace ovra {

const FocusPlan* OverlayPhase::plan() const {
    const Ready* ready = std::get_if<Ready>(&value_);
    return ready ? &ready->plan : nullptr;
}

void OverlayModel::willChange(OverlayField field) {
    if (listeners_.empty()) {
        return;
    }
    // A listener may subscribe or unsubscribe while it runs.
    const auto listeners = listeners_;
    for (const auto& [subscription, listener] : listeners) {
        listener(field);
    }
}

OverlayModel::Subscription OverlayModel::subscribe(Listener listener) {
    listeners_.emplace(++lastSubscription_, std::move(listener));
    return lastSubscription_;
}

void OverlayModel::unsubscribe(Subscription subscription) {
    listeners_.erase(subscription);
}

void OverlayModel::setPhase(OverlayPhase phase) {
    willChange(OverlayField::phase);
    phase_ = std::move(phase);
}
void OverlayModel::setSelection(int selection) {
    willChange(OverlayField::selection);
    selection_ = selection;
}
void OverlayModel::setShowAll(bool on) {
    willChange(OverlayField::showAll);
    showAll_ = on;
}
void OverlayModel::setEngineNote(std::string note) {
    willChange(OverlayField::engineNote);
    engineNote_ = std::move(note);
}
void OverlayModel::setArmedID(std::optional<std::string> id) {
    willChange(OverlayField::armedID);
    armedID_ = std::move(id);
}
void OverlayModel::setExplainID(std::optional<std::string> id) {
    willChange(OverlayField::explainID);
    explainID_ = std::move(id);
}
void OverlayModel::setNotice(std::optional<std::string> notice) {
    willChange(OverlayField::notice);
    notice_ = std::move(notice);
}
void OverlayModel::setScanning(bool on) {
    willChange(OverlayField::scanning);
    scanning_ = on;
}
void OverlayModel::setIslandOpen(bool open) {
    willChange(OverlayField::islandOpen);
    islandOpen_ = open;
}
void OverlayModel::setSidebar(bool on) {
    willChange(OverlayField::sidebar);
    sidebar_ = on;
}
void OverlayModel::setFinding(bool on) {
    willChange(OverlayField::finding);
    finding_ = on;
}
void OverlayModel::setQueryField(std::string query) {
    willChange(OverlayField::query);
    query_ = std::move(query);
}
void OverlayModel::setStale(bool on) {
    willChange(OverlayField::stale);
    stale_ = on;
}
void OverlayModel::setFindFocusRequest(int value) {
    willChange(OverlayField::findFocusRequest);
    findFocusRequest_ = value;
}

std::vector<std::string> OverlayModel::findMatches() const {
    const FocusPlan* plan = phase_.plan();
    return plan ? FindMatcher::matches(query_, *plan) : std::vector<std::string>{};
}

std::vector<FocusSection> OverlayModel::sidebarSections() const {
    const FocusPlan* plan = phase_.plan();
    if (!plan) {
        return {};
    }
    if (!finding_) {
        return plan->sections(showAll_);
    }
    FocusSection matches{"find", OvraText::t("Matches"), {}};
    for (const std::string& id : findMatches()) {
        if (const FocusItem* item = plan->item(id)) {
            matches.items.push_back(*item);
        }
    }
    if (matches.items.empty()) {
        return {};
    }
    return {std::move(matches)};
}

std::vector<std::string> OverlayModel::navigationOrder() const {
    const FocusPlan* plan = phase_.plan();
    if (!plan) {
        return {};
    }
    if (finding_) {
        return findMatches();
    }
    if (sidebar_) {
        std::vector<std::string> ids;
        for (const FocusSection& section : sidebarSections()) {
            for (const FocusItem& item : section.items) {
                ids.push_back(item.id());
            }
        }
        return ids;
    }
    return showAll_ ? plan->revealOrder() : plan->beaconOrder;
}

std::optional<FocusItem> OverlayModel::selectedItem() const {
    const std::vector<std::string> order = navigationOrder();
    if (selection_ < 0 || static_cast<std::size_t>(selection_) >= order.size()) {
        return std::nullopt;
    }
    const FocusPlan* plan = phase_.plan();
    if (!plan) {
        return std::nullopt;
    }
    const FocusItem* item = plan->item(order[static_cast<std::size_t>(selection_)]);
    return item ? std::optional<FocusItem>(*item) : std::nullopt;
}

std::optional<int> OverlayModel::number(std::string_view id) const {
    const std::vector<std::string> order = navigationOrder();
    const auto found = std::find(order.begin(), order.end(), id);
    if (found == order.end()) {
        return std::nullopt;
    }
    return static_cast<int>(found - order.begin()) + 1;
}

std::optional<std::string> OverlayModel::selectedID() const {
    const std::optional<FocusItem> item = selectedItem();
    return item ? std::optional<std::string>(item->id()) : std::nullopt;
}

void OverlayModel::selectKept(const std::optional<std::string>& id) {
    // A view change is no choice: what selected nothing still selects nothing.
    int kept = selection_ == noSelection ? noSelection : 0;
    if (id) {
        const std::vector<std::string> order = navigationOrder();
        const auto found = std::find(order.begin(), order.end(), *id);
        if (found != order.end()) {
            kept = static_cast<int>(found - order.begin());
        }
    }
    setSelection(kept);
}

void OverlayModel::select(int index) {
    setArmedID(std::nullopt);
    setExplainID(std::nullopt);
    setNotice(std::nullopt);
    setSelection(index);
}

void OverlayModel::move(int step) {
    const auto n = static_cast<std::int64_t>(navigationOrder().size());
    if (n == 0) {
        return;
    }
    setArmedID(std::nullopt);
    setExplainID(std::nullopt);
    setNotice(std::nullopt);
    // Remainders keep the dividend's sign (truncating division), as the wrap rule is stated;
    // 64-bit sums cannot overflow for any stored selection.
    const std::int64_t from = selection_ != noSelection ? selection_ : step > 0 ? -1 : n;
    setSelection(static_cast<int>((from + step % n + n) % n));
}

void OverlayModel::toggleShowAll() {
    const std::optional<std::string> kept = selectedID();
    setArmedID(std::nullopt);
    setShowAll(!showAll_);
    selectKept(kept);
}

void OverlayModel::toggleSidebar() {
    const std::optional<std::string> kept = selectedID();
    setArmedID(std::nullopt);
    setExplainID(std::nullopt);
    setNotice(std::nullopt);
    setSidebar(!sidebar_);
    selectKept(kept);
}

void OverlayModel::startFind() {
    setArmedID(std::nullopt);
    setExplainID(std::nullopt);
    setNotice(std::nullopt);
    setQueryField("");
    setFinding(true);
    setSelection(0);
}

void OverlayModel::endFind() {
    const std::optional<std::string> kept = selectedID();
    setArmedID(std::nullopt);
    setExplainID(std::nullopt);
    setFinding(false);
    setQueryField("");
    selectKept(kept);
}

void OverlayModel::setQuery(std::string query) {
    if (query == query_) {
        return;
    }
    setArmedID(std::nullopt);
    setExplainID(std::nullopt);
    setNotice(std::nullopt);
    setQueryField(std::move(query));
    setSelection(0);
}

}  // namespace ovra
