#include "app/controller/FindSession.h"

#include <algorithm>
#include <cctype>

#include "core/OvraText.h"

namespace ovra {

namespace {

// The number of matches is said once the typing pauses this long.
constexpr double kMatchesDelay = 0.6;

const char* flag(bool on) {
    return on ? "true" : "false";
}

// The decisions the model took for the narrower reading that still name the same control in
// the wider one: ids are positions, so an id may now stand for another control.
FocusPlanner::Decisions keptDecisions(const WindowSnapshot& before, const WindowSnapshot& after,
                                      const FocusPlanner::Decisions& decisions) {
    const auto byID = [](const WindowSnapshot& window, const std::string& id) {
        const auto& list = window.candidates;
        const auto found = std::find_if(list.begin(), list.end(),
                                        [&](const UICandidate& c) { return c.id == id; });
        return found == list.end() ? nullptr : &*found;
    };
    FocusPlanner::Decisions kept;
    for (const auto& [id, decision] : decisions) {
        const UICandidate* old = byID(before, id);
        const UICandidate* now = byID(after, id);
        if (old && now && old->role == now->role && old->label() == now->label()) {
            kept.emplace(id, decision);
        }
    }
    return kept;
}

std::optional<EditCommand> editCommand(const std::string& characters, bool shift) {
    std::string key;
    for (const char c : characters) {
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (key == "v") {
        return EditCommand::paste;
    }
    if (key == "c") {
        return EditCommand::copy;
    }
    if (key == "x") {
        return EditCommand::cut;
    }
    if (key == "a") {
        return EditCommand::selectAll;
    }
    if (key == "z") {
        return shift ? EditCommand::redo : EditCommand::undo;
    }
    return std::nullopt;
}

}  // namespace

FindSession::FindSession(Host& host, OverlayModel& overlay, ShownReading& shown, AutoScan& scan,
                         AccessibilityWorker& reader, const Preferences& prefs,
                         Scheduler& scheduler)
    : host_(host),
      overlay_(overlay),
      shown_(shown),
      scan_(scan),
      reader_(reader),
      prefs_(prefs),
      scheduler_(scheduler) {}

FindSession::~FindSession() {
    scheduler_.cancel(queryCheck_);
    scheduler_.cancel(matchesWork_);
    cancelWiden();
}

bool FindSession::openIfPending() {
    if (!pending_) {
        return false;
    }
    pending_ = false;
    start();
    return true;
}

void FindSession::start() {
    if (!overlay_.phase().plan()) {
        return;
    }
    scan_.stop();
    if (overlay_.finding()) {
        overlay_.setFindFocusRequest(overlay_.findFocusRequest() + 1);
        return;
    }
    restoresOvras_ = !overlay_.sidebar();
    if (!overlay_.sidebar()) {
        overlay_.toggleSidebar();
        host_.replan();
    }
    overlay_.startFind();
    scrolled_ = false;
    widen();
    const auto listed = static_cast<std::int64_t>(overlay_.navigationOrder().size());
    host_.trace("trace: find: " + std::to_string(listed) +
                " listed, sidebar=" + flag(overlay_.sidebar()));
    host_.announce(
        OvraText::f("Find. Type or say part of a name. %@.",
                    {OvraText::plural(listed, "1 thing you can do", "%lld things you can do")}));
}

void FindSession::cancelWiden() {
    widening_ = 0;
    if (widenStop_) {
        widenStop_->request_stop();
        widenStop_.reset();
    }
}

void FindSession::widen() {
    if (!host_.readsWindows() || !shown_.snapshot) {
        return;
    }
    // Already wide, or not cut off: a wider reading would find nothing more.
    if (shown_.budget > kBudget - 1 ||
        static_cast<std::ptrdiff_t>(shown_.snapshot->window.candidates.size()) < shown_.budget) {
        return;
    }
    saved_ = Saved{*shown_.snapshot, shown_.decisions};
    cancelWiden();
    widenStop_.emplace();
    const std::uint64_t serial = shown_.nextSerial();
    widening_ = serial;
    reader_.read(host_.readRequest(shown_.snapshot->app, kBudget), widenStop_->get_token(),
                 [this, alive = std::weak_ptr<int>(alive_), serial](ReadResult reading) {
                     if (!alive.expired() && reading) {
                         widened(serial, std::move(reading).value());
                     }
                 });
}

void FindSession::widened(std::uint64_t serial, WindowSnapshot wide) {
    // Cancelled (a scroll, a run, the close), superseded, or find closed meanwhile; or a newer
    // reading is already in place.
    if (serial != widening_ || !overlay_.finding() || !shown_.snapshot || serial <= shown_.serial) {
        return;
    }
    widening_ = 0;
    widenStop_.reset();
    if (shown_.decisions) {
        shown_.decisions = keptDecisions(shown_.snapshot->window, wide, *shown_.decisions);
    }
    shown_.snapshot->window = std::move(wide);
    shown_.at = scheduler_.now();
    shown_.serial = serial;
    host_.replan();
    host_.trace("trace: find widened: " +
                std::to_string(shown_.snapshot->window.candidates.size()) + " controls");
}

bool FindSession::handleKey(const KeyInput& key) {
    const auto move = [this](int step) {
        scan_.stop();
        overlay_.move(step);
        host_.announceSelection(std::nullopt);
        return true;
    };
    switch (key.keyCode) {
        case 124:  // Right
        case 125:  // Down
            return move(1);
        case 123:  // Left
        case 126:  // Up
            return move(-1);
        case 48:  // Tab
            return move(key.shift ? -1 : 1);
        case 53:  // Escape
            end();
            return true;
        default:
            break;
    }
    if (key.command) {
        // The find field's editing keys; any other Ctrl key is swallowed.
        const auto command = editCommand(key.characters.value_or(""), key.shift);
        if (OverlayHost* panel = host_.panel(); command && panel) {
            panel->sendEditCommand(*command);
        }
        return true;
    }
    return false;
}

void FindSession::end() {
    if (!overlay_.finding()) {
        return;
    }
    cancelWiden();
    overlay_.endFind();
    const std::string closed = OvraText::t("Find closed.");
    if (!saved_ && scrolled_ && shown_.snapshot) {
        // The page was scrolled while finding: it is read afresh.
        scrolled_ = false;
        restoresOvras_ = false;
        if (!prefs_.get(keys::sidebar) && overlay_.sidebar()) {
            overlay_.toggleSidebar();
        }
        host_.rescan();
        if (OverlayHost* panel = host_.panel()) {
            panel->focusContent();
        }
        host_.announceSelection(closed);
        return;
    }
    if (saved_) {
        shown_.snapshot = std::move(saved_->snapshot);
        shown_.decisions = std::move(saved_->decisions);
        saved_.reset();
        if (!restoresOvras_) {
            host_.replan();
        }
    }
    if (restoresOvras_) {
        restoresOvras_ = false;
        overlay_.toggleSidebar();
        host_.replan();
    }
    if (OverlayHost* panel = host_.panel()) {
        panel->focusContent();
    }
    host_.trace(std::string("trace: find closed: sidebar=") + flag(overlay_.sidebar()));
    host_.announceSelection(closed);
}

void FindSession::announceMatches() {
    if (!overlay_.finding()) {
        return;
    }
    const auto matches = static_cast<std::int64_t>(overlay_.navigationOrder().size());
    host_.trace("trace: matches for query: " + std::to_string(matches));
    if (matches == 0) {
        host_.announce(OvraText::t("No matches"));
        return;
    }
    std::string text =
        matches == 1 ? OvraText::t("1 match") : OvraText::f("%lld matches", {matches});
    if (const std::optional<FocusItem> item = overlay_.selectedItem()) {
        text += ". " + item->displayLabel + ", " + item->candidate.roleName();
    }
    host_.announce(text);
}

void FindSession::pageReadAgain() {
    cancelWiden();
    if (overlay_.finding()) {
        saved_.reset();
        scrolled_ = true;
    }
}

void FindSession::closed() {
    pending_ = false;
    restoresOvras_ = false;
    cancelWiden();
    saved_.reset();
    scrolled_ = false;
    overlay_.setFinding(false);
    overlay_.setQueryField("");
}

void FindSession::queryChanging() {
    if (queryCheck_ == 0) {
        queryCheck_ = scheduler_.after(0, [this] {
            queryCheck_ = 0;
            queryMaybeChanged();
        });
    }
}

void FindSession::queryMaybeChanged() {
    if (overlay_.query() == seenQuery_) {
        return;
    }
    seenQuery_ = overlay_.query();
    scheduler_.cancel(matchesWork_);
    matchesWork_ = scheduler_.after(kMatchesDelay, [this] {
        matchesWork_ = 0;
        announceMatches();
    });
}

}  // namespace ovra
