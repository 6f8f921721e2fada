#include "platform/archive/SafeExtract.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "testing/ArchiveBuilder.h"
#include "testing/Files.h"

namespace ovra::archive {
namespace {

namespace fs = std::filesystem;
using testing::TarEntry;

class SafeExtract : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(out()); }

    std::optional<ExtractError> unpack(const std::vector<TarEntry>& entries, bool gzip = false,
                                       const Limits& limits = {}) {
        const auto archive = root_ / (gzip ? "a.tar.gz" : "a.tar");
        testing::writeTar(archive, entries, gzip);
        return extract(archive, out(), gzip ? Compression::gzip : Compression::none, limits);
    }
    fs::path out() const { return root_ / "out"; }
    static std::string read(const fs::path& p) { return testing::readText(p); }

    testing::ScratchFolder scratch_{"extract"};
    const fs::path root_ = scratch_.path();
};

TEST_F(SafeExtract, UnpacksFilesAndFoldersWithPlainPermissions) {
    ASSERT_FALSE(unpack({testing::folder("./m/"), testing::file("./m/tokenizer.json", "{}"),
                         testing::file("m/sub/run", "#!", 06755)},
                        true));
    EXPECT_EQ(read(out() / "m/tokenizer.json"), "{}");
    struct stat st {};
    ASSERT_EQ(::stat((out() / "m/sub/run").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777U, 0755U & ~static_cast<unsigned>(::umask(022)));
    EXPECT_EQ(st.st_mode & (S_ISUID | S_ISGID), 0U);

    // Folders are 0755 whatever the umask, those named and those made for a file alike.
    const mode_t previous = ::umask(0);
    const auto failed = unpack({testing::folder("open/"), testing::file("deep/er/f", "x")});
    ::umask(previous);
    ASSERT_FALSE(failed);
    for (const char* folder : {"open", "deep", "deep/er"}) {
        ASSERT_EQ(::stat((out() / folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777U, 0755U) << folder;
    }
}

TEST_F(SafeExtract, RefusesHostileEntriesWithoutWritingOutside) {
    const std::vector<std::pair<std::string, TarEntry>> hostile = {
        {"absolute", testing::file("/tmp/ovra-evil", "x")},
        {"climbing", testing::file("m/../../evil", "x")},
        {"dotdot alone", testing::file("..", "x")},
        {"symlink", {"m/link", TarEntry::Type::symlink, "/etc/passwd"}},
        {"symlink inside", {"m/link", TarEntry::Type::symlink, "tokenizer.json"}},
        {"hard link", {"m/hard", TarEntry::Type::hardlink, "/etc/passwd"}},
        {"fifo", {"m/fifo", TarEntry::Type::fifo, ""}},
        {"device", {"m/dev", TarEntry::Type::device, ""}},
        {"file as destination", testing::file(".", "x")},
    };
    for (const auto& [what, entry] : hostile) {
        fs::remove_all(out());
        fs::create_directories(out());
        const auto e = unpack({testing::file("m/ok", "1"), entry});
        ASSERT_TRUE(e) << what;
        EXPECT_EQ(e->kind, ExtractError::Kind::unsafeEntry) << what << ": " << describe(*e);
        EXPECT_FALSE(fs::exists(fs::symlink_status(out() / "m/link"))) << what;
    }
    EXPECT_FALSE(fs::exists(root_.parent_path() / "evil"));

    // Far more nested folders than a path can hold: refused where the system refuses the path,
    // without first walking (and copying) every one of them.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "a/";
    const auto e = unpack({testing::file(deep + "f", "x")});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, ExtractError::Kind::writeFailed);
}

TEST_F(SafeExtract, BoundsEntryCountAndTotalSize) {
    const auto many =
        unpack({testing::file("a", "1"), testing::file("b", "2"), testing::file("c", "3")}, false,
               Limits{2, 100});
    ASSERT_TRUE(many);
    EXPECT_EQ(many->kind, ExtractError::Kind::tooManyEntries);

    const auto large =
        unpack({testing::file("x", std::string(60, 'a')), testing::file("y", std::string(60, 'b'))},
               true, Limits{10, 100});
    ASSERT_TRUE(large);
    EXPECT_EQ(large->kind, ExtractError::Kind::tooLarge);
    EXPECT_FALSE(fs::exists(out() / "y"));
}

TEST_F(SafeExtract, DamagedOrWrongArchivesAreUnreadable) {
    std::ofstream(root_ / "junk.tar") << std::string(3000, 'z');
    auto e = extract(root_ / "junk.tar", out(), Compression::none);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, ExtractError::Kind::unreadable);

    // A gzip archive unpacked as plain tar is not read by guesswork.
    testing::writeTar(root_ / "a.tar.gz", {testing::file("a", "1")}, true);
    e = extract(root_ / "a.tar.gz", out(), Compression::none);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, ExtractError::Kind::unreadable);

    // Cut short in the middle of a file's data.
    testing::writeTar(root_ / "b.tar", {testing::file("big", std::string(20000, 'x'))}, false);
    fs::resize_file(root_ / "b.tar", 5000);
    e = extract(root_ / "b.tar", out(), Compression::none);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, ExtractError::Kind::unreadable);

    EXPECT_TRUE(extract(root_ / "missing.tar", out(), Compression::none));
}

TEST_F(SafeExtract, CompressionFollowsTheName) {
    EXPECT_EQ(compressionFor("model.tar.gz"), Compression::gzip);
    EXPECT_EQ(compressionFor("model.tar"), Compression::none);
    EXPECT_EQ(compressionFor("model.tgz"), Compression::none);
}

}  // namespace
}  // namespace ovra::archive
