#include "platform/defaults/LenientJson.h"

#include <algorithm>
#include <optional>
#include <string>

namespace ovra::LenientJson {

namespace {

// More unreadable values than this mean the file is not ours.
constexpr int kMaxUnreadable = 64;

// Walks the text without building anything and notes where the first fault is.
class FaultSpot final : public nlohmann::json_sax<Json> {
  public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string& read,
                     const nlohmann::detail::exception& error) override {
        end = position;
        token = read;
        overflow = error.id == 406;
        badText = std::string_view(error.what()).find("ill-formed UTF-8") != std::string::npos;
        return false;
    }

    std::size_t end = 0;  // just after the token at fault
    std::string token;    // the token as read so far
    bool overflow = false;
    bool badText = false;
};

// Where the unreadable value at the fault starts and ends, when the fault is one.
std::optional<std::pair<std::size_t, std::size_t>> unreadableValue(std::string_view text,
                                                                   const FaultSpot& spot) {
    if ((!spot.overflow && !spot.badText) || spot.end > text.size() ||
        spot.token.size() > spot.end ||
        text.substr(spot.end - spot.token.size(), spot.token.size()) != spot.token) {
        return std::nullopt;
    }
    const std::size_t start = spot.end - spot.token.size();
    if (spot.overflow) {
        return std::pair{start, spot.end};
    }
    // A string read up to its bad byte: it ends at the next quote that is not escaped.
    for (std::size_t at = spot.end; at < text.size(); ++at) {
        if (text[at] == '\\') {
            ++at;
        } else if (text[at] == '"') {
            return std::pair{start, at + 1};
        }
    }
    return std::nullopt;
}

// The line a fault is on, counted from 1, for the person who has to find it.
std::size_t lineAt(std::string_view text, std::size_t position) {
    const auto before = text.substr(0, std::min(position, text.size()));
    return 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
}

}  // namespace

Result<Parsed> parse(std::string_view original) {
    std::string text(original);
    for (int unreadable = 0;; ++unreadable) {
        auto parsed = json::parse(text);
        if (parsed) {
            return Parsed{std::move(parsed).value(), unreadable};
        }
        FaultSpot spot;
        Json::sax_parse(text, &spot);
        const auto value = unreadableValue(text, spot);
        if (!value) {
            return fail("it is not valid JSON at line " + std::to_string(lineAt(text, spot.end)));
        }
        if (unreadable == kMaxUnreadable) {
            return fail("it holds more than " + std::to_string(kMaxUnreadable) +
                        " values that cannot be read");
        }
        text.replace(value->first, value->second - value->first, "null");
    }
}

}  // namespace ovra::LenientJson
