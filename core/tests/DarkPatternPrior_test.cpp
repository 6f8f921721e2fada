#include "core/DarkPatternPrior.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace ovra {
namespace {

using C = FocusCategory;

Prior prior(C category, double weight, std::string reason, bool force = false,
            std::optional<std::string> plain = std::nullopt) {
    return Prior{category, weight, std::move(reason), force, std::move(plain)};
}

// The opinion of each row of the rule table and of the steps around it.
const Prior kPressuring =
    prior(C::dismissalOrExit, 0.85, "Pressuring wording", true, "Decline offer");
const Prior kLegal = prior(C::legalOrPassive, 0.7, "Legal");
const Prior kCookieDecline = prior(C::essentialFormAction, 0.8, "Cookie choice: decline", true);
const Prior kCookieAccept = prior(C::essentialFormAction, 0.8, "Cookie choice: accept", true);
const Prior kCookieSettings = prior(C::legalOrPassive, 0.7, "Cookie settings");
const Prior kCookieNotice = prior(C::legalOrPassive, 0.6, "Cookie notice");
const Prior kAdvert = prior(C::distractionOrUpsell, 0.75, "Advert");
const Prior kSurvey = prior(C::distractionOrUpsell, 0.7, "Survey");
const Prior kExit = prior(C::dismissalOrExit, 0.65, "Exit");
const Prior kPrimary = prior(C::essentialFormAction, 0.6, "Primary action");
const Prior kWindowClose = prior(C::dismissalOrExit, 0.9, "Window close");
const Prior kWindowControls = prior(C::legalOrPassive, 0.9, "Window controls");
const Prior kMarketing = prior(C::legalOrPassive, 0.7, "Marketing opt-in");
const Prior kPreTicked = prior(C::essentialFormAction, 0.8, "Pre-ticked: marketing opt-in", true);
const Prior kFormInput = prior(C::essentialFormAction, 0.5, "Form input");

struct Case {
    std::string role;
    std::string title;
    std::optional<Prior> expected;
    std::optional<std::string> subrole = std::nullopt;
    std::string value = "";
    std::string description = "";
};

UICandidate candidate(const Case& c) {
    return UICandidate{.id = "c1",
                       .role = c.role,
                       .subrole = c.subrole,
                       .title = c.title,
                       .description = c.description,
                       .value = c.value,
                       .order = 1};
}

void expectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.role + " \"" + c.title + "\" / \"" + c.description + "\"");
        const auto got = DarkPatternPrior::evaluate(candidate(c));
        if (c.expected) {
            ASSERT_TRUE(got.has_value());
            EXPECT_EQ(*got, *c.expected);
        } else {
            EXPECT_FALSE(got.has_value()) << *got;
        }
    }
}

TEST(DarkPatternPrior, WindowButtonsAreKnownBySubroleWhateverTheirLabel) {
    expectAll({
        {"AXButton", "", kWindowClose, "AXCloseButton"},
        {"AXButton", "Sponsored", kWindowClose, "AXCloseButton"},
        {"AXButton", "", kWindowControls, "AXZoomButton"},
        {"AXButton", "Upgrade", kWindowControls, "AXMinimizeButton"},
        {"AXButton", "", kWindowControls, "AXFullScreenButton"},
        // Any other subrole goes on to the wording.
        {"AXButton", "Cancel", kExit, "AXSortButton"},
    });
}

