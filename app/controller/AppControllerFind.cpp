// Find: a filter typed or dictated over every action of the window, shown in the sidebar list.
// Opening find widens the reading to the find budget in the background; closing it puts back
// what was shown before, or reads the page again when it was scrolled meanwhile.

#include <algorithm>
#include <cctype>

#include "app/controller/AppController.h"
#include "core/OvraText.h"

namespace ovra {

namespace {

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

void AppController::findShortcutPressed() {
    if (overlayVisible() && overlay_.phase().plan() && overlay_.islandOpen()) {
        startFind();
        return;
    }
    pendingFind_ = true;
    trigger();
}

void AppController::startFind() {
    if (!overlay_.phase().plan()) {
        return;
    }
    scan_.stop();
    if (overlay_.finding()) {
        overlay_.setFindFocusRequest(overlay_.findFocusRequest() + 1);
        return;
    }
    findRestoresOvras_ = !overlay_.sidebar();
    if (!overlay_.sidebar()) {
        overlay_.toggleSidebar();
        replan();
    }
    overlay_.startFind();
    findScrolled_ = false;
    widenForFind();
    const auto listed = static_cast<std::int64_t>(overlay_.navigationOrder().size());
    if (devTrace && services_.print) {
        services_.print("trace: find: " + std::to_string(listed) +
                        " listed, sidebar=" + flag(overlay_.sidebar()));
    }
    announce(
        OvraText::f("Find. Type or say part of a name. %@.",
                    {OvraText::plural(listed, "1 thing you can do", "%lld things you can do")}));
}

void AppController::cancelWiden() {
    findWiden_ = 0;
    if (widenStop_) {
        widenStop_->request_stop();
        widenStop_.reset();
    }
}

void AppController::widenForFind() {
    if (devSnapshot || !shown_.snapshot) {
        return;
    }
    // Already wide, or not cut off: a wider reading would find nothing more.
    if (shown_.budget > kFindBudget - 1 ||
        static_cast<std::ptrdiff_t>(shown_.snapshot->window.candidates.size()) < shown_.budget) {
        return;
    }
    findSaved_ = FindSaved{*shown_.snapshot, shown_.decisions};
    cancelWiden();
    widenStop_.emplace();
    const std::uint64_t serial = shown_.nextSerial();
    findWiden_ = serial;
    ReadRequest request{shown_.snapshot->app, services_.prefs.get(keys::traversalDepth),
                        kFindBudget, kMaxRawDepth, kNodeBudget};
    services_.reader.read(std::move(request), widenStop_->get_token(),
                          [this, alive = std::weak_ptr<int>(alive_), serial](ReadResult reading) {
                              if (!alive.expired() && reading) {
                                  widened(serial, std::move(reading).value());
                              }
                          });
}

void AppController::widened(std::uint64_t serial, WindowSnapshot wide) {
    // Cancelled (a scroll, a run, the close), superseded, or find closed meanwhile; or a newer
    // reading is already in place.
    if (serial != findWiden_ || !overlay_.finding() || !shown_.snapshot ||
        serial <= shown_.serial) {
        return;
    }
    findWiden_ = 0;
    widenStop_.reset();
    if (shown_.decisions) {
        shown_.decisions = keptDecisions(shown_.snapshot->window, wide, *shown_.decisions);
    }
    shown_.snapshot->window = std::move(wide);
    shown_.at = services_.scheduler.now();
    shown_.serial = serial;
    replan();
    if (devTrace && services_.print) {
        services_.print("trace: find widened: " +
                        std::to_string(shown_.snapshot->window.candidates.size()) + " controls");
    }
}

bool AppController::handleFindKey(const KeyInput& key) {
    const auto move = [this](int step) {
        scan_.stop();
        overlay_.move(step);
        announceSelection(std::nullopt);
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
            endFind();
            return true;
        default:
            break;
    }
    if (key.command) {
        // The find field's editing keys; any other Ctrl key is swallowed.
        const auto command = editCommand(key.characters.value_or(""), key.shift);
        if (command && panel_) {
            panel_->sendEditCommand(*command);
        }
        return true;
    }
    return false;
}

void AppController::endFind() {
    if (!overlay_.finding()) {
        return;
    }
    cancelWiden();
    overlay_.endFind();
    const std::string closed = OvraText::t("Find closed.");
    if (!findSaved_ && findScrolled_ && shown_.snapshot) {
        // The page was scrolled while finding: it is read afresh.
        findScrolled_ = false;
        findRestoresOvras_ = false;
        if (!services_.prefs.get(keys::sidebar) && overlay_.sidebar()) {
            overlay_.toggleSidebar();
        }
        run(shown_.snapshot->app, Rescan{ScrollDirection::down, std::nullopt, false});
        if (panel_) {
            panel_->focusContent();
        }
        announceSelection(closed);
        return;
    }
    if (findSaved_) {
        shown_.snapshot = std::move(findSaved_->snapshot);
        shown_.decisions = std::move(findSaved_->decisions);
        findSaved_.reset();
        if (!findRestoresOvras_) {
            replan();
        }
    }
    if (findRestoresOvras_) {
        findRestoresOvras_ = false;
        overlay_.toggleSidebar();
        replan();
    }
    if (panel_) {
        panel_->focusContent();
    }
    if (devTrace && services_.print) {
        services_.print(std::string("trace: find closed: sidebar=") + flag(overlay_.sidebar()));
    }
    announceSelection(closed);
}

void AppController::announceMatches() {
    if (!overlay_.finding()) {
        return;
    }
    const auto matches = static_cast<std::int64_t>(overlay_.navigationOrder().size());
    if (devTrace && services_.print) {
        services_.print("trace: matches for query: " + std::to_string(matches));
    }
    if (matches == 0) {
        announce(OvraText::t("No matches"));
        return;
    }
    std::string text =
        matches == 1 ? OvraText::t("1 match") : OvraText::f("%lld matches", {matches});
    if (const std::optional<FocusItem> item = overlay_.selectedItem()) {
        text += ". " + item->displayLabel + ", " + item->candidate.roleName();
    }
    announce(text);
}

}  // namespace ovra
