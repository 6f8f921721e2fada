#include "core/Json.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

TEST(Json, StrictFieldTypes) {
    const Json j =
        *json::parse(R"({"n": 3, "f": 1.5, "s": "x", "b": true, "big": 18446744073709551615})");
    EXPECT_EQ(json::requireInt(j, "n"), 3);
    EXPECT_THROW(json::requireInt(j, "f"), JsonError);
    EXPECT_THROW(json::requireInt(j, "s"), JsonError);
    EXPECT_THROW(json::requireInt(j, "big"), JsonError);
    EXPECT_EQ(json::requireNumber(j, "n"), 3.0);
    EXPECT_THROW(json::requireString(j, "n"), JsonError);
    EXPECT_THROW(json::requireBool(j, "missing"), JsonError);
    EXPECT_TRUE(json::requireBool(j, "b"));
}

TEST(Json, MalformedTextIsAFailureNotAnException) {
    const auto r = json::parse("{\"a\": ");
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().find("malformed JSON"), std::string::npos);
}

TEST(Json, NeverWritesNonFiniteNumbersOrThrowsOnBadUtf8) {
    EXPECT_THROW(json::finite(std::numeric_limits<double>::quiet_NaN()), JsonError);
    EXPECT_THROW(json::finite(std::numeric_limits<double>::infinity()), JsonError);
    Json j;
    j["label"] = std::string("bad\xff");
    EXPECT_EQ(json::dump(j), "{\"label\":\"bad\xEF\xBF\xBD\"}");
}

TEST(Json, KeepsKeyOrder) {
    Json j;
    j["id"] = "c1";
    j["priority"] = 1;
    j["alpha"] = 2;
    EXPECT_EQ(json::dump(j), R"({"id":"c1","priority":1,"alpha":2})");
}

}  // namespace
}  // namespace ovra
