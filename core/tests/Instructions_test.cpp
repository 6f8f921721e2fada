#include "core/Instructions.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

const DictationSource kMac = DictationSource::mac();
const DictationSource kMurmlarkUnknown = DictationSource::murmlark(std::nullopt);
const DictationSource kMurmlarkOption = DictationSource::murmlark(MurmlarkTapKey::rightOption);

TEST(OvraFeature, CasesTitlesAndSymbolsInOrder) {
    const struct {
        OvraFeature feature;
        std::string_view raw, title, symbol;
    } rows[] = {
        {OvraFeature::ovras, "ovras", "Numbered ovras", "1.circle"},
        {OvraFeature::sidebar, "sidebar", "The list on the side", "sidebar.leading"},
        {OvraFeature::popups, "popups", "Pop-ups, out of the way", "xmark.square"},
        {OvraFeature::veiled, "veiled", "Ads, veiled", "circle.lefthalf.filled"},
        {OvraFeature::find, "find", "Find by name", "magnifyingglass"},
        {OvraFeature::scroll, "scroll", "More of the page", "arrow.down.to.line"},
        {OvraFeature::why, "why", "Why this?", "questionmark.circle"},
        {OvraFeature::choices, "choices", "Always, or never", "pin"},
        {OvraFeature::say, "say", "Say it instead of typing", "mic"},
    };
    ASSERT_EQ(OvraFeature::allCases().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        EXPECT_EQ(OvraFeature::allCases()[i], r.feature);
        EXPECT_EQ(r.feature.rawValue(), r.raw);
        EXPECT_EQ(OvraFeature::fromRawValue(r.raw), r.feature);
        EXPECT_EQ(r.feature.title(), r.title);
        EXPECT_EQ(r.feature.symbol(), r.symbol);
        EXPECT_EQ(r.feature.startsWithShortcut(), r.feature == OvraFeature::ovras);
        EXPECT_EQ(r.feature.usesDictation(), r.feature == OvraFeature::say);
    }
    EXPECT_EQ(OvraFeature::fromRawValue("Ovras"), std::nullopt);
    EXPECT_EQ(OvraFeature::fromRawValue("scrolling"), std::nullopt);
}

TEST(OvraFeature, TryNoteOnlyForScroll) {
    for (const OvraFeature f : OvraFeature::allCases()) {
        const std::optional<std::string> expected =
            f == OvraFeature::scroll
                ? std::optional<std::string>(
                      "Try it on a long web page: open Ovra there and press Page Down.")
                : std::nullopt;
        EXPECT_EQ(f.tryNote(), expected) << f.rawValue();
    }
}

std::string chips(const std::vector<TaughtKey>& keys) {
    std::string out;
    for (const TaughtKey& k : keys)
        out += (out.empty() ? "" : " | ") + k.chip + "#" + std::to_string(k.keyCode) + "#" +
               k.characters.value_or("<none>") + (k.command ? "#cmd" : "");
    return out;
}