TEST(DarkPatternPrior, EachRowOfTheRuleTable) {
    expectAll({
        // 1: pressuring decline wording ("confirmshaming")
        {"AXButton", "No thanks, I'd rather pay full price", kPressuring},
        {"AXButton", "No thanks, I\u2019d rather pay full price", kPressuring},
        {"AXLink", "I don't want to save money", kPressuring},
        {"AXButton", "No, thank you. I hate free stuff", kPressuring},
        {"AXButton", "I'll pay full price", kPressuring},
        // 2 comes before the broader cookie notice of 6
        {"AXLink", "Cookie policy", kLegal},
        {"AXLink", "Read our cookie statement", kLegal},
        // 3
        {"AXButton", "Reject all", kCookieDecline},
        {"AXButton", "Decline", kCookieDecline},
        {"AXButton", "Only necessary cookies", kCookieDecline},
        {"AXButton", "Essential cookies only", kCookieDecline},
        {"AXButton", "Rechazar todas", kCookieDecline},
        {"AXButton", "Tout refuser", kCookieDecline},
        {"AXButton", "Alle ablehnen", kCookieDecline},
        {"AXButton", "Continuer sans accepter", kCookieDecline},
        // 4
        {"AXButton", "Accept all cookies", kCookieAccept},
        {"AXButton", "Allow cookies", kCookieAccept},
        {"AXButton", "Accept and continue", kCookieAccept},
        {"AXButton", "J'accepte", kCookieAccept},
        {"AXButton", "Alle akzeptieren", kCookieAccept},
        {"AXButton", "Accepter et fermer", kCookieAccept},
        // 5
        {"AXButton", "Manage preferences", kCookieSettings},
        {"AXButton", "Cookie settings", kCookieSettings},
        {"AXButton", "Customise cookies", kCookieSettings},
        {"AXButton", "Preference centre", kCookieSettings},
        {"AXButton", "Paramétrer", kCookieSettings},
        {"AXButton", "Einstellungen", kCookieSettings},
        // 6
        {"AXStaticText", "We use cookies to improve your experience", kCookieNotice},
        {"AXButton", "Consent", kCookieNotice},
        // 7
        {"AXLink", "Sponsored", kAdvert},
        {"AXButton", "Upgrade to Pro", kAdvert},
        {"AXButton", "Get 50% off today", kAdvert},
        {"AXButton", "Start your free trial", kAdvert},
        {"AXMenuButton", "Download our app", kAdvert},
        {"AXPopUpButton", "Limited-time deals", kAdvert},
        // 8
        {"AXButton", "Take our survey", kSurvey},
        {"AXLink", "Rate this app", kSurvey},
        {"AXButton", "Give us feedback", kSurvey},
        {"AXButton", "How did we do?", kSurvey},
        // 9
        {"AXLink", "Terms of use", kLegal},
        {"AXLink", "Privacy", kLegal},
        {"AXStaticText", "© 2024 Example Inc.", kLegal},
        {"AXLink", "About us", kLegal},
        {"AXLink", "Do not sell my information", kLegal},
        // 10: whole-text ways out; normalisation strips the final full stop first
        {"AXButton", "Cancel", kExit},
        {"AXButton", "No thanks", kExit},
        {"AXButton", "Maybe later.", kExit},
        {"AXButton", "NOT NOW", kExit},
        {"AXButton", "Don\u2019t Save", kExit},
        {"AXButton", "×", kExit},
        {"AXButton", "✕", kExit},
        {"AXButton", "x", kExit},
        // 11: starts with the form's action
        {"AXButton", "Continue", kPrimary},
        {"AXButton", "Sign in", kPrimary},
        {"AXButton", "Login", kPrimary},
        {"AXButton", "Place your order", kPrimary},
        {"AXButton", "Add to basket", kPrimary},
        {"AXButton", "Next:", kPrimary},
    });
}

TEST(DarkPatternPrior, TextThatOnlyContainsAWayOutIsNotAnExit) {
    expectAll({
        {"AXButton", "Cancel subscription plan", std::nullopt},
        {"AXButton", "Closed captions", std::nullopt},
        {"AXButton", "Xylophone", std::nullopt},
        {"AXButton", "Nextdoor", std::nullopt},  // no boundary after "next"
        {"AXButton", "Hello world", std::nullopt},
    });
}

TEST(DarkPatternPrior, AdvertRowIsLimitedToPressableRolesAndEightWords) {
    expectAll({
        {"AXStaticText", "Sponsored", std::nullopt},
        {"AXGroup", "Sponsored", std::nullopt},
        {"AXButton", "Upgrade to premium today and save on every", kAdvert},             // 8 words
        {"AXButton", "Upgrade to premium today and save on every order", std::nullopt},  // 9
        // Past the limit the later rows still apply.
        {"AXButton", "Upgrade now and tell us in a short survey", kSurvey},
        {"AXLink", "Sponsored partners and their privacy policies on this site", kLegal},
    });
}

