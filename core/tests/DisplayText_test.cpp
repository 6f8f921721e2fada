#include "core/DisplayText.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

TEST(DisplayText, DrawsWhatTheAppMeant) {
    std::string piled = "Z";
    for (int i = 0; i < 2000; ++i) {
        piled += "\u0301";
    }
    const std::pair<std::string, std::string> cases[] = {
        {"Reject all", "Reject all"},
        {"  Save\n\tdraft \r\n", "Save draft"},
        {"Pay\x01\x7f now\u0085", "Pay now"},
        {"\u202Eyap\u202C and \u2067isolate\u2069", "yap and isolate"},
        {"\u05E9\u05DC\u05D5\u05DD \u200Fok", "\u05E9\u05DC\u05D5\u05DD \u200Fok"},
        {"Vi\u1EC7t e\u0302\u0301", "Vi\u1EC7t e\u0302\u0301"},
        {piled, "Z\u0301\u0301\u0301\u0301"},
        {"caf\xC3", "caf\uFFFD"},
        {"a\uFFFEb\U0010FFFF", "ab"},
        {"\U0001F469\u200D\U0001F4BB Work", "\U0001F469\u200D\U0001F4BB Work"},
        {std::string("nul\0byte", 8), "nulbyte"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(text::forDisplay(in), out) << in.substr(0, 40);
    }
}

}  // namespace
}  // namespace ovra
