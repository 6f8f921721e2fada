#include "core/Json.h"

#include <cmath>
#include <limits>

namespace ovra::json {

namespace {

std::string quoted(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

}  // namespace

Result<Json> parse(std::string_view text) {
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        return fail(std::string("malformed JSON: ") + e.what());
    }
}

std::string dump(const Json& value, int indent) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

const Json& requireField(const Json& object, std::string_view key) {
    if (!object.is_object())
        throw JsonError("expected an object");
    const auto it = object.find(key);
    if (it == object.end())
        throw JsonError("missing key " + quoted(key));
    return *it;
}

bool isInteger(const Json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <=
               static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    }
    return value.is_number_integer();
}

std::int64_t asInt(const Json& value, std::string_view what) {
    if (value.is_number_unsigned()) {
        if (!isInteger(value))
            throw JsonError(std::string(what) + " is out of range");
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    if (!value.is_number_integer())
        throw JsonError(std::string(what) + " must be an integer");
    return value.get<std::int64_t>();
}

double asNumber(const Json& value, std::string_view what) {
    if (!value.is_number())
        throw JsonError(std::string(what) + " must be a number");
    const double d = value.get<double>();
    if (!std::isfinite(d))
        throw JsonError(std::string(what) + " must be finite");
    return d;
}

std::string asString(const Json& value, std::string_view what) {
    if (!value.is_string())
        throw JsonError(std::string(what) + " must be a string");
    return value.get<std::string>();
}

std::string requireString(const Json& object, std::string_view key) {
    return asString(requireField(object, key), quoted(key));
}

bool requireBool(const Json& object, std::string_view key) {
    const Json& v = requireField(object, key);
    if (!v.is_boolean())
        throw JsonError(quoted(key) + " must be true or false");
    return v.get<bool>();
}

std::int64_t requireInt(const Json& object, std::string_view key) {
    return asInt(requireField(object, key), quoted(key));
}

double requireNumber(const Json& object, std::string_view key) {
    return asNumber(requireField(object, key), quoted(key));
}

const Json& requireObject(const Json& object, std::string_view key) {
    const Json& v = requireField(object, key);
    if (!v.is_object())
        throw JsonError(quoted(key) + " must be an object");
    return v;
}

const Json& requireArray(const Json& object, std::string_view key) {
    const Json& v = requireField(object, key);
    if (!v.is_array())
        throw JsonError(quoted(key) + " must be an array");
    return v;
}

Json finite(double value) {
    if (!std::isfinite(value))
        throw JsonError("cannot write a non-finite number");
    return Json(value);
}

}  // namespace ovra::json