TEST(DarkPatternPrior, RulesComeBeforeTheTextInputFallback) {
    expectAll({
        {"AXTextField", "Search", kPrimary},
        {"AXTextField", "", kFormInput},
        {"AXTextArea", "Your message", kFormInput},
        {"AXComboBox", "  ", kFormInput},
        {"AXTextField", "", kFormInput, "AXSecureTextField"},
        {"AXSearchField", "Find in page", kFormInput, "AXSearchField"},
        // Not a text input: no fallback.
        {"AXSearchField", "Find in page", std::nullopt},
        {"AXButton", "", std::nullopt},
    });
}

TEST(DarkPatternPrior, MarketingCheckBoxes) {
    expectAll({
        {"AXCheckBox", "Send me the newsletter", kMarketing},
        {"AXCheckBox", "Send me the newsletter", kPreTicked, std::nullopt, "checked"},
        {"AXCheckBox", "Partner offers", kMarketing, std::nullopt, "unchecked"},
        // The label falls back to the description.
        {"AXCheckBox", "   ", kPreTicked, std::nullopt, "checked", "Email me product updates"},
        // No marketing wording: on to the rule table.
        {"AXCheckBox", "I accept the terms", kLegal, std::nullopt, "checked"},
        {"AXCheckBox", "Remember me", std::nullopt, std::nullopt, "checked"},
        {"AXCheckBox", "", std::nullopt, std::nullopt, "checked"},
        // The marketing words only count on check boxes.
        {"AXButton", "Marketing", std::nullopt},
    });
}

TEST(DarkPatternPrior, UntrustedLabelsNeverBreakTheRules) {
    const std::string huge(100000, 'a');
    expectAll({
        {"AXButton", "Cancel\xff", std::nullopt},
        {"AXButton", std::string("Can\0cel", 7), std::nullopt},
        {"AXButton", huge, std::nullopt},
        {"AXButton", huge + " cookie", kCookieNotice},
        {"", "Cancel", kExit},
    });
}

TEST(DarkPatternPrior, NormalizedGivesOneKeyForSpacingCaseAndTrailingPunctuation) {
    using DarkPatternPrior::normalized;
    EXPECT_EQ(normalized("Next:"), "next");
    EXPECT_EQ(normalized("NEXT \u2026"), "next");
    EXPECT_EQ(normalized("next"), "next");
    EXPECT_EQ(normalized("  Sign  \t in\nnow  "), "sign in now");
    EXPECT_EQ(normalized("Don\u2019t Save"), "don't save");
    EXPECT_EQ(normalized("Read more..."), "read more");
    EXPECT_EQ(normalized(": . \u2026 "), "");
    EXPECT_EQ(normalized(""), "");
    // Only the ends are trimmed, and only of those four characters.
    EXPECT_EQ(normalized("v1.2: notes!"), "v1.2: notes!");
    EXPECT_EQ(normalized("\u00A0Save\u2028"), "save");
    EXPECT_EQ(normalized("ÉCOLE"), "école");
}

TEST(DarkPatternPrior, RuleMatchesChecksRoleWordLimitAndPattern) {
    const DarkPatternPrior::Rule noRoles{kExit, Regex("^cancel$"),
                                         std::unordered_set<std::string>{}, std::nullopt};
    EXPECT_FALSE(noRoles.matches("cancel", "AXButton"));
    EXPECT_FALSE(noRoles.matches("cancel", ""));

    const DarkPatternPrior::Rule anyRole{kExit, Regex("cancel"), std::nullopt, 2};
    EXPECT_TRUE(anyRole.matches("cancel", "AXWhatever"));
    EXPECT_TRUE(anyRole.matches("cancel it", "AXButton"));
    EXPECT_FALSE(anyRole.matches("cancel it now", "AXButton"));
    EXPECT_FALSE(anyRole.matches("close", "AXButton"));

    const auto& rows = DarkPatternPrior::rules();
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_TRUE(rows[6].matches("sponsored", "AXLink"));
    EXPECT_FALSE(rows[6].matches("sponsored", "AXStaticText"));
}

