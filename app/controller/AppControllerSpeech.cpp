// What the open overlay says: every sentence goes to screen readers as an announcement on the
// overlay, and to the app's own voice when the user turned speech on and no screen reader runs.

#include "app/controller/AppController.h"
#include "core/OvraText.h"

namespace ovra {

void AppController::announce(const std::string& text) {
    const Preferences& prefs = services_.prefs;
    if (prefs.speakFeedback() &&
        !(services_.screenReaderRunning && services_.screenReaderRunning())) {
        const std::optional<std::string> voice =
            prefs.voiceID().empty() ? std::nullopt : std::optional(prefs.voiceID());
        services_.voice.speak(text, voice, prefs.voiceRate());
    }
    if (panel_) {
        panel_->announce(text);
    }
}

void AppController::announceOpen(const FocusPlan& plan) {
    const std::optional<FocusItem> item = overlay_.selectedItem();
    const std::optional<int> number = item ? overlay_.number(item->id()) : std::nullopt;
    if (!number) {
        announce(OvraText::t("Ovra: nothing to press here. Press A to see everything."));
        return;
    }
    const auto hidden = static_cast<std::int64_t>(plan.suppressed().size());
    const auto choices = static_cast<std::int64_t>(plan.choiceCount());
    const std::string head =
        hidden > 0 ? OvraText::f("Ovra: %lld choices, %lld distractions hidden.", {choices, hidden})
                   : OvraText::f("Ovra: %lld choices.", {choices});
    announce(head + " " + std::to_string(*number) + ", " + item->displayLabel + ", " +
             item->candidate.roleName());
}

void AppController::announceSelection(const std::optional<std::string>& prefix) {
    const std::optional<FocusItem> item = overlay_.selectedItem();
    const std::optional<int> number = item ? overlay_.number(item->id()) : std::nullopt;
    if (!number) {
        if (prefix) {
            announce(*prefix);
        }
        return;
    }
    std::string body = OvraText::f("%lld of %lld: %@, %@",
                                   {static_cast<std::int64_t>(*number),
                                    static_cast<std::int64_t>(overlay_.navigationOrder().size()),
                                    item->displayLabel, item->candidate.roleName()});
    if (item->forceBeacon) {
        body += ", " + (item->reason ? OvraText::t(*item->reason) : std::string());
    }
    announce(prefix ? *prefix + " " + body : body);
}

// Explanations, corrections and the magnifier are not offered by the overlay yet: the keys do
// nothing and no tip is given.
void AppController::explainSelection() {}

void AppController::saveCorrection(FocusOverride) {}

std::optional<std::string> AppController::zoomFollowTip() {
    return std::nullopt;
}

}  // namespace ovra
