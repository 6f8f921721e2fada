// What the open overlay says: every sentence goes to screen readers as an announcement on the
// overlay, and to the app's own voice when the user turned speech on and no screen reader runs.

#include "app/controller/AppController.h"
#include "core/DarkPatternPrior.h"
#include "core/OvraText.h"

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

void AppController::announceOpen(const FocusPlan& plan) {
    const std::optional<FocusItem> item = overlay_.selectedItem();
    const std::optional<int> number = item ? overlay_.number(item->id()) : std::nullopt;
    if (!number) {
        announce(OvraText::t("Ovra: nothing to press here. Press A to see everything."));
        return;
    }
    const auto hidden = static_cast<std::int64_t>(plan.suppressed().size());
    const auto choices = static_cast<std::int64_t>(plan.choiceCount());
    const std::string counted = OvraText::plural(choices, "%lld choice", "%lld choices");
    const std::string head =
        hidden > 0 ? OvraText::f("Ovra: %@, %@.",
                                 {counted, OvraText::plural(hidden, "1 distraction hidden",
                                                            "%lld distractions hidden")})
                   : OvraText::f("Ovra: %@.", {counted});
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
        text = OvraText::t(
            "This control has no name to remember, so Ovra cannot save a choice "
            "for it.");
    } else {
        // Corrections are kept under the process name, as the plans look them up.
        const WindowSnapshot& window = shown_.snapshot->window;
        const std::string& app = shown_.snapshot->app.processName.empty()
                                     ? window.appName
                                     : shown_.snapshot->app.processName;
        const std::optional<FocusOverride> now =
            services_.prefs.toggleOverride(override, FocusOverrides::key(app, candidate));
        if (!now) {
            text = OvraText::f("Removed your choice for “%@”. Applies next time.",
                               {item->displayLabel});
        } else if (*now == FocusOverride::mute) {
            text = OvraText::f("Saved: don't highlight “%@” in %@. Applies next time.",
                               {item->displayLabel, window.appName});
        } else {
            text = OvraText::f("Saved: always highlight “%@” in %@. Applies next time.",
                               {item->displayLabel, window.appName});
        }
    }
    overlay_.setExplainID(std::nullopt);
    overlay_.setNotice(text);
    announce(text);
}

}  // namespace ovra
