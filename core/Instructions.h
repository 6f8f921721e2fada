#pragma once

// The catalogue behind the instructions pane, the home panel's basic keys and the spoken
// instructions: nine taught features with their texts and key chips, the way the user
// dictates into find, key symbols spelt out for speech, and the texts of a practice page.
// User-visible texts are looked up by their English wording; chip texts, symbol names and
// the practice page are not translated.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Json.h"
#include "core/OverlayKeys.h"

namespace ovra {

// One key as shown on a key chip, with what it does in the overlay.
struct TaughtKey {
    std::string chip;
    int keyCode = 0;  // macOS virtual key code
    std::optional<std::string> characters;
    bool shift = false;
    bool command = false;
    OverlayEffect does;

    // What the overlay key map makes of this key with the find field closed; equals `does`
    // for every key of the catalogue.
    std::optional<OverlayEffect> effect() const;

    static const TaughtKey& choose();  // "1-9"
    static const TaughtKey& press();   // "Return"
    static const TaughtKey& close();   // "Esc"

    friend bool operator==(const TaughtKey&, const TaughtKey&) = default;
};

namespace InstructionBasics {

// The basic keys with their words: choose, press, close.
const std::vector<std::pair<TaughtKey, std::string>>& keys();

}  // namespace InstructionBasics

// The modifier key that, pressed twice, starts the sibling dictation app. The raw values are
// the sibling app's own setting values; the names are the keys a Linux keyboard shows (the
// sibling's Command is Super, its Option is Alt).
class MurmlarkTapKey final {
  public:
    enum Value { rightCommand, rightOption, rightControl, leftCommand, leftOption, leftControl };

    constexpr MurmlarkTapKey(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<MurmlarkTapKey, 6>& allCases();
    static std::optional<MurmlarkTapKey> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;
    // Localized.
    std::string name() const;

    // The key from the sibling app's shared settings "doubleTapEnabled" and
    // "doubleTapDictationKey", as read (any type; absent or null when not set). None when
    // double-tap is off or the key cannot be read.
    static std::optional<MurmlarkTapKey> fromMurmlarkPreferences(
        const std::optional<Json>& doubleTapEnabled, const std::optional<Json>& dictationKey);

  private:
    Value value_;
};

// How the user dictates into find: with the sibling dictation app and its double-tapped key,
// or, as Linux desktops have no dictation of their own, by typing into find or with whatever
// dictation tool the user installed (find takes its typing like any other).
struct DictationSource {
    enum class Kind { murmlark, desktop };

    Kind kind = Kind::desktop;
    std::optional<MurmlarkTapKey> key;  // murmlark only; none when its setting cannot be read

    static DictationSource murmlark(std::optional<MurmlarkTapKey> key) {
        return {Kind::murmlark, key};
    }
    static DictationSource desktop() { return {Kind::desktop, std::nullopt}; }

    // Localized.
    std::string chip() const;

    friend bool operator==(const DictationSource&, const DictationSource&) = default;
};

// One taught feature of the instructions.
class OvraFeature final {
  public:
    enum Value { ovras, sidebar, popups, veiled, find, scroll, why, choices, say };

    constexpr OvraFeature(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<OvraFeature, 9>& allCases();
    static std::optional<OvraFeature> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

    // Localized.
    std::string title() const;
    // The symbol's name in the app's icon set.
    std::string_view symbol() const;
    const std::vector<TaughtKey>& keys() const;
    // Localized; for `scroll` only.
    std::optional<std::string> tryNote() const;
    bool startsWithShortcut() const { return value_ == ovras; }
    bool usesDictation() const { return value_ == say; }

    // Localized. Only `say` looks at the dictation source.
    std::string sentence(const DictationSource& dictation) const;
    // Localized; `hotkey` is the main hotkey's label ("Ctrl Alt Space").
    std::array<std::string, 3> steps(std::string_view hotkey,
                                     const DictationSource& dictation) const;
    // The whole card for speech: title, sentence and numbered steps, key names spelt out.
    std::string readAloud(std::string_view hotkey, const DictationSource& dictation) const;

  private:
    Value value_;
};

namespace SpokenKeys {

// Key names as a voice should say them: "Ctrl" and "Esc" written out as words, the "+" of a key
// combination ("Ctrl+F") and the dash of a key range ("1-9") as words, doubled spaces collapsed.
std::string spell(std::string_view text);

}  // namespace SpokenKeys

// Fixed texts of a practice shop page, full of the patterns the ovras sort out.
namespace PracticePage {

inline constexpr std::string_view shop = "Sample Shop";
inline constexpr std::string_view upsell = "Upgrade to Premium, 50% off!";
inline constexpr std::string_view email = "Email address";
inline constexpr std::string_view optIn = "Send me marketing emails and partner offers";
inline constexpr std::string_view proceed = "Continue";
inline constexpr std::string_view cancel = "Cancel";
inline constexpr std::string_view shame = "No thanks, I don't like saving money";
inline constexpr std::string_view survey = "Take our 2-minute survey";
inline constexpr std::string_view cookies = "We use cookies.";
inline constexpr std::string_view accept = "Accept all cookies";
inline constexpr std::string_view reject = "Reject all";

}  // namespace PracticePage

}  // namespace ovra