TEST(DarkPatternPrior, WordCountSplitsAtWhiteSpaceOnly) {
    EXPECT_EQ(DarkPatternPrior::wordCount(""), 0u);
    EXPECT_EQ(DarkPatternPrior::wordCount("  one  two\tthree "), 3u);
    EXPECT_EQ(DarkPatternPrior::wordCount("a\u00A0b"), 2u);
    EXPECT_EQ(DarkPatternPrior::wordCount("no-thanks,later"), 1u);
}

// The rules are screened by cheap word tests before their expressions run; the outcome must be
// exactly what trying every row's expression in order gives.
TEST(DarkPatternPrior, ScreeningNeverChangesTheOutcome) {
    std::vector<std::string> pieces;
    std::string_view vocabulary =
        "no thanks|No, thank you.|i don't want|I'd rather pay|i hate|i prefer not|"
        "I’ll pay full price|cookie policy|cookie notice|cookies|consent|reject all|decline|"
        "refuse cookies|deny all|strictly necessary|essential cookies only|rechazar todas|"
        "no acepto|continuar sin aceptar|solo las esenciales|tout refuser|rifiuto|"
        "solo i necessari|alle ablehnen|ohne zustimmung|nur notwendige|weigeren|recusar|"
        "accept all|allow cookies|accept and close|j'accepte|accetta e chiudi|alle akzeptieren|"
        "aceitar|zustimmen|manage choices|cookie settings|customize cookies|"
        "configure your consents|preference center|configurar las cookies|paramétrer|"
        "personnaliser|gestisci le opzioni|einstellungen|voorkeuren|upgrade|go premium|20% off|"
        "15 % off|free trial|limited-time|special offer|sponsored|advertisement|ad|promoted|"
        "get the app|download our app|unlock|newsletter|subscribe|deals|survey|rate this app|"
        "leave a review|send us feedback|how are we do|how did we do|terms|privacy|©|copyright|"
        "all rights reserved|legal|imprint|impressum|accessibility statement|sitemap|"
        "do not sell|careers|about us|cancel|close|dismiss|go back|exit|quit|skip|not now|"
        "maybe later|remind me later|never|don't save|discard|×|✕|x|continue|next|submit|ok|"
        "okay|log in|login|sign up|register|place your order|checkout|check out|proceed|search|"
        "get started|add to bag|buy now|verify|yes|go|the|and|your|order|shoes|read more|about|"
        "ADD|now|...|:|…|!|,|2026|é|ß|\t|\n";
    for (std::size_t bar; (bar = vocabulary.find('|')) != std::string_view::npos;) {
        pieces.emplace_back(vocabulary.substr(0, bar));
        vocabulary.remove_prefix(bar + 1);
    }
    pieces.emplace_back(vocabulary);
    // Characters that case-fold to plain letters, to catch a screen that compares without
    // folding: long s, Kelvin sign, the "ff" ligature, capitals.
    const auto disguise = [](std::string s, std::mt19937& rng) {
        const auto swap = [&s](const std::string& from, const std::string& to) {
            if (const auto at = s.find(from); at != std::string::npos)
                s.replace(at, from.size(), to);
        };
        switch (rng() % 6) {
            case 0:
                swap("s", "ſ");
                break;
            case 1:
                swap("k", "K");
                break;
            case 2:
                swap("ff", "ﬀ");
                break;
            case 3:
                for (char& c : s)
                    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
                break;
            default:
                break;
        }
        return s;
    };

    std::mt19937 rng(20260);
    int matched = 0;
    for (int i = 0; i < 4000; ++i) {
        std::string label;
        const auto count = 1 + rng() % 4;
        for (unsigned j = 0; j < count; ++j) {
            if (j > 0)
                label += (rng() % 4 == 0) ? ", " : " ";
            label += disguise(pieces[rng() % pieces.size()], rng);
        }
        for (const char* role : {"AXButton", "AXStaticText"}) {
            SCOPED_TRACE(std::string(role) + " \"" + label + "\"");
            std::optional<Prior> expected;
            const std::string text = DarkPatternPrior::normalized(label);
            if (!text.empty()) {
                for (const auto& rule : DarkPatternPrior::rules()) {
                    if (rule.matches(text, role)) {
                        expected = rule.prior;
                        break;
                    }
                }
            }
            const auto got =
                DarkPatternPrior::evaluate(UICandidate{.id = "c1", .role = role, .title = label});
            ASSERT_EQ(got, expected);
            matched += got.has_value() ? 1 : 0;
        }
    }
    // The corpus exercises the rules, not just the misses.
    EXPECT_GT(matched, 2000);
}

