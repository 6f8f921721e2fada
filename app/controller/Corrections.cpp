#include "app/controller/Corrections.h"

#include "app/controller/OverlaySentences.h"
#include "core/DarkPatternPrior.h"

namespace ovra {

Corrections::Corrections(OverlayModel& overlay, const ShownReading& shown, Preferences& prefs,
                         std::function<void()> beep,
                         std::function<void(const std::string&)> announce)
    : overlay_(overlay),
      shown_(shown),
      prefs_(prefs),
      beep_(std::move(beep)),
      announce_(std::move(announce)) {}

void Corrections::explain() {
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
    announce_(item->explanation);
}

void Corrections::toggle(FocusOverride override) {
    const std::optional<FocusItem> item = overlay_.selectedItem();
    if (!item || !shown_.snapshot) {
        return;
    }
    if (ScrollMore::isScroll(item->id())) {
        beep_();
        return;
    }
    const UICandidate& candidate = item->candidate;
    std::string text;
    if (DarkPatternPrior::normalized(candidate.label()).empty()) {
        // Stored under an empty name it would pin or mute every unnamed control of that kind.
        beep_();
        text = OverlaySentences::cannotCorrectUnnamed();
    } else {
        // Corrections are kept under the process name, as the plans look them up.
        const std::optional<FocusOverride> now = prefs_.toggleOverride(
            override, FocusOverrides::key(shown_.snapshot->correctionsKey(), candidate));
        text =
            OverlaySentences::corrected(now, item->displayLabel, shown_.snapshot->window.appName);
    }
    overlay_.setExplainID(std::nullopt);
    overlay_.setNotice(text);
    announce_(text);
}

}  // namespace ovra
