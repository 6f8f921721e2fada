// The Voice pane: whether the app speaks the selected ovra, with which of the speech service's
// voices and at what speed, and a sample to try them.

#include "app/controller/Preferences.h"
#include "app/settings/DashboardContent.h"
#include "app/settings/panes/RowMaking.h"
#include "core/OvraText.h"

namespace ovra::DashboardContent {

std::string voiceSample() {
    return OvraText::t("Ovra. 3 choices. 1, Email address, text field.");
}

std::vector<OvraSection> voice(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    DashboardController& controller = context.controller;
    const bool speaking = prefs.get(keys::speakFeedback);

    std::vector<std::string> ids{""};
    std::vector<std::string> labels{OvraText::t("Best available")};
    for (auto& choice : controller.voices()) {
        ids.push_back(std::move(choice.id));
        labels.push_back(std::move(choice.label));
    }

    OvraRow on = rows::withSubtitle(
        rows::make("voice.on", OvraText::t("Speak the selected ovra"), "speaker.wave.2",
                   rows::toggle([&prefs] { return prefs.get(keys::speakFeedback); },
                                [&prefs](bool v) { prefs.set(keys::speakFeedback, v); })),
        OvraText::t("When no screen reader is running"));
    OvraRow voiceRow = rows::make(
        "voice.voice", OvraText::t("Voice"), "person.wave.2",
        rows::choiceOver<std::string>(
            std::move(ids), std::move(labels), [&prefs] { return prefs.get(keys::voiceID); },
            [&prefs](std::string id) { prefs.set(keys::voiceID, std::move(id)); }, 0),
        speaking);
    OvraRow rate = rows::make("voice.rate", OvraText::t("Speed"), "hare",
                              rows::choiceOver<double>(
                                  {0.75, 1.0, 1.25}, rows::labels({"Slow", "Normal", "Fast"}),
                                  [&prefs] { return prefs.get(keys::voiceRate); },
                                  [&prefs](double r) { prefs.set(keys::voiceRate, r); }, 1),
                              speaking);
    // An explicit request: it plays whatever "voice.on" says.
    OvraRow sample = rows::make(
        "voice.try", OvraText::t("Try it"), "play.circle", rows::action([&prefs, &controller] {
            const std::string& id = prefs.get(keys::voiceID);
            controller.speakSample(voiceSample(), id.empty() ? std::nullopt : std::optional(id),
                                   prefs.get(keys::voiceRate));
        }));
    OvraRow note = rows::note(
        "voice.note",
        OvraText::t("Ovra only reads what it highlights, so pop-ups and adverts are never read. "
                    "It stays quiet while a screen reader is running and never talks over "
                    "your screen reader."));
    return {{"voice", std::nullopt, {on, voiceRow, rate, sample, note}}};
}

}  // namespace ovra::DashboardContent
