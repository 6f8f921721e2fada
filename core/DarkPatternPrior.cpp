#include "core/DarkPatternPrior.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <utility>

#include "core/Text.h"

namespace ovra {

namespace {

using icu::UnicodeString;

// White space is all in the basic plane and no half of a surrogate pair is white space, so
// the helpers below walk text unit by unit without ever splitting a character.

// Word count splits at white space only (line breaks are not word separators here).
bool isWordSeparator(UChar32 c) {
    if (c < 0x80)
        return c == u'\t' || c == u' ';  // the only ASCII space separator
    return u_charType(c) == U_SPACE_SEPARATOR;
}

std::u16string_view unitsOf(const UnicodeString& text) {
    return {text.getBuffer(), static_cast<std::size_t>(text.length())};
}

// UTF-16 text, or UTF-8 that is all ASCII.
template <typename Char>
std::size_t wordCountOf(std::basic_string_view<Char> units) {
    std::size_t count = 0;
    bool inWord = false;
    for (const Char unit : units) {
        if (isWordSeparator(static_cast<char16_t>(unit))) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

std::size_t wordCountUnicode(const UnicodeString& text) {
    return wordCountOf(unitsOf(text));
}

bool isEdgeTrimmed(char16_t c) {
    return c == u' ' || c == u'.' || c == u'\u2026' || c == u':';
}

bool isAscii(std::string_view text) {
    // Without an early exit, so that the compiler can test many bytes at once.
    unsigned bits = 0;
    for (const char c : text)
        bits |= static_cast<unsigned char>(c);
    return bits < 0x80;
}

// ASCII needs none of ICU's case mapping or decoding; text too long for ICU keeps to ICU's
// path whatever it holds.
bool isPlainAscii(std::string_view utf8) {
    return utf8.size() <= static_cast<std::size_t>(INT32_MAX) && isAscii(utf8);
}

// text::isWhitespaceOrNewline, with the answer for ASCII worked out here.
bool isWhite(char16_t c) {
    if (c < 0x80)
        return c == u' ' || (c >= u'\t' && c <= u'\r');
    return text::isWhitespaceOrNewline(c);
}

// Writes the text to `out` (as long as the text; it may be the text itself) with each run of
// white space collapsed to one space and every other unit put through `lower`, and gives the
// range of `out` left once the edge characters are trimmed.
template <typename Char, typename Lower>
std::pair<std::size_t, std::size_t> collapsedAndTrimmed(std::basic_string_view<Char> units,
                                                        Char* out, Lower lower) {
    std::size_t length = 0;
    bool pendingSpace = false;
    for (const Char unit : units) {
        if (isWhite(static_cast<char16_t>(unit))) {
            pendingSpace = length > 0;
            continue;
        }
        if (pendingSpace) {
            out[length++] = ' ';
            pendingSpace = false;
        }
        out[length++] = lower(unit);
    }
    std::size_t start = 0;
    std::size_t end = length;
    while (start < end && isEdgeTrimmed(static_cast<char16_t>(out[start])))
        ++start;
    while (end > start && isEdgeTrimmed(static_cast<char16_t>(out[end - 1])))
        --end;
    return {start, end};
}

std::string normalizedUtf8(std::string_view utf8) {
    if (isPlainAscii(utf8)) {
        std::string units(utf8.size(), '\0');
        const auto [start, end] = collapsedAndTrimmed(utf8, units.data(), [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        });
        units.resize(end);
        units.erase(0, start);
        return units;
    }
    UnicodeString lower = text::fromUtf8(utf8);
    lower.toLower(icu::Locale::getRoot());
    lower.findAndReplace(UnicodeString(u'\u2019'), UnicodeString(u'\''));
    std::u16string units(static_cast<std::size_t>(lower.length()), u'\0');
    const auto [start, end] =
        collapsedAndTrimmed(unitsOf(lower), units.data(), [](char16_t c) { return c; });
    std::string out;
    UnicodeString(false, units.data() + start, static_cast<int32_t>(end - start)).toUTF8String(out);
    return out;
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
};

Screen containing(std::initializer_list<std::u16string_view> words) {
    return Screen{Screen::Kind::contains, words};
}

Screen startingWith(std::initializer_list<std::u16string_view> words) {
    return Screen{Screen::Kind::startsWith, words};
}

// Every row's words in one automaton (Aho and Corasick's), so that a single pass over the
// folded text finds all the rows worth running instead of searching it for each word in turn.
class WordScreen {
  public:
    using Rows = std::uint32_t;  // bit r set: row r may match

    explicit WordScreen(const std::vector<Screen>& screens) {
        if (screens.size() > 32) {
            std::fprintf(stderr, "murmlark: too many screened rules\n");
            std::abort();
        }
        for (const Screen& screen : screens) {
            for (const std::u16string_view word : screen.words) {
                for (const char16_t unit : word)
                    addSymbol(unit);
            }
        }
        // Capital ASCII letters read as their small letters: folding is that simple for them,
        // and folded text has none left.
        for (std::size_t letter = 0; letter < 26; ++letter)
            ascii_[u'A' + letter] = ascii_[u'a' + letter];

        // Rows of transitions a power of two wide, so that finding one takes no multiplying.
        while ((std::size_t{1} << rowShift_) < symbolCount_)
            ++rowShift_;

        // The trie of the words; 0 stands for "no edge", since no edge leads to the root.
        nodes_.emplace_back();
        next_.assign(std::size_t{1} << rowShift_, 0);
        for (std::size_t row = 0; row < screens.size(); ++row) {
            const Rows bit = Rows{1} << row;
            containing_ = containing_ || screens[row].kind == Screen::Kind::contains;
            for (const std::u16string_view word : screens[row].words) {
                Node& end = nodes_[insert(word)];
                (screens[row].kind == Screen::Kind::contains ? end.contains : end.startsWith) |=
                    bit;
            }
        }

        // Breadth first, every missing edge is made to lead where the edge of the node's
        // longest proper suffix in the trie leads (to the root for none), and each node takes
        // on the words that end at that suffix. Words that must start the text are not taken
        // on: they count only where a node is as deep as the text read.
        std::vector<Edge> suffix(nodes_.size(), 0);
        std::vector<Edge> queue;
        for (std::size_t symbol = 0; symbol < symbolCount_; ++symbol) {
            if (const Edge child = next_[symbol]; child != 0)
                queue.push_back(child);
        }
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const Edge node = queue[head];
            nodes_[node].contains |= nodes_[suffix[node]].contains;
            for (std::size_t symbol = 0; symbol < symbolCount_; ++symbol) {
                Edge& edge = next_[transition(node, symbol)];
                const Edge suffixEdge = next_[transition(suffix[node], symbol)];
                if (edge == 0) {
                    edge = suffixEdge;
                } else {
                    suffix[edge] = suffixEdge;
                    queue.push_back(edge);
                }
            }
        }
    }

    // The rows with a word in the UTF-8 text (a "starts with" row: at its start, or after
    // the white space there when that is skipped).
    Rows rowsFoundIn(std::string_view utf8, bool skippingLeadingSpace = false) const {
        // ASCII folds letter by letter, as the symbols do; other text is folded by ICU.
        if (isPlainAscii(utf8))
            return rowsFound(utf8, skippingLeadingSpace);
        UnicodeString folded = text::fromUtf8(utf8);
        folded.foldCase();
        // Folding leaves white space as it is and makes none.
        return rowsFound(unitsOf(folded), skippingLeadingSpace);
    }

  private:
    using Edge = std::uint16_t;  // the node an edge leads to

    struct Node {
        std::size_t depth = 0;  // length of the word piece the node stands for
        Rows contains = 0;      // rows with a word ending here
        Rows startsWith = 0;    // rows with a word that must start the text, ending here
    };

    // Folded UTF-16, or ASCII.
    template <typename Char>
    Rows rowsFound(std::basic_string_view<Char> text, bool skippingLeadingSpace) const {
        while (skippingLeadingSpace && !text.empty() &&
               isWhite(static_cast<char16_t>(text.front())))
            text.remove_prefix(1);
        Rows rows = 0;
        std::size_t node = 0;
        for (std::size_t read = 1; read <= text.size(); ++read) {
            node = next_[transition(node, symbolOf(static_cast<char16_t>(text[read - 1])))];
            rows |= nodes_[node].contains;
            // A node as deep as the text read so far stands for all of it.
            if (nodes_[node].depth == read) {
                rows |= nodes_[node].startsWith;
            } else if (!containing_) {
                break;  // only words at the start count, and the start is behind
            }
        }
        return rows;
    }

    std::size_t transition(std::size_t node, std::size_t symbol) const {
        return node << rowShift_ | symbol;
    }

    // Units that occur in no word share symbol 0, which has no edge in the trie.
    std::size_t symbolOf(char16_t unit) const {
        if (unit < ascii_.size())
            return ascii_[unit];
        for (const auto& [other, symbol] : others_) {
            if (other == unit)
                return symbol;
        }
        return 0;
    }

    void addSymbol(char16_t unit) {
        if (symbolOf(unit) != 0)
            return;
        if (unit < ascii_.size()) {
            ascii_[unit] = symbolCount_;
        } else {
            others_.emplace_back(unit, symbolCount_);
        }
        ++symbolCount_;
    }

    std::size_t insert(std::u16string_view word) {
        std::size_t node = 0;
        for (const char16_t unit : word) {
            const std::size_t edge = transition(node, symbolOf(unit));
            if (next_[edge] == 0) {
                if (nodes_.size() > std::numeric_limits<Edge>::max()) {
                    std::fprintf(stderr, "murmlark: too many screened words\n");
                    std::abort();
                }
                next_[edge] = static_cast<Edge>(nodes_.size());
                nodes_.push_back(Node{.depth = nodes_[node].depth + 1});
                next_.resize(next_.size() + (std::size_t{1} << rowShift_), 0);
            }
            node = next_[edge];
        }
        return node;
    }

    std::array<std::size_t, 128> ascii_{};
    std::vector<std::pair<char16_t, std::size_t>> others_;
    std::size_t symbolCount_ = 1;
    std::size_t rowShift_ = 0;
    bool containing_ = false;  // some word may be anywhere in the text
    std::vector<Node> nodes_;  // the root first
    std::vector<Edge> next_;   // at transition(node, symbol): the node it leads to
};

// The close words that start every match of the pop-up expression (PopupWords::namesPopup).
Screen closeWords() {
    return containing({u"close", u"dismiss", u"cerrar", u"cierra", u"cierre", u"fermer", u"chiudi",
                       u"schlie", u"sluiten", u"fechar"});
}

struct RuleTable {
    std::vector<DarkPatternPrior::Rule> rules;
    // Over the rows' words, row by row, then the marketing words of opt-in check boxes, then
    // the close words. The close words are looked for in the normalized label, though the
    // pop-up expression runs on the label itself: normalizing lower-cases, which leaves case
    // folding nothing it would not have undone anyway, and touches only white space and
    // punctuation at the ends otherwise, none of which is in a close word. So whatever close
    // word the folded label holds, the folded normalized label holds too.
    WordScreen screen;
    std::size_t marketingRow() const { return rules.size(); }
    std::size_t closeRow() const { return rules.size() + 1; }
};

RuleTable makeRules() {
    using C = FocusCategory;
    std::vector<DarkPatternPrior::Rule> rules;
    std::vector<Screen> screens;  // one per rule
    rules.reserve(11);
    screens.reserve(11);
    const auto add = [&rules, &screens](
                         Prior p, std::string_view pattern, Screen rowScreen,
                         std::optional<std::unordered_set<std::string>> roles = std::nullopt,
                         std::optional<int> maxWords = std::nullopt) {
        rules.push_back(DarkPatternPrior::Rule{.prior = std::move(p),
                                               .regex = Regex(pattern),
                                               .roles = std::move(roles),
                                               .maxWords = maxWords});
        screens.push_back(std::move(rowScreen));
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
    screens.push_back(containing({u"newsletter", u"marketing", u"promotional", u"offers", u"deals",
                                  u"subscribe", u"updates"}));
    screens.push_back(closeWords());
    WordScreen screen(screens);
    return RuleTable{std::move(rules), std::move(screen)};
}

}  // namespace

namespace DarkPatternPrior {

bool Rule::matches(std::string_view normalizedText, std::string_view role) const {
    const UnicodeString text = text::fromUtf8(normalizedText);
    return ruleMatches(*this, text, wordCountUnicode(text), role);
}

std::string normalized(std::string_view text) {
    return normalizedUtf8(text);
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

Screening screen(std::string_view normalizedLabel) {
    return Screening{.found = ruleTable().screen.rowsFoundIn(normalizedLabel)};
}

std::optional<Prior> evaluate(const UICandidate& candidate) {
    return evaluateNormalized(candidate, normalized(candidate.label()));
}

std::optional<Prior> evaluateNormalized(const UICandidate& candidate,
                                        std::string_view normalizedLabel) {
    return evaluateScreened(candidate, normalizedLabel, screen(normalizedLabel));
}

std::optional<Prior> evaluateScreened(const UICandidate& candidate,
                                      std::string_view normalizedLabel, Screening screening) {
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

    if (!normalizedLabel.empty()) {
        // Decoded only when an expression has to run: most labels are ruled out before.
        std::optional<UnicodeString> decoded;
        const auto text = [&]() -> const UnicodeString& {
            if (!decoded)
                decoded = text::fromUtf8(normalizedLabel);
            return *decoded;
        };
        const RuleTable& table = ruleTable();
        const auto mayMatch = [&screening](std::size_t row) {
            return (screening.found >> row & 1U) != 0;
        };

        if (candidate.role == "AXCheckBox" && mayMatch(table.marketingRow()) &&
            marketingRegex().searchUnicode(text())) {
            if (candidate.value == "checked")
                return prior(C::essentialFormAction, 0.8, "Pre-ticked: marketing opt-in", true);
            return prior(C::legalOrPassive, 0.7, "Marketing opt-in");
        }

        const WordScreen::Rows ruleRows = (WordScreen::Rows{1} << table.rules.size()) - 1;
        if ((screening.found & ruleRows) != 0) {
            const std::size_t words = isPlainAscii(normalizedLabel) ? wordCountOf(normalizedLabel)
                                                                    : wordCountUnicode(text());
            for (std::size_t row = 0; row < table.rules.size(); ++row) {
                const Rule& rule = table.rules[row];
                if (mayMatch(row) && ruleMatches(rule, text(), words, candidate.role))
                    return rule.prior;
            }
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
    return isWarningUnicode(text::fromUtf8(text));
}

bool hasPrice(std::string_view text) {
    return hasPriceUnicode(text::fromUtf8(text));
}

bool isMarketingOnAction(std::string_view text) {
    return isMarketingOnActionUnicode(text::fromUtf8(text));
}

bool isWarningUnicode(const icu::UnicodeString& text) {
    return warning().searchUnicode(text);
}

bool hasPriceUnicode(const icu::UnicodeString& text) {
    return price().searchUnicode(text);
}

bool isMarketingOnActionUnicode(const icu::UnicodeString& text) {
    return primaryVerb().searchUnicode(text) && !adMarker().searchUnicode(text);
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

// Screens as for the rule table: most labels name no pop-up and decline nothing.
const WordScreen& popupScreen() {
    static const WordScreen screen({closeWords()});
    return screen;
}

const WordScreen& declineScreen() {
    static const WordScreen screen(
        {startingWith({u"n", u"maybe later", u"ahora no", u"quiz", u"pas maintenant"})});
    return screen;
}

}  // namespace

bool namesPopup(std::string_view text) {
    return popupScreen().rowsFoundIn(text) != 0 && popup().search(text);
}

bool namesPopup(std::string_view text, DarkPatternPrior::Screening normalizedScreening) {
    return (normalizedScreening.found >> ruleTable().closeRow() & 1U) != 0 && popup().search(text);
}

bool isClose(std::string_view text) {
    return close().search(text);
}

bool declinesOffer(std::string_view text) {
    return declineScreen().rowsFoundIn(text, true) != 0 &&
           declineOffer().search(text::trimmed(text));
}

}  // namespace PopupWords
}  // namespace ovra
