#pragma once

// JSON with strict decoding: every field is checked for presence and type (1.5 is not an
// integer, a string is not a number), and nothing non-finite is ever written.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace ovra {

using Json = nlohmann::ordered_json;

// Thrown by the require helpers; decoders catch it and return a failure.
struct JsonError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

namespace json {

// Parses text; syntax errors come back as a failure with a readable message.
Result<Json> parse(std::string_view text);

// Writes compact JSON; invalid UTF-8 in strings is replaced, never thrown on.
std::string dump(const Json& value, int indent = -1);

const Json& requireField(const Json& object, std::string_view key);
std::string requireString(const Json& object, std::string_view key);
bool requireBool(const Json& object, std::string_view key);
// An integer in JSON's integer syntax (no fraction, no exponent) that fits int64.
std::int64_t requireInt(const Json& object, std::string_view key);
// Any finite number.
double requireNumber(const Json& object, std::string_view key);
const Json& requireObject(const Json& object, std::string_view key);
const Json& requireArray(const Json& object, std::string_view key);

bool isInteger(const Json& value);
std::int64_t asInt(const Json& value, std::string_view what);
double asNumber(const Json& value, std::string_view what);
std::string asString(const Json& value, std::string_view what);

// A JSON number for a finite value; throws JsonError for NaN or infinity.
Json finite(double value);

}  // namespace json
}  // namespace ovra
