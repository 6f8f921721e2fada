#include "core/DarkPatternPrior.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <string_view>
#include <utility>

#include "core/Text.h"

namespace ovra {

namespace {

using icu::UnicodeString;

// Word count splits at white space only (line breaks are not word separators here).
bool isWordSeparator(UChar32 c) {
    return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

std::size_t wordCountUnicode(const UnicodeString& text) {
    std::size_t count = 0;
    bool inWord = false;
    for (int32_t i = 0; i < text.length();) {
        const UChar32 c = text.char32At(i);
        i = text.moveIndex32(i, 1);
        if (isWordSeparator(c)) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

bool isEdgeTrimmed(char16_t c) {
    return c == u' ' || c == u'.' || c == u'\u2026' || c == u':';
}

UnicodeString normalizedUnicode(std::string_view utf8) {
    UnicodeString lower = text::fromUtf8(utf8);
    lower.toLower(icu::Locale::getRoot());
    lower.findAndReplace(UnicodeString(u'\u2019'), UnicodeString(u'\''));

    UnicodeString collapsed;
    bool pendingSpace = false;
    for (int32_t i = 0; i < lower.length();) {
        const UChar32 c = lower.char32At(i);
        i = lower.moveIndex32(i, 1);
        if (text::isWhitespaceOrNewline(c)) {
            pendingSpace = !collapsed.isEmpty();
            continue;
        }
        if (pendingSpace) {
            collapsed.append(u' ');
            pendingSpace = false;
        }
        collapsed.append(c);
    }

    int32_t start = 0;
    int32_t end = collapsed.length();
    while (start < end && isEdgeTrimmed(collapsed[start]))
        ++start;
    while (end > start && isEdgeTrimmed(collapsed[end - 1]))
        --end;
    return UnicodeString(collapsed, start, end - start);
}

bool ruleMatches(const DarkPatternPrior::Rule& rule, const UnicodeString& text, std::size_t words,
                 std::string_view role) {
    if (rule.roles && !rule.roles->contains(std::string(role)))
        return false;
    if (rule.maxWords && (*rule.maxWords < 0 || words > static_cast<std::size_t>(*rule.maxWords)))
        return false;
    return rule.regex.searchUnicode(text);
}

Prior prior(FocusCategory category, double weight, std::string reason, bool forceBeacon = false,
            std::optional<std::string> plainLabel = std::nullopt) {
    return Prior{.category = category,
                 .weight = weight,
                 .reason = std::move(reason),
                 .forceBeacon = forceBeacon,
                 .plainLabel = std::move(plainLabel)};
}

// A cheap test that rules a row out before its expression runs, so that a page of thousands
// of labels is judged in milliseconds. Each row's words are literal pieces of its pattern, one
// of which every match must contain (or, for a row whose every branch is anchored with "^",
// start with). The test runs on the case-folded text because case-insensitive matching
// compares case-folded text: whatever the expression can match, the folded text contains.
struct Screen {
    enum class Kind { contains, startsWith };
    Kind kind = Kind::contains;
    std::vector<std::u16string_view> words;  // string literals

    bool mayMatch(std::u16string_view folded) const {
        for (const std::u16string_view word : words) {
            if (kind == Kind::startsWith ? folded.starts_with(word)
                                         : folded.find(word) != std::u16string_view::npos)
                return true;
        }
        return false;
    }
};

Screen containing(std::initializer_list<std::u16string_view> words) {
    return Screen{Screen::Kind::contains, words};
}

Screen startingWith(std::initializer_list<std::u16string_view> words) {
    return Screen{Screen::Kind::startsWith, words};
}

struct RuleTable {
    std::vector<DarkPatternPrior::Rule> rules;
    std::vector<Screen> screens;  // one per rule
};

RuleTable makeRules() {
    using C = FocusCategory;
    RuleTable table;
    table.rules.reserve(11);
    table.screens.reserve(11);
    const auto add = [&table](Prior p, std::string_view pattern, Screen rowScreen,
                              std::optional<std::unordered_set<std::string>> roles = std::nullopt,
                              std::optional<int> maxWords = std::nullopt) {
        table.rules.push_back(DarkPatternPrior::Rule{.prior = std::move(p),
                                                     .regex = Regex(pattern),
                                                     .roles = std::move(roles),
                                                     .maxWords = maxWords});
        table.screens.push_back(std::move(rowScreen));
    };
    add(prior(C::dismissalOrExit, 0.85, "Pressuring wording", true, "Decline offer"),
        R"re(^no,? thanks?[,.!]?\s+i\b|\bi don'?t (want|like|care|need)\b|\bi'?d rather (not|pay|miss|stay)\b|\bi (hate|prefer not)\b|\bi'?ll pay full price\b)re",
        containing({u"thank", u"don", u"rather", u"hate", u"prefer not", u"pay full price"}));
    add(prior(C::legalOrPassive, 0.7, "Legal"), R"re(\bcookie (policy|statement|notice)\b)re",
        containing({u"cookie "}));
    add(prior(C::essentialFormAction, 0.8, "Cookie choice: decline", true),
        R"re(\b(reject|decline|refuse|deny) (all|cookies)\b|^(reject|decline)$|\b(only|strictly) (necessary|essential)\b|\b(necessary|essential) (cookies )?only\b|^(rechazar|rechazo|denegar|no acepto)\b|\brechazar (todas|todo|cookies|y)\b|\bcontinuar sin aceptar\b|\bsolo (las )?(necesarias|esenciales)\b|^(tout )?refuser\b|\bcontinuer sans accepter\b|^(rifiuta|rifiuto)\b|\bcontinua senza accettare\b|\bsolo (i )?necessari\b|\b(alle )?ablehnen\b|\bohne (zustimmung|einwilligung)\b|\bnur (notwendige|erforderliche)\b|^(alles )?weigeren\b|^(rejeitar|recusar)\b)re",
        containing({u"reject",
                    u"decline",
                    u"refuse",
                    u"deny",
                    u"necessary",
                    u"essential",
                    u"rechaz",
                    u"denegar",
                    u"no acepto",
                    u"continuar sin aceptar",
                    u"necesarias",
                    u"esenciales",
                    u"continuer sans accepter",
                    u"rifiut",
                    u"continua senza accettare",
                    u"necessari",
                    u"ablehnen",
                    u"ohne ",
                    u"nur ",
                    u"weigeren",
                    u"rejeitar",
                    u"recusar"}));
    add(prior(C::essentialFormAction, 0.8, "Cookie choice: accept", true),
        R"re(\b(accept|allow) all\b|\b(accept|allow) cookies\b|\baccept and (continue|close)\b|^(aceptar|acepto|accepter|j'accepte|accetta|accetto|akzeptieren|zustimmen|accepteren|aceitar)\b|\b(aceptar|accepter|accetta) (y|et|e) (continuar|continuer|continua|cerrar|fermer|chiudi)\b|\balle akzeptieren\b)re",
        containing(
            {u"accept", u"allow", u"acept", u"accett", u"akzeptieren", u"zustimmen", u"aceitar"}));
    add(prior(C::legalOrPassive, 0.7, "Cookie settings"),
        R"re(\bmanage (preferences|options|consent|choices|cookies)\b|\bcookie (settings|preferences)\b|\bcustomi[sz]e cookies\b|\bconfigure (your )?(consents?|cookies|choices|preferences)\b|\bpreference cent(er|re)\b|\bconfigurar( las)? (cookies|preferencias|consentimiento)\b|\bpreferencias\b|\bparam[eé]trer\b|\bpersonnaliser\b|\bgestisci (le )?(preferenze|opzioni)\b|\beinstellungen\b|\bvoorkeuren\b)re",
        containing({u"manage ", u"cookie ", u"customi", u"configur", u"preference cent",
                    u"preferencias", u"param", u"personnaliser", u"gestisci ", u"einstellungen",
                    u"voorkeuren"}));
    add(prior(C::legalOrPassive, 0.6, "Cookie notice"), R"re(\bcookies?\b|\bconsent\b)re",
        containing({u"cookie", u"consent"}));
    add(prior(C::distractionOrUpsell, 0.75, "Advert"),
        R"re(\bupgrade\b|\bgo premium\b|\bpremium\b|\d+\s?% off\b|\bfree trial\b|\blimited[- ]time\b|\bspecial offer\b|\bsponsored\b|\badvertisement\b|\bad\b|\bpromo(tion|ted)?\b|\b(get|download|install) (our|the) app\b|\bunlock\b|\bnewsletter\b|\bsubscribe\b|\bdeals\b)re",
        containing({u"upgrade", u"premium", u"% off", u"free trial", u"limited", u"special offer",
                    u"sponsored", u"ad", u"promo", u"app", u"unlock", u"newsletter", u"subscribe",
                    u"deals"}),
        std::unordered_set<std::string>{"AXButton", "AXLink", "AXMenuButton", "AXPopUpButton"}, 8);
    add(prior(C::distractionOrUpsell, 0.7, "Survey"),
        R"re(\bsurvey\b|\brate (us|this app|your experience)\b|\b(give|leave|send) (us )?(feedback|a review)\b|\bhow (are|did) we do\b)re",
        containing({u"survey", u"rate ", u"feedback", u"a review", u"we do"}));
    add(prior(C::legalOrPassive, 0.7, "Legal"),
        R"re(\bterms\b|\bprivacy\b|©|\bcopyright\b|\ball rights reserved\b|\blegal\b|\bimprint\b|\bimpressum\b|\baccessibility statement\b|\bsitemap\b|\bdo not sell\b|\bcareers\b|\babout us\b)re",
        containing({u"terms", u"privacy", u"©", u"copyright", u"all rights reserved", u"legal",
                    u"imprint", u"impressum", u"accessibility statement", u"sitemap",
                    u"do not sell", u"careers", u"about us"}));
    add(prior(C::dismissalOrExit, 0.65, "Exit"),
        R"re(^(cancel|close|dismiss|back|go back|exit|quit|skip|not now|no,? thanks?|maybe later|remind me later|later|never|don'?t save|discard|×|✕|x)$)re",
        startingWith({u"cancel", u"close", u"dismiss", u"back", u"go back", u"exit", u"quit",
                      u"skip", u"no", u"maybe later", u"remind me later", u"later", u"never",
                      u"don", u"discard", u"×", u"✕", u"x"}));
    add(prior(C::essentialFormAction, 0.6, "Primary action"),
        R"re(^(continue|next|submit|save|send|done|ok|okay|confirm|apply|finish|sign in|log ?in|sign up|register|create|pay|place (your )?order|check ?out|proceed|search|open|allow|agree|start|get started|add to (cart|bag|basket)|buy now|reply|post|share|upload|download|print|export|install|update|verify|yes|go)\b)re",
        startingWith({u"continue", u"next",    u"submit", u"save",    u"send",   u"done",
                      u"ok",       u"confirm", u"apply",  u"finish",  u"sign ",  u"log",
                      u"register", u"create",  u"pay",    u"place ",  u"check",  u"proceed",
                      u"search",   u"open",    u"allow",  u"agree",   u"start",  u"get started",
                      u"add to ",  u"buy now", u"reply",  u"post",    u"share",  u"upload",
                      u"download", u"print",   u"export", u"install", u"update", u"verify",
                      u"yes",      u"go"}));
    return table;
}

}  // namespace

namespace DarkPatternPrior {

bool Rule::matches(std::string_view normalizedText, std::string_view role) const {
    const UnicodeString text = text::fromUtf8(normalizedText);
    return ruleMatches(*this, text, wordCountUnicode(text), role);
}

std::string normalized(std::string_view text) {
    return text::toUtf8(normalizedUnicode(text));
}

std::size_t wordCount(std::string_view text) {
    return wordCountUnicode(text::fromUtf8(text));
}

}  // namespace DarkPatternPrior

namespace {

const RuleTable& ruleTable() {
    static const RuleTable table = makeRules();
    return table;
}

}  // namespace

namespace DarkPatternPrior {

const std::vector<Rule>& rules() {
    return ruleTable().rules;
}

const Regex& marketingRegex() {
    static const Regex regex(
        R"re(\b(newsletter|marketing|promotional|partner offers|offers|deals|subscribe|updates)\b)re");
    return regex;
}

std::optional<Prior> evaluate(const UICandidate& candidate) {
    using C = FocusCategory;
    // Window buttons are known by their subrole alone, labelled or not.
    if (candidate.subrole) {
        const std::string& subrole = *candidate.subrole;
        if (subrole == "AXCloseButton")
            return prior(C::dismissalOrExit, 0.9, "Window close");
        if (subrole == "AXMinimizeButton" || subrole == "AXZoomButton" ||
            subrole == "AXFullScreenButton")
            return prior(C::legalOrPassive, 0.9, "Window controls");
    }

    const UnicodeString text = normalizedUnicode(candidate.label());
    if (candidate.role == "AXCheckBox" && !text.isEmpty() && marketingRegex().searchUnicode(text)) {
        if (candidate.value == "checked")
            return prior(C::essentialFormAction, 0.8, "Pre-ticked: marketing opt-in", true);
        return prior(C::legalOrPassive, 0.7, "Marketing opt-in");
    }

    if (!text.isEmpty()) {
        const RuleTable& table = ruleTable();
        const std::size_t words = wordCountUnicode(text);
        UnicodeString foldedText(text);
        foldedText.foldCase();
        const std::u16string_view folded(foldedText.getBuffer(),
                                         static_cast<std::size_t>(foldedText.length()));
        for (std::size_t row = 0; row < table.rules.size(); ++row) {
            const Rule& rule = table.rules[row];
            if (table.screens[row].mayMatch(folded) &&
                ruleMatches(rule, text, words, candidate.role))
                return rule.prior;
        }
    }

    if (candidate.isTextInput())
        return prior(C::essentialFormAction, 0.5, "Form input");
    return std::nullopt;
}

}  // namespace DarkPatternPrior

namespace ProtectedText {

namespace {

const Regex& warning() {
    static const Regex regex(
        R"re(\b(error|warning|required|invalid|failed|failure|expired|overdue|incorrect|try again|alert)\b)re");
    return regex;
}

const Regex& price() {
    static const Regex regex(R"re([$€£¥]\s?\d|\d\s?(usd|eur|gbp)\b)re");
    return regex;
}

const Regex& adMarker() {
    static const Regex regex(
        R"re(\b(sponsored|advertisement|ad|promoted|paid (post|partnership))\b)re");
    return regex;
}

const Regex& primaryVerb() {
    static const Regex regex(
        R"re(^(download|buy|start|try|get started|sign up|join|create|continue|book|order|register|install|begin|open)\b)re");
    return regex;
}

}  // namespace

bool isWarning(std::string_view text) {
    return warning().search(text);
}

bool hasPrice(std::string_view text) {
    return price().search(text);
}

bool isMarketingOnAction(std::string_view text) {
    const UnicodeString unicode = text::fromUtf8(text);
    return primaryVerb().searchUnicode(unicode) && !adMarker().searchUnicode(unicode);
}

}  // namespace ProtectedText

namespace PopupWords {

namespace {

const Regex& popup() {
    static const Regex regex(
        R"re(\b(close|dismiss|cerrar|cierra|cierre|fermer|chiudi|schlie(ß|ss)en|sluiten|fechar)\b.*\b(pop-?up|dialog|modal|banner|overlay|window|di[aá]logo|ventana|anuncio|banni[eè]re|fen[eê]tre|finestra|fenster|venster|janela|cookies?|notice|alert|alerta|aviso|avis|hinweis)\b)re");
    return regex;
}

// The close words end in "(?!\w)" rather than "\b": a boundary never follows a symbol at the
// end of the text, so a lone "×" or "✕" would otherwise never count as close.
const Regex& close() {
    static const Regex regex(
        R"re(^(close|dismiss|cerrar|cierra|cierre|fermer|chiudi|schlie(ß|ss)en|sluiten|fechar|×|✕|x)(?!\w))re");
    return regex;
}

const Regex& declineOffer() {
    static const Regex regex(
        R"re(^(no,? (thanks?|thank you|gracias)|not now|maybe later|ahora no|quiz[aá]s (m[aá]s )?tarde|non,? merci|pas maintenant|nein,? danke|nicht jetzt|no,? grazie|non ora|n[aã]o,? obrigad[oa])[.!]?$)re");
    return regex;
}

}  // namespace

bool namesPopup(std::string_view text) {
    return popup().search(text);
}

bool isClose(std::string_view text) {
    return close().search(text);
}

bool declinesOffer(std::string_view text) {
    return declineOffer().search(text::trimmed(text));
}

}  // namespace PopupWords
}  // namespace ovra