TEST(OvraFeature, KeysPerFeature) {
    const struct {
        OvraFeature feature;
        std::string_view chips;
    } rows[] = {
        {OvraFeature::ovras, "1-9#18#1 | Return#36#\r | Esc#53#\x1B"},
        {OvraFeature::sidebar, "S#1#s"},
        {OvraFeature::popups, "Return#36#\r"},
        {OvraFeature::veiled, "A#0#a"},
        {OvraFeature::find, "F#3#f | ⌘F#3#f#cmd"},
        {OvraFeature::scroll, "Page Down#121#<none> | J#38#j | K#40#k"},
        {OvraFeature::why, "W#13#w"},
        {OvraFeature::choices, "P#35#p | D#2#d"},
        {OvraFeature::say, "F#3#f"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(chips(r.feature.keys()), r.chips) << r.feature.rawValue();
    for (const OvraFeature f : OvraFeature::allCases())
        for (const TaughtKey& k : f.keys())
            EXPECT_FALSE(k.shift) << k.chip;
}

// The chips teach what the key map really does: a key whose effect drifted from its chip
// would teach the user something false.
TEST(TaughtKey, EveryChipDoesWhatTheKeyMapDoes) {
    for (const OvraFeature f : OvraFeature::allCases())
        for (const TaughtKey& k : f.keys())
            EXPECT_EQ(k.effect(), std::optional<OverlayEffect>(k.does))
                << f.rawValue() << " " << k.chip;
    for (const auto& [k, word] : InstructionBasics::keys())
        EXPECT_EQ(k.effect(), std::optional<OverlayEffect>(k.does)) << word;
}

TEST(TaughtKey, PresetsAndBasics) {
    EXPECT_EQ(TaughtKey::choose().does, OverlayEffect::command(OverlayCommand::choose(1)));
    EXPECT_EQ(TaughtKey::press().does, OverlayEffect::action(OverlayKeyAction::press()));
    EXPECT_EQ(TaughtKey::close().does, OverlayEffect::command(OverlayCommand::close()));
    const auto& basics = InstructionBasics::keys();
    ASSERT_EQ(basics.size(), 3u);
    EXPECT_EQ(basics[0], std::make_pair(TaughtKey::choose(), std::string("choose")));
    EXPECT_EQ(basics[1], std::make_pair(TaughtKey::press(), std::string("press")));
    EXPECT_EQ(basics[2], std::make_pair(TaughtKey::close(), std::string("close")));
    // Page Down has no characters and still scrolls a page.
    const TaughtKey& pageDown = OvraFeature(OvraFeature::scroll).keys()[0];
    EXPECT_EQ(pageDown.characters, std::nullopt);
    EXPECT_EQ(pageDown.effect(), OverlayEffect::action(OverlayKeyAction::scroll(
                                     ScrollDirection::down, ScrollStep::page)));
}

TEST(OvraFeature, SentencesOnlySayLooksAtDictation) {
    EXPECT_EQ(OvraFeature(OvraFeature::ovras).sentence(kMac),
              "The window dims and the things you came to do light up, each with a number.");
    EXPECT_EQ(OvraFeature(OvraFeature::scroll).sentence(kMurmlarkOption),
              "Move down the page without closing Ovra. When there is more, “More below” is the "
              "last item and does the same.");
    for (const OvraFeature f : OvraFeature::allCases())
        if (f != OvraFeature::say) {
            EXPECT_EQ(f.sentence(kMac), f.sentence(kMurmlarkOption)) << f.rawValue();
        }

    const OvraFeature say = OvraFeature::say;
    EXPECT_EQ(say.sentence(kMurmlarkOption),
              "In Find, press Right Option twice to start Murmlark, and say what you're looking "
              "for.");
    EXPECT_EQ(say.sentence(kMurmlarkUnknown),
              "In Find, press your Murmlark dictation key and say what you're looking for.");
    EXPECT_EQ(say.sentence(kMac),
              "In Find, start your Mac's Dictation and say what you're looking for.");
}

using Steps = std::array<std::string, 3>;

TEST(OvraFeature, StepsTakeTheHotkeyWhereTheyNameIt) {
    EXPECT_EQ(OvraFeature(OvraFeature::ovras).steps("⌥Space", kMac),
              (Steps{"Press ⌥Space in any app.",
                     "Press the number of what you want, or move to it with Tab or the arrows.",
                     "Press Return to use it, or Esc to close Ovra."}));
    EXPECT_EQ(OvraFeature(OvraFeature::sidebar).steps("F13", kMac)[0], "Open Ovra with F13.");
    EXPECT_EQ(OvraFeature(OvraFeature::popups).steps("F13", kMac)[0],
              "Open Ovra with F13 on a page with a pop-up.");
    EXPECT_EQ(OvraFeature(OvraFeature::veiled).steps("F13", kMac)[0], "Open Ovra with F13.");
    // A hotkey label with a percent sign is data, never a format.
    EXPECT_EQ(OvraFeature(OvraFeature::veiled).steps("%@%d", kMac)[0], "Open Ovra with %@%d.");
    for (const OvraFeature f :
         {OvraFeature::find, OvraFeature::scroll, OvraFeature::why, OvraFeature::choices})
        EXPECT_EQ(f.steps("⌥Space", kMac), f.steps("F13", kMurmlarkOption)) << f.rawValue();
}

TEST(OvraFeature, SayStepsFollowTheDictationSource) {
    const OvraFeature say = OvraFeature::say;
    EXPECT_EQ(say.steps("F13", DictationSource::murmlark(MurmlarkTapKey::leftCommand)),
              (Steps{"Open Ovra, then press F.",
                     "Press Left Command twice and say the name, for example “continue”.",
                     "Press Left Command once to stop. When the name appears, press Return."}));
    EXPECT_EQ(
        say.steps("F13", kMurmlarkUnknown),
        (Steps{"Open Ovra, then press F.", "Press your Murmlark dictation key and say the name.",
               "When the name appears, press Return to use the first match."}));
    EXPECT_EQ(say.steps("F13", kMac),
              (Steps{"Open Ovra, then press F.",
                     "Press your Mac's Dictation shortcut and say the name. It is set in System "
                     "Settings, Keyboard, Dictation.",
                     "When the name appears, press Return to use the first match."}));
}

TEST(OvraFeature, ReadAloudSpellsTheWholeCard) {
    EXPECT_EQ(OvraFeature(OvraFeature::ovras).readAloud("⌥ Space", kMac),
              "Numbered ovras. The window dims and the things you came to do light up, each with "
              "a number. 1. Press Option Space in any app. 2. Press the number of what you want, "
              "or move to it with Tab or the arrows. 3. Press Return to use it, or Esc to close "
              "Ovra.");
    EXPECT_EQ(OvraFeature(OvraFeature::why).readAloud("⌃⌥F", kMac),
              "Why this?. Ovra tells you why it chose the selected item, or why it veiled it. "
              "1. Select an item with its number or the arrows. 2. Press W. 3. Ovra shows its "
              "reason. Press W again to hide it.");
    EXPECT_NE(OvraFeature(OvraFeature::veiled)
                  .readAloud("⌃⌥F", kMac)
                  .find(" 1. Open Ovra with Control Option F. 2. "),
              std::string::npos);
}

TEST(MurmlarkTapKey, FromTheSiblingAppsSettings) {
    const auto from = [](std::optional<Json> enabled, std::optional<Json> key) {
        return MurmlarkTapKey::fromMurmlarkPreferences(enabled, key);
    };
    EXPECT_EQ(from(std::nullopt, std::nullopt), MurmlarkTapKey::rightCommand);
    EXPECT_EQ(from(Json(true), std::nullopt), MurmlarkTapKey::rightCommand);
    EXPECT_EQ(from(Json(false), Json("leftOption")), std::nullopt);
    EXPECT_EQ(from(Json(true), Json("leftOption")), MurmlarkTapKey::leftOption);
    EXPECT_EQ(from(std::nullopt, Json("rightControl")), MurmlarkTapKey::rightControl);
    EXPECT_EQ(from(Json(true), Json("leftControl")), MurmlarkTapKey::leftControl);
    EXPECT_EQ(from(Json(true), Json("LeftOption")), std::nullopt);
    EXPECT_EQ(from(Json(true), Json("fn")), std::nullopt);
    EXPECT_EQ(from(Json(true), Json(3)), std::nullopt);
    EXPECT_EQ(from(Json(true), Json::array({"leftOption"})), std::nullopt);
    // Only a real true enables: 1 and "true" do not.
    EXPECT_EQ(from(Json(1), Json("leftOption")), std::nullopt);
    EXPECT_EQ(from(Json("true"), Json("leftOption")), std::nullopt);
    // A JSON null is a setting that is not there.
    EXPECT_EQ(from(Json(nullptr), Json(nullptr)), MurmlarkTapKey::rightCommand);
}

TEST(DictationSource, Chips) {
    EXPECT_EQ(DictationSource::murmlark(MurmlarkTapKey::leftControl).chip(), "Control, twice");
    EXPECT_EQ(DictationSource::murmlark(MurmlarkTapKey::rightCommand).chip(),
              "Right Command, twice");
    EXPECT_EQ(kMurmlarkUnknown.chip(), "Murmlark dictation key");
    EXPECT_EQ(kMac.chip(), "Dictation");
    EXPECT_NE(kMac, kMurmlarkUnknown);
    EXPECT_NE(kMurmlarkUnknown, kMurmlarkOption);
}

}  // namespace
}  // namespace ovra
