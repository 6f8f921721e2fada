#pragma once

// What the Instructions pane shows, as plain values: the basics bar, the feature card's key
// chips with the words screen readers hear for them, the read-aloud button's state, and what is
// said when a feature is chosen. The view paints these; tests read them without a window.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/Instructions.h"

namespace ovra::InstructionsPane {

// One key cap: its text (shown as it is, never translated) and an optional symbol before it;
// `plusBefore` puts a "+" between it and the chip before.
struct Chip {
    std::string label;
    std::optional<std::string> symbol;
    bool plusBefore = false;
    friend bool operator==(const Chip&, const Chip&) = default;
};

// The basics bar: the main hotkey with "open", then each basic key with its word, localized.
std::vector<std::pair<std::string, std::string>> basics(const std::string& hotkey);
// The bar as screen readers hear it, the hotkey's keys spelt out.
std::string basicsLabel(const std::string& hotkey);

// A feature's chips: the hotkey first for the numbered ovras, then the feature's keys, and for
// dictation a "+" and the dictation chip with a microphone.
std::vector<Chip> chips(OvraFeature feature, const std::string& hotkey,
                        const DictationSource& dictation);
// "Keys: " and the chips' words: key names spelt out, the dictation chip as it is (words).
std::string chipsLabel(OvraFeature feature, const std::string& hotkey,
                       const DictationSource& dictation);

// The read-aloud button of the card (and the keyboard row of the same name).
struct ReadButton {
    std::string title;
    std::string symbol;
    bool primary = false;  // the shown feature is being read
};
ReadButton readButton(OvraFeature shown, const std::optional<OvraFeature>& reading);

// Said when a feature is chosen by a click or a screen reader: its title and sentence.
std::string selection(OvraFeature feature, const DictationSource& dictation);

}  // namespace ovra::InstructionsPane
