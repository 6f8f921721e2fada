#include "app/settings/instructions/InstructionsPane.h"

#include "core/OvraText.h"

namespace ovra::InstructionsPane {

std::vector<std::pair<std::string, std::string>> basics(const std::string& hotkey) {
    std::vector<std::pair<std::string, std::string>> pairs{{hotkey, OvraText::t("open")}};
    for (const auto& [key, word] : InstructionBasics::keys()) {
        pairs.emplace_back(key.chip, OvraText::t(word));
    }
    return pairs;
}

std::string basicsLabel(const std::string& hotkey) {
    return OvraText::f("The basics: %@ opens Ovra, a number chooses, Return presses, Esc closes.",
                       {SpokenKeys::spell(hotkey)});
}

std::vector<Chip> chips(OvraFeature feature, const std::string& hotkey,
                        const DictationSource& dictation) {
    std::vector<Chip> out;
    if (feature.startsWithShortcut()) {
        out.push_back({hotkey});
    }
    for (const TaughtKey& key : feature.keys()) {
        out.push_back({key.chip});
    }
    if (feature.usesDictation()) {
        out.push_back({dictation.chip(), "mic.fill", true});
    }
    return out;
}

std::string chipsLabel(OvraFeature feature, const std::string& hotkey,
                       const DictationSource& dictation) {
    std::string words;
    for (const Chip& chip : chips(feature, hotkey, dictation)) {
        if (!words.empty()) {
            words += ", ";
        }
        // The dictation chip is already words.
        words += chip.symbol ? chip.label : SpokenKeys::spell(chip.label);
    }
    return OvraText::f("Keys: %@", {words});
}

ReadButton readButton(OvraFeature shown, const std::optional<OvraFeature>& reading) {
    if (reading == shown) {
        return {OvraText::t("Stop reading"), "stop.fill", true};
    }
    return {OvraText::t("Read aloud"), "speaker.wave.2.fill", false};
}

std::string selection(OvraFeature feature, const DictationSource& dictation) {
    return feature.title() + ". " + feature.sentence(dictation);
}

}  // namespace ovra::InstructionsPane
