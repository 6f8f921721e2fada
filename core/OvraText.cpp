#include "core/OvraText.h"

#include <libintl.h>
#include <unicode/locid.h>
#include <unicode/plurrule.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace ovra::OvraText {

namespace {

enum class ArgKind { text, integer, real };

struct Placeholder {
    std::size_t begin = 0;  // offset of '%'
    std::size_t end = 0;    // one past the conversion character
    std::size_t index = 0;  // argument index, from 0
    ArgKind kind = ArgKind::text;
    int precision = -1;  // for %.Nf
};

struct Parsed {
    std::vector<Placeholder> placeholders;
    bool valid = true;
};

std::optional<std::size_t> readNumber(std::string_view s, std::size_t& i) {
    std::size_t n = 0;
    const std::size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        n = n * 10 + static_cast<std::size_t>(s[i] - '0');
        if (n > 1000)
            return std::nullopt;
        ++i;
    }
    if (i == start)
        return std::nullopt;
    return n;
}

Parsed parse(std::string_view s) {
    Parsed out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%')
            continue;
        Placeholder p;
        p.begin = i;
        std::size_t j = i + 1;
        if (j < s.size() && s[j] == '%') {
            i = j;
            continue;
        }
        std::optional<std::size_t> position;
        {
            std::size_t k = j;
            if (auto n = readNumber(s, k); n && k < s.size() && s[k] == '$' && *n >= 1) {
                position = *n - 1;
                j = k + 1;
            }
        }
        if (j < s.size() && s[j] == '.') {
            ++j;
            auto n = readNumber(s, j);
            if (!n || *n > 20) {
                out.valid = false;
                continue;
            }
            p.precision = static_cast<int>(*n);
        }
        while (j < s.size() && (s[j] == 'l' || s[j] == 'h' || s[j] == 'q' || s[j] == 'z'))
            ++j;
        if (j >= s.size()) {
            out.valid = false;
            break;
        }
        switch (s[j]) {
            case '@':
                p.kind = ArgKind::text;
                break;
            case 'd':
            case 'i':
            case 'u':
                p.kind = ArgKind::integer;
                break;
            case 'f':
                p.kind = ArgKind::real;
                break;
            default:
                out.valid = false;
                continue;
        }
        p.end = j + 1;
        p.index = position ? *position : next++;
        out.placeholders.push_back(p);
        i = j;
    }
    return out;
}

std::string render(const FormatArg& arg, const Placeholder& p) {
    if (const auto* s = std::get_if<std::string>(&arg))
        return *s;
    if (const auto* n = std::get_if<std::int64_t>(&arg)) {
        if (p.kind == ArgKind::real) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", p.precision < 0 ? 6 : p.precision,
                          static_cast<double>(*n));
            return buf;
        }
        return std::to_string(*n);
    }
    const double d = std::get<double>(arg);
    if (!std::isfinite(d))
        return std::isnan(d) ? "nan" : (d > 0 ? "inf" : "-inf");
    char buf[512];
    if (p.kind == ArgKind::integer) {
        std::snprintf(buf, sizeof buf, "%.0f", std::trunc(d));
    } else {
        std::snprintf(buf, sizeof buf, "%.*f", p.precision < 0 ? 6 : p.precision, d);
    }
    return buf;
}

// Whether n takes the "one" form by the plural rules of `locale`; English rules when the rules
// cannot be had.
bool takesOne(const icu::Locale& locale, std::int64_t n) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::PluralRules> rules(icu::PluralRules::forLocale(locale, status));
    if (U_FAILURE(status) || !rules) {
        return n == 1;
    }
    return rules->select(static_cast<double>(n)) == icu::UnicodeString(u"one");
}

}  // namespace

void setCatalogueFolder(const std::string& folder) {
    bindtextdomain(kDomain, folder.c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
}

std::string t(std::string_view key) {
    // gettext("") answers with the catalogue's header; the empty text stays empty.
    if (key.empty())
        return {};
    // A catalogue key never holds a NUL, and the C lookup would stop at it.
    if (key.find('\0') != std::string_view::npos)
        return std::string(key);
    const std::string k(key);
    return dgettext(kDomain, k.c_str());
}

bool samePlaceholders(std::string_view a, std::string_view b) {
    const Parsed pa = parse(a);
    const Parsed pb = parse(b);
    if (!pa.valid || !pb.valid)
        return false;
    std::map<std::size_t, ArgKind> ka;
    std::map<std::size_t, ArgKind> kb;
    for (const auto& p : pa.placeholders)
        ka[p.index] = p.kind;
    for (const auto& p : pb.placeholders)
        kb[p.index] = p.kind;
    return ka == kb;
}

std::string format(std::string_view fmt, std::initializer_list<FormatArg> args) {
    const Parsed parsed = parse(fmt);
    const std::vector<FormatArg> argv(args);
    std::string out;
    std::size_t at = 0;
    auto copyLiteral = [&](std::size_t until) {
        for (std::size_t i = at; i < until; ++i) {
            out.push_back(fmt[i]);
            if (fmt[i] == '%' && i + 1 < until && fmt[i + 1] == '%')
                ++i;
        }
    };
    for (const auto& p : parsed.placeholders) {
        copyLiteral(p.begin);
        if (p.index < argv.size())
            out += render(argv[p.index], p);
        at = p.end;
    }
    copyLiteral(fmt.size());
    return out;
}

std::string plural(std::int64_t n, std::string_view one, std::string_view other) {
    // An untranslated text is English and counts as English does; a translated one counts as
    // the language of the user's locale, which chose the catalogue.
    const bool translated = t(other) != other;
    const bool single = translated ? takesOne(icu::Locale::getDefault(), n)
                                   : takesOne(icu::Locale::getEnglish(), n);
    return f(single ? one : other, {n});
}

std::string f(std::string_view key, std::initializer_list<FormatArg> args) {
    const std::string translated = t(key);
    if (translated != key && !samePlaceholders(key, translated))
        return format(key, args);
    return format(translated, args);
}

}  // namespace ovra::OvraText
