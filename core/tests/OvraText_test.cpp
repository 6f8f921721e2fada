#include "core/OvraText.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/Candidate.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

// Builds a small catalogue with msgfmt and points the lookup at it, in a made-up language.
class OvraTextTranslated : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = fs::temp_directory_path() / ("ovra-text-" + std::to_string(::getpid()));
        const fs::path messages = folder_ / "xx" / "LC_MESSAGES";
        fs::create_directories(messages);
        const fs::path po = folder_ / "xx.po";
        std::ofstream(po) << R"(msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "Close button"
msgstr "Schliessknopf"

msgid "%d of %d"
msgstr "%2$d von %1$d"

msgid "Saved %@"
msgstr "Gespeichert %d"

msgid "Open %@"
msgstr "%@ oeffnen"
)";
        const std::string cmd =
            "msgfmt -o '" + (messages / "murmlark-ovra.mo").string() + "' '" + po.string() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::setlocale(LC_ALL, "C.UTF-8");
        ::setenv("LANGUAGE", "xx", 1);
        OvraText::setCatalogueFolder(folder_.string());
    }
    static void TearDownTestSuite() {
        ::unsetenv("LANGUAGE");
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    static inline fs::path folder_;
};

TEST_F(OvraTextTranslated, TranslatesKnownKeysAndFallsBackToEnglish) {
    EXPECT_EQ(OvraText::t("Close button"), "Schliessknopf");
    EXPECT_EQ(OvraText::t("Not in the catalogue"), "Not in the catalogue");
    EXPECT_EQ(OvraText::t(""), "");
    EXPECT_EQ(OvraText::mark("Close button"), "Close button");
    // A key with a NUL is itself, not the translation of the text before the NUL.
    using namespace std::string_literals;
    EXPECT_EQ(OvraText::t("Close button\0x"s), "Close button\0x"s);
    EXPECT_EQ(OvraText::f("Open %@\0%@"s, {std::string("a"), std::string("b")}), "Open a\0b"s);
    // Role names go through the lookup too.
    UICandidate c{.id = "c1", .role = "AXButton", .subrole = "AXCloseButton"};
    EXPECT_EQ(c.roleName(), "Schliessknopf");
}

TEST_F(OvraTextTranslated, FormatsTheTranslationOnlyWithTheSamePlaceholders) {
    EXPECT_EQ(OvraText::f("%d of %d", {std::int64_t{2}, std::int64_t{5}}), "5 von 2");
    EXPECT_EQ(OvraText::f("Open %@", {std::string("Mail")}), "Mail oeffnen");
    EXPECT_EQ(OvraText::f("Saved %@", {std::string("draft")}), "Saved draft");
}

TEST(OvraTextFormat, FormatsEveryPlaceholderKindSafely) {
    EXPECT_EQ(OvraText::format("%d of %d", {std::int64_t{2}, std::int64_t{5}}), "2 of 5");
    EXPECT_EQ(OvraText::format("%lld%% sure", {std::int64_t{87}}), "87% sure");
    EXPECT_EQ(OvraText::format("%@ and %@", {std::string("a")}), "a and ");
    EXPECT_EQ(OvraText::format("%.1f pt", {2.25}), "2.2 pt");
    EXPECT_EQ(OvraText::format("%d", {1e300}).substr(0, 3), "100");
    EXPECT_EQ(OvraText::format("100%", {}), "100%");
    EXPECT_EQ(OvraText::format("%s %n", {std::string("x")}), "%s %n");
}

// Untranslated texts count as English does, whatever the user's locale.
TEST(OvraTextFormat, PicksTheSingularByPluralRules) {
    const icu::Locale before = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("fr"), status);
    EXPECT_EQ(OvraText::plural(0, "%lld choice", "%lld choices") + ", " +
                  OvraText::plural(1, "%lld choice", "%lld choices"),
              "0 choices, 1 choice");
    icu::Locale::setDefault(before, status);
}

TEST(OvraTextFormat, ComparesPlaceholders) {
    EXPECT_TRUE(OvraText::samePlaceholders("%d of %d", "%2$d von %1$d"));
    EXPECT_TRUE(OvraText::samePlaceholders("%lld items", "%d Dinge"));
    EXPECT_FALSE(OvraText::samePlaceholders("%@", "%d"));
    EXPECT_FALSE(OvraText::samePlaceholders("%@ %@", "%@"));
    EXPECT_FALSE(OvraText::samePlaceholders("%@", "%s"));
}

}  // namespace
}  // namespace ovra