// Labels whose letters only fold to the rules' words, or look like them and do not: the
// screens and the fast paths for plain ASCII must agree with ICU's case-insensitive matching.
std::string trickyLabel(std::mt19937& rng) {
    static const std::vector<std::string> words = {"reject all",
                                                   "accept cookies",
                                                   "cookie policy",
                                                   "close",
                                                   "cancel",
                                                   "skip",
                                                   "subscribe",
                                                   "marketing",
                                                   "partner offers",
                                                   "updates",
                                                   "promotional",
                                                   "newsletter",
                                                   "sponsored",
                                                   "premium",
                                                   "privacy",
                                                   "sign in",
                                                   "continue",
                                                   "don't save",
                                                   "no thanks",
                                                   "i don't want",
                                                   "einstellungen",
                                                   "ad",
                                                   "×",
                                                   "✕",
                                                   "©",
                                                   "x",
                                                   "go",
                                                   "terms",
                                                   "ok",
                                                   "survey",
                                                   "consent",
                                                   "deals"};
    // Each swap gives a text that folds, or lower-cases, differently from its look.
    static const std::vector<std::pair<std::string, std::string>> swaps = {
        {"s", "ſ"},                            // long s folds to s
        {"k", "\u212A"},                       // Kelvin sign folds to k
        {"ff", "ﬀ"},                           // ligatures fold to their letters
        {"fi", "ﬁ"},         {"i", "İ"},       // dotted capital I folds to i and a combining dot
        {"i", "ı"},                            // dotless i folds to itself
        {"ss", "ß"},                           // sharp s folds to ss
        {"ss", "ẞ"},         {"o", "ｏ"},      // fullwidth letters fold to fullwidth letters
        {"c", "Ｃ"},         {"'", "\u2019"},  // the typographic apostrophe
        {" ", "\u00A0"},                       // other kinds of white space
        {" ", "\u2028"},     {" ", "\t\n"},   {"e", "e\u0301"},  // a combining accent
        {"a", "\xff"},                                           // invalid UTF-8
        {"o", "\U0001F600"},                                     // outside the basic plane
        {"s", "\u03A3"},  // capital sigma lower-cases by context
    };
    std::string label;
    const auto count = 1 + rng() % 3;
    for (unsigned j = 0; j < count; ++j) {
        if (j > 0)
            label += rng() % 3 == 0 ? " \u2026 " : " ";
        std::string word = words[rng() % words.size()];
        for (auto tries = rng() % 3; tries > 0; --tries) {
            const auto& [from, to] = swaps[rng() % swaps.size()];
            if (const auto at = word.find(from); at != std::string::npos)
                word.replace(at, from.size(), to);
        }
        if (rng() % 4 == 0) {
            for (char& c : word)
                c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        label += word;
    }
    return label;
}

TEST(DarkPatternPrior, ScreeningAgreesWithTheExpressionsOnTrickyText) {
    std::mt19937 rng(71);
    int matched = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string label = trickyLabel(rng);
        for (const char* role : {"AXButton", "AXCheckBox"}) {
            SCOPED_TRACE(std::string(role) + " \"" + label + "\"");
            const UICandidate c{.id = "c1", .role = role, .title = label};
            std::optional<Prior> expected;
            const std::string text = DarkPatternPrior::normalized(label);
            if (std::string_view(role) == "AXCheckBox" && !text.empty() &&
                DarkPatternPrior::marketingRegex().search(text)) {
                expected = kMarketing;
            } else if (!text.empty()) {
                for (const auto& rule : DarkPatternPrior::rules()) {
                    if (rule.matches(text, role)) {
                        expected = rule.prior;
                        break;
                    }
                }
            }
            ASSERT_EQ(DarkPatternPrior::evaluate(c), expected);
            matched += expected.has_value() ? 1 : 0;
        }
    }
    // The corpus exercises the rules, not just the misses.
    EXPECT_GT(matched, 3000);
}

