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

void expectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.role + " \"" + c.title + "\" / \"" + c.description + "\"");
        const auto got = DarkPatternPrior::evaluate(UICandidate{.id = "c1",
                                                                .role = c.role,
                                                                .subrole = c.subrole,
                                                                .title = c.title,
                                                                .description = c.description,
                                                                .value = c.value,
                                                                .order = 1});
        EXPECT_EQ(got, c.expected);
    }
}

TEST(DarkPatternPrior, EachRowOfTheRuleTableInOrder) {
    expectAll({
        // Window buttons go by subrole whatever their label; any other subrole by wording.
        {"AXButton", "Sponsored", kWindowClose, "AXCloseButton"},
        {"AXButton", "Upgrade", kWindowControls, "AXMinimizeButton"},
        {"AXButton", "Cancel", kExit, "AXSortButton"},
        // Pressuring decline wording ("confirmshaming"), with either apostrophe.
        {"AXButton", "No thanks, I\u2019d rather pay full price", kPressuring},
        {"AXLink", "I don't want to save money", kPressuring},
        // The cookie policy comes before the broader cookie notice.
        {"AXLink", "Read our cookie statement", kLegal},
        {"AXButton", "Reject all", kCookieDecline},
        {"AXButton", "Continuer sans accepter", kCookieDecline},
        {"AXButton", "Accept and continue", kCookieAccept},
        {"AXButton", "J'accepte", kCookieAccept},
        {"AXButton", "Manage preferences", kCookieSettings},
        {"AXButton", "Paramétrer", kCookieSettings},
        {"AXStaticText", "We use cookies to improve your experience", kCookieNotice},
        {"AXLink", "Sponsored", kAdvert},
        {"AXPopUpButton", "Limited-time deals", kAdvert},
        {"AXButton", "How did we do?", kSurvey},
        {"AXStaticText", "© 2024 Example Inc.", kLegal},
        {"AXLink", "Do not sell my information", kLegal},
        // Whole-text ways out, after the final full stop is stripped.
        {"AXButton", "Maybe later.", kExit},
        {"AXButton", "Don\u2019t Save", kExit},
        {"AXButton", "✕", kExit},
        {"AXButton", "x", kExit},
        // Starts with the form's action.
        {"AXButton", "Place your order", kPrimary},
        {"AXButton", "Next:", kPrimary},
        // Only containing a way out is not one.
        {"AXButton", "Cancel subscription plan", std::nullopt},
        {"AXButton", "Xylophone", std::nullopt},
        {"AXButton", "Nextdoor", std::nullopt},
        // The advert row needs a pressable role and at most eight words; later rows still apply.
        {"AXStaticText", "Sponsored", std::nullopt},
        {"AXButton", "Upgrade to premium today and save on every", kAdvert},
        {"AXButton", "Upgrade to premium today and save on every order", std::nullopt},
        {"AXButton", "Upgrade now and tell us in a short survey", kSurvey},
        // Text inputs fall back to a form input only when no rule applies.
        {"AXTextField", "Search", kPrimary},
        {"AXComboBox", "  ", kFormInput},
        {"AXTextField", "", kFormInput, "AXSecureTextField"},
        {"AXSearchField", "Find in page", kFormInput, "AXSearchField"},
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
    const std::pair<const char*, const char*> cases[] = {
        {"NEXT \u2026", "next"},
        {"  Sign  \t in\nnow  ", "sign in now"},
        {"Read more...", "read more"},
        {": . \u2026 ", ""},
        // Only the ends are trimmed, and only of white space and those three marks.
        {"v1.2: notes!", "v1.2: notes!"},
        {"\u00A0Save\u2028", "save"},
        {"Don\u2019t Save", "don't save"},
        {"ÉCOLE", "école"}};
    for (const auto& [text, key] : cases)
        EXPECT_EQ(DarkPatternPrior::normalized(text), key) << text;
}

// What trying every row's expression in order gives, without the cheap word screens.
std::optional<Prior> byExpressions(const std::string& label, std::string_view role) {
    const std::string text = DarkPatternPrior::normalized(label);
    if (text.empty())
        return std::nullopt;
    if (role == "AXCheckBox" && DarkPatternPrior::marketingRegex().search(text))
        return kMarketing;
    for (const auto& rule : DarkPatternPrior::rules())
        if (rule.matches(text, role))
            return rule.prior;
    return std::nullopt;
}

// Labels made of the rules' words, some disguised by letters that only fold to them or only
// look like them: the screens and the plain-ASCII fast paths must agree with ICU's matching.
std::string trickyLabel(std::mt19937& rng) {
    static const std::vector<std::string> words = [] {
        std::string_view list =
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
            "marketing|partner offers|updates|promotional|premium|ADD|now|...|:|…|!|,|2026|é|ß";
        std::vector<std::string> out;
        for (std::size_t bar; (bar = list.find('|')) != std::string_view::npos;) {
            out.emplace_back(list.substr(0, bar));
            list.remove_prefix(bar + 1);
        }
        out.emplace_back(list);
        return out;
    }();
    static const std::vector<std::pair<std::string, std::string>> swaps = {
        {"s", "ſ"},      {"k", "\u212A"},  // long s and the Kelvin sign fold to s and k
        {"ff", "ﬀ"},     {"fi", "ﬁ"},      // ligatures fold to their letters
        {"i", "İ"},      {"i", "ı"},   // dotted capital I folds to i and a dot; dotless i to itself
        {"ss", "ß"},     {"ss", "ẞ"},  // sharp s folds to ss
        {"o", "ｏ"},     {"c", "Ｃ"},  // fullwidth letters fold to fullwidth letters
        {"'", "\u2019"}, {" ", "\u00A0"},     {" ", "\u2028"}, {" ", "\t\n"}, {"e", "e\u0301"},
        {"a", "\xff"},   {"o", "\U0001F600"}, {"s", "\u03A3"},  // capital sigma lower-cases by
                                                                // context
    };
    std::string label;
    for (auto count = 1 + rng() % 4; count > 0; --count) {
        if (!label.empty())
            label += rng() % 3 == 0 ? (rng() % 2 ? ", " : " \u2026 ") : " ";
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

TEST(DarkPatternPrior, ScreeningNeverChangesTheOutcome) {
    std::mt19937 rng(71);
    int matched = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string label = trickyLabel(rng);
        for (const char* role : {"AXButton", "AXStaticText", "AXCheckBox"}) {
            SCOPED_TRACE(std::string(role) + " \"" + label + "\"");
            const auto expected = byExpressions(label, role);
            ASSERT_EQ(
                DarkPatternPrior::evaluate(UICandidate{.id = "c1", .role = role, .title = label}),
                expected);
            matched += expected.has_value() ? 1 : 0;
        }
    }
    EXPECT_GT(matched, 6000);  // the corpus exercises the rules, not just the misses
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
        ASSERT_EQ(DarkPatternPrior::normalized(label),
                  DarkPatternPrior::normalized(label + "\u00A0"))
            << "\"" << label << "\"";
    }
}

// Each test takes the untrusted label as given. Text that folds to the close or decline words
// counts; text that only looks like them does not, whatever cheap test comes first.
TEST(ProtectedTextAndPopupWords, WordingOfTheUntrustedLabel) {
    struct Wording {
        bool (*test)(std::string_view);
        std::vector<std::string> yes, no;
    };
    const Wording cases[] = {
        {ProtectedText::isWarning,
         {"Payment FAILED, try again"},
         {"Errors and omissions excepted"}},
        {ProtectedText::hasPrice, {"Now € 5", "Only 20 EUR"}, {"Save 20%", "20 euros"}},
        {ProtectedText::isMarketingOnAction,
         {"Download the report"},
         {"Download (sponsored)", "Join now, paid partnership", " Download"}},
        {PopupWords::isClose,
         {"Schließen", "X", "× close"},
         {"Please close later", "closed", "×2", " close"}},
        {[](std::string_view t) { return PopupWords::namesPopup(t); },
         {"Dismiss cookie banner", "Fermer la fenêtre", "CLO\u017FE this dialog",
          "\u212Aeep calm, close the dialog", "SCHLIE\u1E9EEN Fenster"},
         {"Close", "\uFF23\uFF2C\uFF2F\uFF33\uFF25 this dialog", "D\u0130SM\u0130SS this banner",
          "d\u0131sm\u0131ss this banner"}},
        {PopupWords::declinesOffer,
         {"  No, thanks!\n", "Não, obrigada", "\u00A0\u2028No thanks"},
         {"No thanks, I'd rather pay", "Not now!!", "\uFF2E\uFF2F thanks", "N\u1D0F thanks",
          "\xff No thanks"}},
    };
    for (const Wording& c : cases) {
        for (const std::string& text : c.yes)
            EXPECT_TRUE(c.test(text)) << text;
        for (const std::string& text : c.no)
            EXPECT_FALSE(c.test(text)) << text;
    }
}

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
        const bool expected = PopupWords::namesPopup(label);
        ASSERT_EQ(PopupWords::namesPopup(
                      label, DarkPatternPrior::screen(DarkPatternPrior::normalized(label))),
                  expected)
            << "\"" << label << "\"";
        named += expected ? 1 : 0;
    }
    EXPECT_GT(named, 1000);
}

}  // namespace
}  // namespace ovra
