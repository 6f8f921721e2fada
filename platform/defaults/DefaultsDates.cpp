#include "platform/defaults/DefaultsDates.h"

#include <cstdio>

namespace ovra::DefaultsDates {

namespace {

using namespace std::chrono;

// Reads exactly `digits` decimal digits at `at`.
std::optional<int> number(std::string_view text, std::size_t& at, std::size_t digits) {
    if (at + digits > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    at += digits;
    return value;
}

bool expect(std::string_view text, std::size_t& at, char wanted) {
    if (at < text.size() && text[at] == wanted) {
        ++at;
        return true;
    }
    return false;
}

}  // namespace

std::string format(Time time) {
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date(day);
    const hh_mm_ss clock(seconds - day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::optional<Time> parse(std::string_view text) {
    std::size_t at = 0;
    const auto y = number(text, at, 4);
    if (!y || !expect(text, at, '-')) {
        return std::nullopt;
    }
    const auto mo = number(text, at, 2);
    if (!mo || !expect(text, at, '-')) {
        return std::nullopt;
    }
    const auto d = number(text, at, 2);
    if (!d || !(expect(text, at, 'T') || expect(text, at, 't'))) {
        return std::nullopt;
    }
    const auto h = number(text, at, 2);
    if (!h || !expect(text, at, ':')) {
        return std::nullopt;
    }
    const auto mi = number(text, at, 2);
    if (!mi || !expect(text, at, ':')) {
        return std::nullopt;
    }
    const auto s = number(text, at, 2);
    if (!s) {
        return std::nullopt;
    }
    nanoseconds fraction{0};
    if (expect(text, at, '.') || expect(text, at, ',')) {
        long long scale = 100'000'000;
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            fraction += nanoseconds(scale * (text[at] - '0'));
            scale /= 10;
            ++at;
        }
        if (at == start) {
            return std::nullopt;
        }
    }
    minutes offset{0};
    if (!(expect(text, at, 'Z') || expect(text, at, 'z'))) {
        const bool east = expect(text, at, '+');
        if (!east && !expect(text, at, '-')) {
            return std::nullopt;
        }
        const auto oh = number(text, at, 2);
        expect(text, at, ':');
        const auto om = number(text, at, 2);
        if (!oh || !om || *oh > 23 || *om > 59) {
            return std::nullopt;
        }
        offset = hours(*oh) + minutes(*om);
        if (!east) {
            offset = -offset;
        }
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    const year_month_day date{year(*y), month(static_cast<unsigned>(*mo)),
                              day(static_cast<unsigned>(*d))};
    // The clock counts nanoseconds from 1970 and holds about 292 years either way: a year it
    // cannot hold is no date of ours (and would overflow the sum below). A leap second reads as
    // the last second of its minute.
    if (!date.ok() || *y < 1900 || *y > 2200 || *h > 23 || *mi > 59 || *s > 60) {
        return std::nullopt;
    }
    const auto local = sys_days(date) + hours(*h) + minutes(*mi) + seconds(*s > 59 ? 59 : *s);
    return time_point_cast<Time::duration>(local - offset + fraction);
}

std::optional<Time> read(const DefaultsDomain& domain, std::string_view key) {
    const auto stored = domain.object(key);
    if (!stored || !stored->is_string()) {
        return std::nullopt;
    }
    return parse(stored->get_ref<const std::string&>());
}

void write(DefaultsDomain& domain, std::string_view key, Time time) {
    domain.set(key, format(time));
}

}  // namespace ovra::DefaultsDates