// Plain ASCII is normalised without ICU; a trailing no-break space sends the same text
// through ICU, and white space at the end never counts.
TEST(DarkPatternPrior, PlainAsciiNormalizesAsThroughIcu) {
    std::mt19937 rng(5);
    const std::string alphabet = "aZ .:\t\n\r\v\f'-x0\x1f";
    for (int i = 0; i < 2000; ++i) {
        std::string label;
        for (auto n = rng() % 12; n > 0; --n)
            label += alphabet[rng() % alphabet.size()];
        SCOPED_TRACE("\"" + label + "\"");
        ASSERT_EQ(DarkPatternPrior::normalized(label),
                  DarkPatternPrior::normalized(label + "\u00A0"));
    }
}

TEST(ProtectedText, WarningsPricesAndActionsThatNameThemselves) {
    EXPECT_TRUE(ProtectedText::isWarning("Invalid email address"));
    EXPECT_TRUE(ProtectedText::isWarning("Payment FAILED, try again"));
    EXPECT_FALSE(ProtectedText::isWarning("Errors and omissions excepted"));

    EXPECT_TRUE(ProtectedText::hasPrice("$9.99 per month"));
    EXPECT_TRUE(ProtectedText::hasPrice("Now € 5"));
    EXPECT_TRUE(ProtectedText::hasPrice("Only 20 EUR"));
    EXPECT_FALSE(ProtectedText::hasPrice("Save 20%"));
    EXPECT_FALSE(ProtectedText::hasPrice("20 euros"));

    EXPECT_TRUE(ProtectedText::isMarketingOnAction("Download the report"));
    EXPECT_TRUE(ProtectedText::isMarketingOnAction("Get started"));
    EXPECT_FALSE(ProtectedText::isMarketingOnAction("Download (sponsored)"));
    EXPECT_FALSE(ProtectedText::isMarketingOnAction("Join now, paid partnership"));
    EXPECT_FALSE(ProtectedText::isMarketingOnAction("Read more"));
    // Tested on the text as given: a leading space defeats the "^" anchor.
    EXPECT_FALSE(ProtectedText::isMarketingOnAction(" Download"));
}

TEST(PopupWords, CloseWording) {
    EXPECT_TRUE(PopupWords::isClose("Close dialog"));
    EXPECT_TRUE(PopupWords::isClose("x"));
    EXPECT_TRUE(PopupWords::isClose("X"));
    EXPECT_TRUE(PopupWords::isClose("Schließen"));
    // A lone close symbol counts, as does one followed by more text.
    EXPECT_TRUE(PopupWords::isClose("×"));
    EXPECT_TRUE(PopupWords::isClose("✕"));
    EXPECT_TRUE(PopupWords::isClose("× close"));
    EXPECT_FALSE(PopupWords::isClose("Please close later"));
    EXPECT_FALSE(PopupWords::isClose("closed"));
    EXPECT_FALSE(PopupWords::isClose("xylophone"));
    EXPECT_FALSE(PopupWords::isClose("×2"));
    EXPECT_FALSE(PopupWords::isClose(" close"));  // not trimmed
    EXPECT_FALSE(PopupWords::isClose(""));
}

