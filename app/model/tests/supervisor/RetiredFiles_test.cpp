#include "app/model/RetiredFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/model/tests/supervisor/SupervisorFakes.h"

namespace ovra::supervisor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RetiredFilesTest : public ::testing::Test {
  protected:
    fs::path base() const { return temp_.path() / "Murmlark Ovra"; }
    fs::path outside() const { return temp_.path() / "outside"; }
    void layout() {
        touch(base() / "engine" / "python" / "bin" / "python3");
        touch(base() / "incoming" / "part");
        touch(base() / "models" / ".DS_Store");
        touch(base() / "models" / "murmlark-ovra--en" / "tokenizer.json");
        touch(base() / "models" / "murmlark-ovra--multi" / "tokenizer.json");
        touch(base() / "models" / "other-family" / "weights.bin");
        touch(outside() / "precious.txt");
    }
    bool has(const fs::path& p) const { return fs::exists(fs::symlink_status(p)); }

    TempFolder temp_;
};

TEST_F(RetiredFilesTest, RemovesRetiredEntriesAndKeepsTheRest) {
    layout();
    const auto lines = removeRetiredEntries(base(), std::set<std::string>{"murmlark-ovra--en"});
    EXPECT_THAT(lines, ::testing::UnorderedElementsAre(
                           "removed retired engine", "removed retired models/murmlark-ovra--multi",
                           "removed retired models/other-family"));
    EXPECT_FALSE(has(base() / "engine"));
    EXPECT_FALSE(has(base() / "models" / "murmlark-ovra--multi"));
    EXPECT_FALSE(has(base() / "models" / "other-family"));
    EXPECT_TRUE(has(base() / "models" / "murmlark-ovra--en" / "tokenizer.json"));
    EXPECT_TRUE(has(base() / "models" / ".DS_Store"));
    EXPECT_TRUE(has(base() / "incoming" / "part"));
}

TEST_F(RetiredFilesTest, WithoutAKeepSetEveryProductModelStays) {
    layout();
    const auto lines = removeRetiredEntries(base(), std::nullopt);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_TRUE(has(base() / "models" / "murmlark-ovra--multi"));
    EXPECT_FALSE(has(base() / "models" / "other-family"));
}

TEST_F(RetiredFilesTest, LinksAreRemovedButNeverFollowed) {
    layout();
    fs::create_symlink(outside(), base() / "models" / "linked-family");
    fs::create_directories(base() / "models" / "old-family");
    fs::create_symlink(outside(), base() / "models" / "old-family" / "inner");
    fs::create_symlink(outside() / "precious.txt", base() / "models" / "old-family" / "file");
    removeRetiredEntries(base(), std::set<std::string>{"murmlark-ovra--en"});
    EXPECT_FALSE(has(base() / "models" / "linked-family"));
    EXPECT_FALSE(has(base() / "models" / "old-family"));
    EXPECT_TRUE(has(outside() / "precious.txt"));

    // A linked models folder is not ours; a linked or missing support folder is nothing to do.
    fs::remove_all(base());
    touch(base() / "engine" / "x");
    fs::create_directories(outside() / "other-family");
    fs::create_symlink(outside(), base() / "models");
    EXPECT_THAT(removeRetiredEntries(base(), std::set<std::string>{}),
                ElementsAre("removed retired engine"));
    EXPECT_TRUE(has(outside() / "other-family"));
    fs::remove_all(base());
    touch(outside() / "engine" / "x");
    fs::create_symlink(outside(), base());
    EXPECT_THAT(removeRetiredEntries(base(), std::nullopt), IsEmpty());
    EXPECT_TRUE(has(outside() / "engine" / "x"));
    fs::remove(base());
    EXPECT_THAT(removeRetiredEntries(base(), std::nullopt), IsEmpty());
}

}  // namespace
}  // namespace ovra::supervisor::testing
