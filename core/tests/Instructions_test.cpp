#include "core/Instructions.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

const DictationSource kMac = DictationSource::mac();
const DictationSource kMurmlarkUnknown = DictationSource::murmlark(std::nullopt);
const DictationSource kMurmlarkOption = DictationSource::murmlark(MurmlarkTapKey::rightOption);

TEST(OvraFeature, RawValuesRoundTripExactly) {
    for (const OvraFeature f : OvraFeature::allCases())
        EXPECT_EQ(OvraFeature::fromRawValue(f.rawValue()), f) << f.rawValue();
    EXPECT_EQ(OvraFeature::fromRawValue("Ovras"), std::nullopt);
    EXPECT_EQ(OvraFeature::fromRawValue("scrolling"), std::nullopt);
}

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
    EXPECT_EQ(say.steps("F13", DictationSource::murmlark(MurmlarkTapKey::leftCommand))[1],
              "Press Left Command twice and say the name, for example “continue”.");
    EXPECT_EQ(say.steps("F13", kMurmlarkUnknown)[1],
              "Press your Murmlark dictation key and say the name.");
}

TEST(OvraFeature, StepsTakeTheHotkeyWhereTheyNameIt) {
    EXPECT_EQ(OvraFeature(OvraFeature::sidebar).steps("F13", kMac)[0], "Open Ovra with F13.");
    // A hotkey label with a percent sign is data, never a format.
    EXPECT_EQ(OvraFeature(OvraFeature::veiled).steps("%@%d", kMac)[0], "Open Ovra with %@%d.");
    for (const OvraFeature f :
         {OvraFeature::find, OvraFeature::scroll, OvraFeature::why, OvraFeature::choices})
        EXPECT_EQ(f.steps("⌥Space", kMac), f.steps("F13", kMurmlarkOption)) << f.rawValue();
}

TEST(OvraFeature, ReadAloudSpellsTheWholeCard) {
    EXPECT_EQ(OvraFeature(OvraFeature::ovras).readAloud("⌥ Space", kMac),
              "Numbered ovras. The window dims and the things you came to do light up, each with "
              "a number. 1. Press Option Space in any app. 2. Press the number of what you want, "
              "or move to it with Tab or the arrows. 3. Press Return to use it, or Esc to close "
              "Ovra.");
    EXPECT_NE(OvraFeature(OvraFeature::veiled)
                  .readAloud("⌃⌥F", kMac)
                  .find(" 1. Open Ovra with Control Option F. 2. "),
              std::string::npos);
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
