#include "platform/paths/Paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "testing/Files.h"

namespace ovra::paths {
namespace {

namespace fs = std::filesystem;

Environment env(std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
        auto it = values.find(name);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    };
}

TEST(Paths, XdgFoldersWithFallbacks) {
    const auto set =
        env({{"HOME", "/home/ada"}, {"XDG_DATA_HOME", "/data"}, {"XDG_STATE_HOME", "/state"}});
    EXPECT_EQ(supportFolder(set), fs::path("/data/Murmlark Ovra"));
    EXPECT_EQ(setupLog(set), fs::path("/state/MurmlarkOvra/setup.log"));

    // Unset, empty or relative values are ignored, as the XDG rules say.
    const auto unset =
        env({{"HOME", "/home/ada"}, {"XDG_DATA_HOME", ""}, {"XDG_STATE_HOME", "relative"}});
    EXPECT_EQ(supportFolder(unset), fs::path("/home/ada/.local/share/Murmlark Ovra"));
    EXPECT_EQ(setupLog(unset), fs::path("/home/ada/.local/state/MurmlarkOvra/setup.log"));
}

TEST(Paths, DisplayPathAbbreviatesOnlyTheHomeFolder) {
    const auto e = env({{"HOME", "/home/ada"}});
    EXPECT_EQ(displayPath("/home/ada/.local/state/MurmlarkOvra/setup.log", e),
              "~/.local/state/MurmlarkOvra/setup.log");
    EXPECT_EQ(displayPath("/home/adam/x", e), "/home/adam/x");
    EXPECT_EQ(displayPath("/var/log", e), "/var/log");
}

class FolderReplace : public ::testing::Test {
  protected:
    void SetUp() override { testing::writeText(root_ / "new" / "mark", "new"); }
    static std::string mark(const fs::path& folder) {
        std::ifstream in(folder / "mark");
        std::string s;
        in >> s;
        return s;
    }
    testing::ScratchFolder scratch_{"paths"};
    const fs::path root_ = scratch_.path();
};

TEST_F(FolderReplace, MovesIntoAnEmptyPlaceOrReplacesTheOldFolderWhole) {
    ASSERT_TRUE(replaceFolder(root_ / "new", root_ / "target").ok());
    EXPECT_EQ(mark(root_ / "target"), "new");
    EXPECT_FALSE(fs::exists(root_ / "new"));

    fs::create_directories(root_ / "target" / "deep");
    fs::create_directories(root_ / "newer");
    std::ofstream(root_ / "newer" / "mark") << "newer";
    ASSERT_TRUE(replaceFolder(root_ / "newer", root_ / "target").ok());
    EXPECT_EQ(mark(root_ / "target"), "newer");
    EXPECT_FALSE(fs::exists(root_ / "target" / "deep"));
    EXPECT_FALSE(fs::exists(root_ / "newer"));

    // A failed move keeps the old folder.
    EXPECT_FALSE(replaceFolder(root_ / "missing", root_ / "target").ok());
    EXPECT_EQ(mark(root_ / "target"), "newer");
}

TEST(Paths, AvailableSpaceAsksTheNearestExistingFolder) {
    const auto space = availableSpace(fs::temp_directory_path() / "not" / "there" / "yet");
    ASSERT_TRUE(space);
    EXPECT_GT(*space, 0U);
}

}  // namespace
}  // namespace ovra::paths
