#include "app/preferences/PreferencesFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace ovra {
namespace {

TEST(PreferencesReading, TakesOnlyValuesOfTheRightKind) {
    struct Case {
        const char* text;
        int depth;
        VornModel model;
    };
    const Case cases[] = {
        {R"({"depth": 9, "model": "murmlark-ovra/multi"})", 9, VornModel::multilingual},
        {R"({"depth": 9.0})", 9, VornModel::english},
        {R"({"depth": -2})", -2, VornModel::english},
        {R"({"depth": 9.5, "model": "murmlark-ovra/MULTI"})", 6, VornModel::english},
        {R"({"depth": "9", "model": 1})", 6, VornModel::english},
        {R"({"depth": 1e300})", 6, VornModel::english},
        {R"({"depth": 2147483648})", 6, VornModel::english},
        {R"({"depth": true})", 6, VornModel::english},
        {R"([9])", 6, VornModel::english},
        {"{not json", 6, VornModel::english},
        {"", 6, VornModel::english},
    };
    for (const auto& c : cases) {
        const auto reading = PreferencesReading::parse(c.text);
        EXPECT_EQ(reading.traversalDepth, c.depth) << c.text;
        EXPECT_EQ(reading.model, c.model) << c.text;
    }
    EXPECT_EQ(modelID(VornModel::english), "murmlark-ovra/en");
}

class PreferencesFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("ovra-prefs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(root_ / "murmlark-ovra");
        env_["XDG_CONFIG_HOME"] = root_.string();
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    PreferencesFile::Environment environment() const {
        return [this](const char* name) -> std::optional<std::string> {
            auto it = env_.find(name);
            return it == env_.end() ? std::nullopt : std::optional(it->second);
        };
    }

    std::filesystem::path root_;
    std::map<std::string, std::string> env_;
};

TEST_F(PreferencesFileTest, FindsTheFileOfTheAppsDomain) {
    EXPECT_EQ(PreferencesFile::path(environment()),
              root_ / "murmlark-ovra" / "ai.qeld.murmlark-ovra.json");
    env_["XDG_CONFIG_HOME"] = "relative/folder";
    env_["HOME"] = "/home/u";
    EXPECT_EQ(PreferencesFile::configHome(environment()), "/home/u/.config");
    env_.clear();
    EXPECT_EQ(PreferencesFile::path(environment()), std::nullopt);
    EXPECT_EQ(PreferencesFile::read(environment()), PreferencesReading{});
}

TEST_F(PreferencesFileTest, ReadsTheStoredValuesAndIgnoresOversizedFiles) {
    const auto file = root_ / "murmlark-ovra" / "ai.qeld.murmlark-ovra.json";
    EXPECT_EQ(PreferencesFile::read(environment()), PreferencesReading{});  // no file yet
    std::ofstream(file) << R"({"depth": 3, "model": "murmlark-ovra/multi", "sidebar": false})";
    EXPECT_EQ(PreferencesFile::read(environment()),
              (PreferencesReading{3, VornModel::multilingual}));

    std::ofstream big(file);
    big << R"({"depth": 3, "pad": ")" << std::string(PreferencesFile::kMaxBytes, 'x') << "\"}";
    big.close();
    EXPECT_EQ(PreferencesFile::read(environment()), PreferencesReading{});
}

}  // namespace
}  // namespace ovra
