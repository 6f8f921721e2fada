#include "platform/trash/Trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "testing/Files.h"

namespace ovra::trash {
namespace {

namespace fs = std::filesystem;

TEST(Trash, ItemsGoToATrashWithAnInfoFileUnderAFreeNameOrStayWithoutOne) {
    const fs::path root = fs::temp_directory_path() / ("ovra-trash-" + std::to_string(::getpid()));
    const auto folder = [&](const fs::path& relative) {
        fs::create_directories(root / relative);
        std::ofstream(root / relative / "x") << "x";
        return root / relative;
    };
    const auto now = std::chrono::system_clock::now();
    const paths::Environment env = [&](const char*) { return (root / "d").string(); };
    fs::create_directories(root / "d/Trash/files/Ovra é.2");  // a stale file without its info
    const auto a = moveToTrash(folder("a/Ovra é"), now, env);
    const auto b = moveToTrash(folder("b/Ovra é"), now, env);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_EQ(a->file, root / "d/Trash/files/Ovra é");
    EXPECT_EQ(b->file, root / "d/Trash/files/Ovra é.3");
    EXPECT_TRUE(fs::exists(a->file / "x") && !fs::exists(root / "a/Ovra é"));
    EXPECT_TRUE(std::regex_match(ovra::testing::readText(a->info),
                                 std::regex("\\[Trash Info\\]\nPath=" + root.string() +
                                            "/a/Ovra%20%C3%A9\nDeletionDate=\\d{4}-"
                                            "\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << ovra::testing::readText(a->info);
    const fs::path c = folder("c");  // cannot move into itself: its info file goes again
    EXPECT_FALSE(moveInto(c, c / "T", c, now).ok());
    EXPECT_TRUE(fs::is_empty(c / "T/info") && fs::exists(c / "x"));

    // Another file system's trash: a sticky shared .Trash, else the user's own, never a link.
    const std::string uid = std::to_string(::getuid());
    const std::tuple<const char*, mode_t, std::optional<std::string>> rows[] = {
        {"none", 0, ".Trash-" + uid},
        {"sticky", 01777, ".Trash/" + uid},
        {"not sticky", 0777, ".Trash-" + uid},
        {"linked", 0, std::nullopt}};
    for (const auto& [name, mode, expected] : rows) {
        const fs::path top = folder(name);
        if (mode != 0 && fs::create_directory(top / ".Trash"))
            ::chmod((top / ".Trash").c_str(), mode);
        if (!expected)
            fs::create_directory_symlink(root, top / (".Trash-" + uid));
        const auto trash = topdirTrash(top, ::getuid());
        EXPECT_EQ(trash ? std::optional(trash->lexically_relative(top).string()) : std::nullopt,
                  expected)
            << name;
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace ovra::trash
