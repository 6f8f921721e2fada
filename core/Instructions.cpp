#include "core/Instructions.h"

#include <cctype>
#include <cstddef>

#include "core/OvraText.h"

namespace ovra {

namespace {

TaughtKey key(std::string chip, int keyCode, std::optional<std::string> characters, bool command,
              OverlayEffect does) {
    return TaughtKey{std::move(chip), keyCode, std::move(characters), false, command, does};
}

OverlayEffect asAction(OverlayKeyAction a) {
    return OverlayEffect::action(a);
}
OverlayEffect asCommand(OverlayCommand c) {
    return OverlayEffect::command(c);
}

}  // namespace

// ---- TaughtKey ----

std::optional<OverlayEffect> TaughtKey::effect() const {
    OverlayKeyPress press;
    press.keyCode = keyCode;
    press.characters = characters;
    press.shift = shift;
    press.command = command;
    return OverlayKeys::effect(press);
}

const TaughtKey& TaughtKey::choose() {
    static const TaughtKey k = key("1-9", 18, "1", false, asCommand(OverlayCommand::choose(1)));
    return k;
}

const TaughtKey& TaughtKey::press() {
    static const TaughtKey k = key("Return", 36, "\r", false, asAction(OverlayKeyAction::press()));
    return k;
}

const TaughtKey& TaughtKey::close() {
    static const TaughtKey k = key("Esc", 53, "\x1B", false, asCommand(OverlayCommand::close()));
    return k;
}

const std::vector<std::pair<TaughtKey, std::string>>& InstructionBasics::keys() {
    static const std::vector<std::pair<TaughtKey, std::string>> basics{
        {TaughtKey::choose(), "choose"},
        {TaughtKey::press(), "press"},
        {TaughtKey::close(), "close"},
    };
    return basics;
}

// ---- MurmlarkTapKey ----

namespace {

struct TapKeyRow {
    std::string_view raw;
    std::string_view name;
};

constexpr std::array<TapKeyRow, 6> kTapKeys{{
    {"rightCommand", OvraText::mark("Right Super")},
    {"rightOption", OvraText::mark("Right Alt")},
    {"rightControl", OvraText::mark("Right Ctrl")},
    {"leftCommand", OvraText::mark("Left Super")},
    {"leftOption", OvraText::mark("Left Alt")},
    // Without "Left": many keyboards have only the one Ctrl key.
    {"leftControl", OvraText::mark("Ctrl")},
}};

}  // namespace

const std::array<MurmlarkTapKey, 6>& MurmlarkTapKey::allCases() {
    static const std::array<MurmlarkTapKey, 6> cases{rightCommand, rightOption, rightControl,
                                                     leftCommand,  leftOption,  leftControl};
    return cases;
}

std::optional<MurmlarkTapKey> MurmlarkTapKey::fromRawValue(std::string_view raw) {
    for (const MurmlarkTapKey k : allCases())
        if (k.rawValue() == raw)
            return k;
    return std::nullopt;
}

std::string_view MurmlarkTapKey::rawValue() const {
    return kTapKeys[static_cast<std::size_t>(value_)].raw;
}

std::string MurmlarkTapKey::name() const {
    return OvraText::t(kTapKeys[static_cast<std::size_t>(value_)].name);
}

std::optional<MurmlarkTapKey> MurmlarkTapKey::fromMurmlarkPreferences(
    const std::optional<Json>& doubleTapEnabled, const std::optional<Json>& dictationKey) {
    // Not set counts as enabled; anything but a real true turns it off.
    if (doubleTapEnabled && !doubleTapEnabled->is_null() &&
        !(doubleTapEnabled->is_boolean() && doubleTapEnabled->get<bool>()))
        return std::nullopt;
    if (!dictationKey || dictationKey->is_null())
        return MurmlarkTapKey(rightCommand);
    if (!dictationKey->is_string())
        return std::nullopt;
    return fromRawValue(dictationKey->get_ref<const std::string&>());
}

// ---- DictationSource ----

std::string DictationSource::chip() const {
    if (kind == Kind::desktop)
        return OvraText::t("Dictation tool");
    if (!key)
        return OvraText::t("Murmlark dictation key");
    return OvraText::f("%@, twice", {key->name()});
}

// ---- OvraFeature ----

namespace {

struct FeatureRow {
    std::string_view raw;
    std::string_view title;
    std::string_view symbol;
    std::string_view sentence;  // `say` has three, chosen by the dictation source
    std::array<std::string_view, 3> steps;
    bool stepsTakeHotkey;
};

constexpr std::array<FeatureRow, 9> kFeatures{{
    {"ovras",
     OvraText::mark("Numbered ovras"),
     "1.circle",
     OvraText::mark("The window dims and the things you came to do light up, each with a number."),
     {OvraText::mark("Press %@ in any app."),
      OvraText::mark("Press the number of what you want, or move to it with Tab or the arrows."),
      OvraText::mark("Press Return to use it, or Esc to close Ovra.")},
     true},
    {"sidebar",
     OvraText::mark("The list on the side"),
     "sidebar.leading",
     OvraText::mark("Every action in one calm list down the side of the screen, under plain "
                    "headings. S switches between the list and ovras on the page."),
     {OvraText::mark("Open Ovra with %@."),
      OvraText::mark("Press S to switch between the list and ovras on the page."),
      OvraText::mark("Ovra remembers your choice. It is also in Settings, Look.")},
     true},
    {"popups",
     OvraText::mark("Pop-ups, out of the way"),
     "xmark.square",
     OvraText::mark("When Ovra finds a pop-up or a cookie banner, its way out is number 1 and "
                    "already selected."),
     {OvraText::mark("Open Ovra with %@ on a page with a pop-up."),
      OvraText::mark("Check that number 1 says Reject, Close or No thanks."),
      OvraText::mark("Press Return to use it. Nothing is accepted for you.")},
     true},
    {"veiled",
     OvraText::mark("Ads, veiled"),
     "circle.lefthalf.filled",
     OvraText::mark("Ads, upsells and surveys are dimmed and labeled, never removed. A shows "
                    "everything; A again veils them."),
     {OvraText::mark("Open Ovra with %@."),
      OvraText::mark("Press A to show what was veiled. You can choose it like anything else."),
      OvraText::mark("Press A again to veil it once more.")},
     true},
    {"find",
     OvraText::mark("Find by name"),
     "magnifyingglass",
     OvraText::mark("Type part of a name and the list narrows as you type. Capitals and accents "
                    "don't matter, and veiled things are found too."),
     {OvraText::mark("Open Ovra, then press F."),
      OvraText::mark("Type a few letters of what you want."),
      OvraText::mark("Press Return to use the first match, or Esc to leave Find.")},
     false},
    {"scroll",
     OvraText::mark("More of the page"),
     "arrow.down.to.line",
     OvraText::mark("Move down the page without closing Ovra. When there is more, “More below” "
                    "is the last item and does the same."),
     {OvraText::mark("Open Ovra on a long page."),
      OvraText::mark("Press Page Down, or choose “More below”. J and K move a little down and up."),
      OvraText::mark("Ovra reads the new part of the page and numbers it.")},
     false},
    {"why",
     OvraText::mark("Why this?"),
     "questionmark.circle",
     OvraText::mark("Ovra tells you why it chose the selected item, or why it veiled it."),
     {OvraText::mark("Select an item with its number or the arrows."), OvraText::mark("Press W."),
      OvraText::mark("Ovra shows its reason. Press W again to hide it.")},
     false},
    {"choices",
     OvraText::mark("Always, or never"),
     "pin",
     OvraText::mark("P always highlights the selected item in this app; D stops highlighting it. "
                    "Both apply the next time you open Ovra."),
     {OvraText::mark("Select an item."),
      OvraText::mark("Press P to always highlight it, or D to stop. The same key again undoes it."),
      OvraText::mark("See or undo your choices any time in Settings, Your choices.")},
     false},
    {"say", OvraText::mark("Say it instead of typing"), "mic", {}, {}, false},
}};

const FeatureRow& row(OvraFeature::Value v) {
    return kFeatures[static_cast<std::size_t>(v)];
}

std::vector<TaughtKey> buildKeys(OvraFeature::Value feature) {
    const auto openFind = asAction(OverlayKeyAction::openFind());
    switch (feature) {
        case OvraFeature::ovras:
            return {TaughtKey::choose(), TaughtKey::press(), TaughtKey::close()};
        case OvraFeature::sidebar:
            return {key("S", 1, "s", false, asCommand(OverlayCommand::sidebar()))};
        case OvraFeature::popups:
            return {TaughtKey::press()};
        case OvraFeature::veiled:
            return {key("A", 0, "a", false, asCommand(OverlayCommand::showAll()))};
        case OvraFeature::find:
            return {key("F", 3, "f", false, openFind), key("Ctrl+F", 3, "f", true, openFind)};
        case OvraFeature::scroll:
            return {
                key("Page Down", 121, std::nullopt, false,
                    asAction(OverlayKeyAction::scroll(ScrollDirection::down, ScrollStep::page))),
                key("J", 38, "j", false,
                    asAction(OverlayKeyAction::scroll(ScrollDirection::down, ScrollStep::small))),
                key("K", 40, "k", false,
                    asAction(OverlayKeyAction::scroll(ScrollDirection::up, ScrollStep::small)))};
        case OvraFeature::why:
            return {key("W", 13, "w", false, asCommand(OverlayCommand::why()))};
        case OvraFeature::choices:
            return {key("P", 35, "p", false, asCommand(OverlayCommand::pin())),
                    key("D", 2, "d", false, asCommand(OverlayCommand::mute()))};
        case OvraFeature::say:
            return {key("F", 3, "f", false, openFind)};
    }
    return {};
}

}  // namespace

const std::array<OvraFeature, 9>& OvraFeature::allCases() {
    static const std::array<OvraFeature, 9> cases{ovras,  sidebar, popups,  veiled, find,
                                                  scroll, why,     choices, say};
    return cases;
}

std::optional<OvraFeature> OvraFeature::fromRawValue(std::string_view raw) {
    for (const OvraFeature f : allCases())
        if (f.rawValue() == raw)
            return f;
    return std::nullopt;
}

std::string_view OvraFeature::rawValue() const {
    return row(value_).raw;
}

std::string OvraFeature::title() const {
    return OvraText::t(row(value_).title);
}

std::string_view OvraFeature::symbol() const {
    return row(value_).symbol;
}

const std::vector<TaughtKey>& OvraFeature::keys() const {
    static const std::array<std::vector<TaughtKey>, 9> all = [] {
        std::array<std::vector<TaughtKey>, 9> built;
        for (const OvraFeature f : allCases())
            built[static_cast<std::size_t>(Value(f))] = buildKeys(f);
        return built;
    }();
    return all[static_cast<std::size_t>(value_)];
}

std::optional<std::string> OvraFeature::tryNote() const {
    if (value_ != scroll)
        return std::nullopt;
    return OvraText::t("Try it on a long web page: open Ovra there and press Page Down.");
}

std::string OvraFeature::sentence(const DictationSource& dictation) const {
    if (value_ != say)
        return OvraText::t(row(value_).sentence);
    if (dictation.kind == DictationSource::Kind::desktop)
        return OvraText::t(
            "In Find, type what you're looking for, or say it with a dictation tool if you have "
            "one installed.");
    if (!dictation.key)
        return OvraText::t(
            "In Find, press your Murmlark dictation key and say what you're looking for.");
    return OvraText::f(
        "In Find, press %@ twice to start Murmlark, and say what you're looking for.",
        {dictation.key->name()});
}

std::array<std::string, 3> OvraFeature::steps(std::string_view hotkey,
                                              const DictationSource& dictation) const {
    if (value_ != say) {
        const FeatureRow& r = row(value_);
        const std::string first = r.stepsTakeHotkey ? OvraText::f(r.steps[0], {std::string(hotkey)})
                                                    : OvraText::t(r.steps[0]);
        return {first, OvraText::t(r.steps[1]), OvraText::t(r.steps[2])};
    }
    std::array<std::string, 3> out{OvraText::t("Open Ovra, then press F."), {}, {}};
    if (dictation.kind == DictationSource::Kind::desktop) {
        out[1] = OvraText::t(
            "Type a few letters of the name, or start your dictation tool and say the name.");
        out[2] = OvraText::t("When the name appears, press Return to use the first match.");
    } else if (!dictation.key) {
        out[1] = OvraText::t("Press your Murmlark dictation key and say the name.");
        out[2] = OvraText::t("When the name appears, press Return to use the first match.");
    } else {
        const std::string name = dictation.key->name();
        out[1] = OvraText::f("Press %@ twice and say the name, for example “continue”.", {name});
        out[2] = OvraText::f("Press %@ once to stop. When the name appears, press Return.", {name});
    }
    return out;
}

std::string OvraFeature::readAloud(std::string_view hotkey,
                                   const DictationSource& dictation) const {
    std::string text = title() + ". " + sentence(dictation);
    const auto numbered = steps(hotkey, dictation);
    for (std::size_t i = 0; i < numbered.size(); ++i)
        text += " " + std::to_string(i + 1) + ". " + numbered[i];
    return SpokenKeys::spell(text);
}

// ---- SpokenKeys ----

namespace {

bool wordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Replaces `word` where it stands as a whole word.
void replaceWord(std::string& text, std::string_view word, std::string_view by) {
    std::size_t at = 0;
    while ((at = text.find(word, at)) != std::string::npos) {
        const std::size_t end = at + word.size();
        if ((at > 0 && wordChar(text[at - 1])) || (end < text.size() && wordChar(text[end]))) {
            at = end;
            continue;
        }
        text.replace(at, word.size(), by);
        at += by.size();
    }
}

// Between two key names ("Ctrl+F", "1-9"): the joiner with no blank on either side.
void replaceJoiner(std::string& text, char joiner, std::string_view by) {
    for (std::size_t at = 1; at + 1 < text.size(); ++at) {
        if (text[at] == joiner && wordChar(text[at - 1]) && wordChar(text[at + 1])) {
            const bool range = joiner == '-';
            // A range joins digits only; a hyphenated word keeps its hyphen.
            if (range && !(std::isdigit(static_cast<unsigned char>(text[at - 1])) &&
                           std::isdigit(static_cast<unsigned char>(text[at + 1])))) {
                continue;
            }
            text.replace(at, 1, by);
            at += by.size() - 1;
        }
    }
}

}  // namespace

std::string SpokenKeys::spell(std::string_view input) {
    std::string text(input);
    replaceJoiner(text, '+', " ");
    replaceJoiner(text, '-', " " + OvraText::t("to") + " ");
    replaceWord(text, "Ctrl", OvraText::t("Control"));
    replaceWord(text, "Esc", OvraText::t("Escape"));
    // Runs of spaces become one.
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (!(c == ' ' && !out.empty() && out.back() == ' '))
            out += c;
    return out;
}

}  // namespace ovra
