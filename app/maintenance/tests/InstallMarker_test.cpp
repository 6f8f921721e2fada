#include "app/maintenance/InstallMarker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "app/maintenance/InstallListing.h"
#include "testing/Files.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using Refusal = InstallMarker::Refusal;

class InstallMarkerTest : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(root_); }
    // A prefix with the marker and a listing of it alone.
    fs::path prefix(const std::string& name, const std::optional<std::string>& marker) {
        const fs::path p = root_ / name;
        fs::create_directories(InstallMarker::file(p).parent_path());
        if (marker)
            std::ofstream(InstallMarker::file(p)) << *marker;
        std::ofstream(InstallListing::file(p))
            << InstallListing::text({InstallMarker::file("").relative_path()});
        return p;
    }
    const fs::path root_ =
        fs::temp_directory_path() / ("ovra-marker-" + std::to_string(::getpid()));
};

TEST_F(InstallMarkerTest, OnlyAnOwnWritablePrefixOutsideSystemFoldersUpdatesItself) {
    const fs::path own = prefix("own", InstallMarker::text(true));
    const fs::path linked = prefix("linked", std::nullopt);
    fs::create_symlink(InstallMarker::file(own), InstallMarker::file(linked));
    const fs::path home = root_ / "home";
    const fs::path crowded = prefix("crowded", InstallMarker::text(true));
    std::ofstream(crowded / "share" / "other-program");
    const struct {
        fs::path prefix;
        std::optional<Refusal> refusal;
    } rows[] = {
        {own, std::nullopt},
        {prefix("shared", InstallMarker::text(false)), Refusal::notOwnPrefix},
        {crowded, Refusal::sharedWithOthers},
        {prefix("bare", std::nullopt), Refusal::notOurs},
        {prefix("other", "ai.qeld.other\nself-update=yes\n"), Refusal::notOurs},
        {prefix("long", InstallMarker::text(true) + std::string(5000, '#')), Refusal::notOurs},
        {linked, Refusal::notOurs},
        {"/usr/local/murmlark-ovra", Refusal::systemFolder},
        {"/opt", Refusal::sharedFolder},
        {home, Refusal::sharedFolder},
        {home / ".local", Refusal::sharedFolder},
        {root_, Refusal::sharedFolder},
    };
    for (const auto& r : rows)
        EXPECT_EQ(InstallMarker::selfUpdateRefusal(r.prefix, home), r.refusal) << r.prefix;
}

TEST_F(InstallMarkerTest, AnUpdateKeepsTheInstalledCopysMenuEntryRecordAndNoIconOfTheLayout) {
    using testing::readText, testing::writeText;
    const fs::path installed = root_ / "installed", incoming = root_ / "incoming";
    const auto& [outside, entry, icon] = InstallListing::kInstallSpecific;
    writeText(installed / entry, "Exec=" + installed.string() + "/bin/murmlark-ovra\n");
    writeText(installed / outside, "/home/u/.local/share/applications/murmlark-ovra.desktop\n");
    writeText(incoming / entry, "Exec=/tmp/ovra-layout/bin/murmlark-ovra\n");
    writeText(incoming / icon, "the layout's icon");
    writeText(incoming / outside, "");
    writeText(incoming / InstallMarker::kExecutable, "new");
    ASSERT_TRUE(InstallListing::keepInstallSpecific(installed, incoming));
    EXPECT_EQ(readText(incoming / entry), readText(installed / entry));
    EXPECT_EQ(readText(incoming / outside), readText(installed / outside));
    EXPECT_FALSE(fs::exists(incoming / "share" / "icons"));  // no folder left empty either
    EXPECT_EQ(readText(incoming / InstallMarker::kExecutable), "new");
}

TEST_F(InstallMarkerTest, CmakeInstallWritesItAndGivesOnlyAnOwnPrefixToTheApp) {
    for (const auto& [name, selfUpdate] : {std::pair{"murmlark-ovra", true}, {".local", false}}) {
        const fs::path p = root_ / name;
        const std::string command = std::string(CMAKE_COMMAND) +
                                    " --install " OVRA_BUILD_DIR " --component marker --prefix " +
                                    p.string() + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const auto marker = InstallMarker::read(p);
        ASSERT_TRUE(marker) << name;
        EXPECT_EQ(marker->selfUpdate, selfUpdate) << name;
    }
}

}  // namespace
}  // namespace ovra
