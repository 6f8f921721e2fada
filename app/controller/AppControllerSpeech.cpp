// What the open overlay says: every sentence goes to screen readers as an announcement on the
// overlay, and to the app's own voice when the user turned speech on and no screen reader runs.

#include "app/controller/AppController.h"
#include "app/controller/OverlaySentences.h"
#include "core/DarkPatternPrior.h"

namespace ovra {

void AppController::announce(const std::string& text) {
    const Preferences& prefs = services_.prefs;
    if (prefs.get(keys::speakFeedback) &&
        !(services_.screenReaderRunning && services_.screenReaderRunning())) {
        const std::optional<std::string> voice = prefs.get(keys::voiceID).empty()
                                                     ? std::nullopt
                                                     : std::optional(prefs.get(keys::voiceID));
        services_.voice.speak(text, voice, prefs.get(keys::voiceRate));
    }
    if (panel_) {
        panel_->announce(text);
    }
}

void AppController::announceSelection(const std::optional<std::string>& prefix) {
    if (const auto sentence = OverlaySentences::selection(overlay_, prefix)) {
        announce(*sentence);
    }
}

void AppController::explainSelection() {
    scan_.stop();
    const std::optional<FocusItem> item = overlay_.selectedItem();
    if (!item) {
        return;
    }
    overlay_.setNotice(std::nullopt);
    // The key shows the explanation, and hides it again.
    if (overlay_.explainID() == item->id()) {
        overlay_.setExplainID(std::nullopt);
        return;
    }
    overlay_.setExplainID(item->id());
    announce(item->explanation);
}

void AppController::saveCorrection(FocusOverride override) {
    const std::optional<FocusItem> item = overlay_.selectedItem();
    if (!item || !shown_.snapshot) {
        return;
    }
    if (ScrollMore::isScroll(item->id())) {
        services_.beep();
        return;
    }
    const UICandidate& candidate = item->candidate;
    std::string text;
    if (DarkPatternPrior::normalized(candidate.label()).empty()) {
        // Stored under an empty name it would pin or mute every unnamed control of that kind.
        services_.beep();
        text = OverlaySentences::cannotCorrectUnnamed();
    } else {
        // Corrections are kept under the process name, as the plans look them up.
        const std::optional<FocusOverride> now = services_.prefs.toggleOverride(
            override, FocusOverrides::key(shown_.snapshot->correctionsKey(), candidate));
        text =
            OverlaySentences::corrected(now, item->displayLabel, shown_.snapshot->window.appName);
    }
    overlay_.setExplainID(std::nullopt);
    overlay_.setNotice(text);
    announce(text);
}

}  // namespace ovra
