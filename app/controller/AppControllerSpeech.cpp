// What the open overlay says: every sentence goes to screen readers as an announcement on the
// overlay, and to the app's own voice when the user turned speech on and no screen reader runs.

#include "app/controller/AppController.h"
#include "app/controller/OverlaySentences.h"

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

}  // namespace ovra