TEST(PopupWords, PopupNamesAndDeclines) {
    EXPECT_TRUE(PopupWords::namesPopup("Close this pop-up"));
    EXPECT_TRUE(PopupWords::namesPopup("Dismiss cookie banner"));
    EXPECT_TRUE(PopupWords::namesPopup("Fermer la fenêtre"));
    EXPECT_FALSE(PopupWords::namesPopup("Close"));
    EXPECT_FALSE(PopupWords::namesPopup("Open dialog"));

    EXPECT_TRUE(PopupWords::declinesOffer("  No, thanks!\n"));
    EXPECT_TRUE(PopupWords::declinesOffer("Maybe later."));
    EXPECT_TRUE(PopupWords::declinesOffer("Nein, danke"));
    EXPECT_TRUE(PopupWords::declinesOffer("Não, obrigada"));
    EXPECT_FALSE(PopupWords::declinesOffer("No thanks, I'd rather pay"));
    EXPECT_FALSE(PopupWords::declinesOffer("Not now!!"));
}

// Text that folds to the close or decline words counts; text that only looks like them does
// not, whatever cheap test comes first.
TEST(PopupWords, CaseFoldingDecidesTrickyWording) {
    EXPECT_TRUE(PopupWords::namesPopup("CLO\u017FE this dialog"));
    EXPECT_TRUE(PopupWords::namesPopup("\u212Aeep calm, close the dialog"));
    EXPECT_TRUE(PopupWords::namesPopup("SCHLIE\u1E9EEN Fenster"));
    EXPECT_TRUE(PopupWords::namesPopup("\u00A0Schlie\u00DFen Fenster"));
    EXPECT_FALSE(PopupWords::namesPopup("\uFF23\uFF2C\uFF2F\uFF33\uFF25 this dialog"));
    EXPECT_FALSE(PopupWords::namesPopup("D\u0130SM\u0130SS this banner"));
    EXPECT_FALSE(PopupWords::namesPopup("d\u0131sm\u0131ss this banner"));

    EXPECT_TRUE(PopupWords::declinesOffer("NO THANKS"));
    EXPECT_TRUE(PopupWords::declinesOffer("\u00A0\u2028No thanks"));
    EXPECT_TRUE(PopupWords::declinesOffer("MAYBE LATER"));
    EXPECT_FALSE(PopupWords::declinesOffer("\uFF2E\uFF2F thanks"));
    EXPECT_FALSE(PopupWords::declinesOffer("N\u1D0F thanks"));
    EXPECT_FALSE(PopupWords::declinesOffer("\xff No thanks"));
}

}  // namespace
}  // namespace ovra

namespace ovra {
namespace {

// The planner tests pop-up wording with the screening of the normalized label: it must agree
// with the test on the label itself, whatever the case, folding, spacing and punctuation.
TEST(PopupWords, ScreeningTheNormalizedLabelAgreesWithTheLabel) {
    const std::vector<std::string> closes = {
        "Close",        "DISMISS",      "cerrar",     "Cierra", "fermer",     "chiudi",
        "Schließen",    "SCHLIESSEN",   "sluiten",    "fechar", "clo\u017Fe", "\u212Aeep",
        "D\u0130SMISS", "d\u0131smiss", "\uFF23LOSE", "open"};
    const std::vector<std::string> fillers = {" ", " this ", "\u00A0the\u2028", "\t", "-", " … "};
    const std::vector<std::string> nouns = {"pop-up",  "Popup",   "dialog", "BANNER", "ventana",
                                            "fenêtre", "cookies", "notice", "window", "nothing"};
    const std::vector<std::string> edges = {"", " ", ".", ":", "…", "\xff", "\u2019"};
    std::mt19937 rng(404);
    int named = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string label = edges[rng() % edges.size()] + closes[rng() % closes.size()] +
                                  fillers[rng() % fillers.size()] + nouns[rng() % nouns.size()] +
                                  edges[rng() % edges.size()];
        SCOPED_TRACE("\"" + label + "\"");
        const bool expected = PopupWords::namesPopup(label);
        ASSERT_EQ(PopupWords::namesPopup(
                      label, DarkPatternPrior::screen(DarkPatternPrior::normalized(label))),
                  expected);
        named += expected ? 1 : 0;
    }
    EXPECT_GT(named, 1000);
}

}  // namespace
}  // namespace ovra
