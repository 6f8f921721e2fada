#include "core/Instructions.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

const DictationSource kDesktop = DictationSource::desktop();
const DictationSource kMurmlarkUnknown = DictationSource::murmlark(std::nullopt);
const DictationSource kMurmlarkOption = DictationSource::murmlark(MurmlarkTapKey::rightOption);

// The chips teach what the key map really does: a key whose effect drifted from its chip
// would teach the user something false.
TEST(TaughtKey, EveryChipDoesWhatTheKeyMapDoes) {
    for (const OvraFeature f : OvraFeature::allCases())
        for (const TaughtKey& k : f.keys()) {
            EXPECT_EQ(k.effect(), std::optional<OverlayEffect>(k.does))
                << f.rawValue() << " " << k.chip;
            EXPECT_FALSE(k.shift) << k.chip;
        }
    for (const auto& [k, word] : InstructionBasics::keys())
        EXPECT_EQ(k.effect(), std::optional<OverlayEffect>(k.does)) << word;
    // Page Down has no characters and still scrolls a page.
    const TaughtKey& pageDown = OvraFeature(OvraFeature::scroll).keys()[0];
    EXPECT_EQ(pageDown.characters, std::nullopt);
    EXPECT_EQ(pageDown.effect(), OverlayEffect::action(OverlayKeyAction::scroll(
                                     ScrollDirection::down, ScrollStep::page)));
}

TEST(OvraFeature, OnlySayLooksAtDictation) {
    for (const OvraFeature f : OvraFeature::allCases())
        if (f != OvraFeature::say) {
            EXPECT_EQ(f.sentence(kDesktop), f.sentence(kMurmlarkOption)) << f.rawValue();
        }
    const OvraFeature say = OvraFeature::say;
    EXPECT_EQ(say.sentence(kMurmlarkOption),
              "In Find, press Right Alt twice to start Murmlark, and say what you're looking "
              "for.");
    EXPECT_EQ(say.sentence(kMurmlarkUnknown),
              "In Find, press your Murmlark dictation key and say what you're looking for.");
    // No dictation of the desktop's own: typing, or a tool the user installed.
    EXPECT_EQ(say.sentence(kDesktop),
              "In Find, type what you're looking for, or say it with a dictation tool if you "
              "have one installed.");
    EXPECT_EQ(say.steps("F13", kDesktop)[1],
              "Type a few letters of the name, or start your dictation tool and say the name.");
    EXPECT_EQ(kDesktop.chip(), "Dictation tool");
    EXPECT_EQ(DictationSource::murmlark(MurmlarkTapKey::leftControl).chip(), "Ctrl, twice");
    EXPECT_EQ(say.steps("F13", DictationSource::murmlark(MurmlarkTapKey::leftCommand))[1],
              "Press Left Super twice and say the name, for example “continue”.");
    EXPECT_EQ(say.steps("F13", kMurmlarkUnknown)[1],
              "Press your Murmlark dictation key and say the name.");
}

TEST(OvraFeature, StepsTakeTheHotkeyWhereTheyNameIt) {
    EXPECT_EQ(OvraFeature(OvraFeature::sidebar).steps("F13", kDesktop)[0], "Open Ovra with F13.");
    // A hotkey label with a percent sign is data, never a format.
    EXPECT_EQ(OvraFeature(OvraFeature::veiled).steps("%@%d", kDesktop)[0], "Open Ovra with %@%d.");
    for (const OvraFeature f :
         {OvraFeature::find, OvraFeature::scroll, OvraFeature::why, OvraFeature::choices})
        EXPECT_EQ(f.steps("Alt Space", kDesktop), f.steps("F13", kMurmlarkOption)) << f.rawValue();
}

TEST(OvraFeature, ReadAloudSpellsTheWholeCard) {
    EXPECT_EQ(OvraFeature(OvraFeature::ovras).readAloud("Ctrl Alt  Space", kDesktop),
              "Numbered ovras. The window dims and the things you came to do light up, each with "
              "a number. 1. Press Control Alt Space in any app. 2. Press the number of what you "
              "want, or move to it with Tab or the arrows. 3. Press Return to use it, or Escape "
              "to close Ovra.");
    // Chips: a combination, a range; words that only contain a key name stay as they are.
    EXPECT_EQ(SpokenKeys::spell("Ctrl+F, 1-9, Pop-ups, Escape, Ctrlx, Esc."),
              "Control F, 1 to 9, Pop-ups, Escape, Ctrlx, Escape.");
}

TEST(MurmlarkTapKey, FromTheSiblingAppsSettings) {
    struct Case {
        std::optional<Json> enabled, key;
        std::optional<MurmlarkTapKey> expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, MurmlarkTapKey::rightCommand},
        {Json(false), Json("leftOption"), std::nullopt},
        {Json(true), Json("leftOption"), MurmlarkTapKey::leftOption},
        {std::nullopt, Json("rightControl"), MurmlarkTapKey::rightControl},
        {Json(true), Json("LeftOption"), std::nullopt},
        {Json(true), Json(3), std::nullopt},
        {Json(true), Json::array({"leftOption"}), std::nullopt},
        // Only a real true enables: 1 and "true" do not.
        {Json(1), Json("leftOption"), std::nullopt},
        {Json("true"), Json("leftOption"), std::nullopt},
        // A JSON null is a setting that is not there.
        {Json(nullptr), Json(nullptr), MurmlarkTapKey::rightCommand},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.enabled ? c.enabled->dump() : "none") + " " +
                     (c.key ? c.key->dump() : "none"));
        EXPECT_EQ(MurmlarkTapKey::fromMurmlarkPreferences(c.enabled, c.key), c.expected);
    }
}

}  // namespace
}  // namespace ovra
