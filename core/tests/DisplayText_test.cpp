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
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Reject all", "Reject all"},
        {"  Save\n\tdraft \r\n", "Save draft"},
        {"Pay\x01\x7f now\u0085", "Pay now"},
        {"\u202Eyap\u202C and \u2067isolate\u2069", "yap and isolate"},
        {"\u05E9\u05DC\u05D5\u05DD \u200Fok", "\u05E9\u05DC\u05D5\u05DD \u200Fok"},
        {"Vi\u1EC7t Nam", "Vi\u1EC7t Nam"},
        {"e\u0302\u0301 keeps two marks", "e\u0302\u0301 keeps two marks"},
        {piled, "Z\u0301\u0301\u0301\u0301"},
        {"caf\xC3", "caf\uFFFD"},
        {"a\uFFFEb\U0010FFFF", "ab"},
        {"\U0001F469\u200D\U0001F4BB Work", "\U0001F469\u200D\U0001F4BB Work"},
        {std::string("nul\0byte", 8), "nulbyte"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.substr(0, 40));
        EXPECT_EQ(text::forDisplay(c.in), c.out);
    }
}

}  // namespace
}  // namespace ovra
