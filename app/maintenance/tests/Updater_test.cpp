#include <gmock/gmock.h>

#include <cerrno>

#include "app/maintenance/tests/UpdaterFixture.h"

namespace ovra::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

const std::string kUnreachable = "Could not reach qeld.ai to check for updates.";

TEST_F(UpdaterTest, ChecksAfter20SecondsThenHourlyWhenDueAndNeverTwiceAtOnce) {
    updater().start();
    scheduler_.advance(19.9);
    EXPECT_TRUE(offload_->jobs.empty());
    scheduler_.advance(0.1);
    ASSERT_EQ(offload_->jobs.size(), 1U);
    EXPECT_TRUE(updater().state().busy);
    EXPECT_EQ(defaults_.object(Updater::kLastCheckKey), Json("2024-05-01T12:00:00Z"));

    // While the check runs, another check and an install request change nothing.
    updater().check(true);
    updater().installAvailable();
    EXPECT_EQ(offload_->jobs.size(), 1U);

    // No network: an automatic check changes only the status line.
    offload_->finishAll();
    EXPECT_EQ(status(), kUnreachable);
    EXPECT_TRUE(banners_.empty());

    // The hourly tick checks only once a day has passed since the last check.
    scheduler_.advance(3600);
    EXPECT_TRUE(offload_->jobs.empty());
    now_ += std::chrono::duration<double>(86400);
    scheduler_.advance(3600);
    EXPECT_EQ(offload_->jobs.size(), 1U);
    offload_->finishAll();

    // Asked by the user, the same failure is a banner and an announcement.
    updater().check(true);
    offload_->finishAll();
    EXPECT_THAT(banners_, ElementsAre(Pair(kUnreachable, true)));
    EXPECT_THAT(announced_, ElementsAre(kUnreachable));
}

TEST_F(UpdaterTest, ANewVersionIsAnnouncedOnceUnlessTheUserAsksAndNothingIsDownloaded) {
    publish("1.1", false, "Faster scans.");
    for (const bool userAsked : {false, true, false}) {
        updater().check(userAsked);
        offload_->finishAll();
    }
    const std::string banner = "Ovra 1.1 is available. Install it in Settings, General.";
    EXPECT_THAT(banners_, ElementsAre(Pair(banner, false), Pair(banner, false)));
    EXPECT_THAT(downloader_->requests, ::testing::Each(OvraUpdates::manifestURL()));
    EXPECT_EQ(status(), "Ovra 1.1 is available. Faster scans.");  // the last check: no banner

    publish("1.0");
    updater().check(true);
    offload_->finishAll();
    EXPECT_THAT(banners_.back(), Pair("Ovra 1.0 is the latest version.", false));
    EXPECT_EQ(updater().state().available, std::nullopt);
}

TEST_F(UpdaterTest, ASecurityFixDownloadsAtOnceAndInstallsWhenOvraIsNotInUse) {
    publish("1.1", true);
    overlay_ = true;
    updater().check(false);
    offload_->finishOne();
    EXPECT_EQ(banners_.front().first,
              "Ovra 1.1 is a security fix. It installs by itself when Ovra is not in use.");
    ASSERT_EQ(offload_->jobs.size(), 1U);
    EXPECT_EQ(status(), "Downloading Ovra 1.1\u2026");

    // Install pressed during the automatic download: still downloading, and the user hears so.
    updater().installAvailable();
    EXPECT_THAT(banners_.back(), Pair("Downloading Ovra 1.1\u2026", false));
    EXPECT_EQ(offload_->jobs.size(), 1U);

    offload_->finishAll();
    scheduler_.advance(30);
    overlay_ = false;
    active_ = true;
    scheduler_.advance(30);
    EXPECT_TRUE(relaunched_.empty());
    active_ = false;
    scheduler_.advance(30);
    offload_->finishAll();
    ASSERT_EQ(relaunched_.size(), 1U);
    EXPECT_EQ(relaunched_[0], std::vector<std::string>{InstallMarker::executable(prefix_)});
    EXPECT_EQ(installedVersion(), "1.1");
    EXPECT_EQ(quits_, 0);
    scheduler_.advance(0.3);
    EXPECT_EQ(quits_, 1);

    // The next start reports it and removes the old version kept beside the new one.
    EXPECT_EQ(stagingFolders(prefix_).size(), 1U);
    restart("1.1");
    EXPECT_THAT(banners_, ElementsAre(Pair(std::string("Ovra updated to 1.1."), false)));
    EXPECT_TRUE(stagingFolders(prefix_).empty());
}

TEST_F(UpdaterTest, ASecurityFixThatFailedBeforeIsOfferedAndTheUserMayStillInstallIt) {
    defaults_.set(Updater::kFailedVersionKey, "1.1");
    publish("1.1", true);
    updater().check(false);
    offload_->finishAll();
    EXPECT_THAT(banners_, ElementsAre(Pair(
                              "Ovra 1.1 is available. Install it in Settings, General.", false)));
    EXPECT_EQ(downloader_->requests.size(), 1U);

    updater().installAvailable();
    offload_->finishAll();
    ASSERT_EQ(relaunched_.size(), 1U);
    EXPECT_TRUE(fs::exists(support_ / Updater::kReopenMarker));
    restart("1.1");
    EXPECT_EQ(generalShown_, 1);
    EXPECT_EQ(defaults_.object(Updater::kFailedVersionKey), std::nullopt);
}

TEST_F(UpdaterTest, ACopyThatCannotUpdateItselfSaysSoAndDownloadsNothing) {
    publish("1.1", true);
    // A package build's copy, and one in a prefix that also holds another program.
    const fs::path other = prefix_ / "bin" / "other-program";
    for (const bool shared : {false, true}) {
        writeLayout(prefix_, "1.0", shared);
        if (shared)
            writeText(other, "another program's");
        banners_.clear();
        downloader_->requests.clear();
        updater().check(true);
        offload_->finishAll();
        ASSERT_EQ(banners_.size(), 2U);
        EXPECT_THAT(banners_[1].first, ::testing::StartsWith("Ovra 1.1 is available, but this"));
        EXPECT_TRUE(banners_[1].second);
        EXPECT_FALSE(updater().state().busy);
        EXPECT_EQ(downloader_->requests.size(), 1U);
    }
    EXPECT_EQ(readText(other), "another program's");
    EXPECT_TRUE(stagingFolders(prefix_).empty());
}

TEST_F(UpdaterTest, OnlyAnArchiveOnTheDeveloperBasesOwnHostIsFetchedFromIt) {
    // What curl connects to decides: a user name that looks like the base's host and port is
    // on another host, and such an address is refused without a word.
    const std::string base = "http://127.0.0.1:8080";
    const std::pair<std::string, bool> rows[] = {
        {base + "@evil.example/ovra/u.tar.gz", false},
        {"http://evil.example#@127.0.0.1:8080/ovra/u.tar.gz", false},
        {base + "/ovra/u.tar.gz", true}};
    for (const auto& [url, fetched] : rows) {
        SCOPED_TRACE(url);
        writeText(served_ / "hooked.json", R"({"version":"1.1","url":")" + url + "\"}");
        downloader_->files[base + "/ovra/version.json"] = served_ / "hooked.json";
        downloader_->requests.clear();
        auto c = config();
        c.testBase = base;
        updater_ = std::make_unique<Updater>(std::move(c));
        updater().check(false);
        offload_->finishAll();
        banners_.clear();
        updater().installAvailable();
        offload_->finishAll();
        EXPECT_EQ(downloader_->requests.size(), fetched ? 2U : 1U);  // the manifest, the .sig
        EXPECT_EQ(banners_.empty(), !fetched);                       // a failed download is told
        EXPECT_FALSE(updater().state().busy);
    }
}

TEST_F(UpdaterTest, AProgramPutInThePrefixWhileAFixWaitsIsNeverSwappedAway) {
    publish("1.1", true);
    overlay_ = true;
    updater().check(false);
    offload_->finishAll();
    ASSERT_EQ(updater().stagedVersion(), "1.1");
    const fs::path other = prefix_ / "bin" / "other-program";
    writeText(other, "another program's");
    overlay_ = false;
    scheduler_.advance(30);
    offload_->finishAll();

    const auto receipt = OvraUpdates::Receipt::parse(readText(support_ / Updater::kReceiptFile));
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->status, "blocked");
    EXPECT_EQ(readText(other), "another program's");
    EXPECT_EQ(installedVersion(), "1.0");
    ASSERT_EQ(relaunched_.size(), 1U);
    EXPECT_EQ(relaunched_[0][0], InstallMarker::executable(prefix_));
    restart("1.0");
    ASSERT_EQ(banners_.size(), 1U);
    EXPECT_THAT(banners_[0].first, ::testing::HasSubstr("could not install 1.1"));
}

TEST_F(UpdaterTest, ASelfTestLaunchChecksDownloadsAndSweepsNothing) {
    publish("1.1", true);
    fs::create_directories(prefix_.parent_path() / ".murmlark-ovra.update-Ab12Cd");
    writeText(support_ / Updater::kReceiptFile, "ok\n1.1\n");
    auto c = config();
    c.selfTestLaunch = true;
    updater_ = std::make_unique<Updater>(std::move(c));
    updater().start();
    scheduler_.advance(3 * 86400);
    updater().check(true);
    updater().installAvailable();
    EXPECT_TRUE(offload_->jobs.empty() && downloader_->requests.empty() && banners_.empty());
    EXPECT_EQ(stagingFolders(prefix_).size(), 1U);
    EXPECT_TRUE(fs::exists(support_ / Updater::kReceiptFile));
}

TEST_F(UpdaterTest, TheLastAttemptIsReportedOnceAtTheNextStart) {
    const std::string notInstalled =
        "Ovra could not install 1.2, so it is still 1.0. Download it from qeld.ai to update.";
    const struct {
        std::string receipt;
        bool marker;
        std::string running;
        std::vector<std::pair<std::string, bool>> banners;
        int windows;
        std::optional<Json> failedVersion;
    } rows[] = {
        {"ok\n1.1\n", false, "1.1", {{"Ovra updated to 1.1.", false}}, 0, std::nullopt},
        {"ok\n1.1\n", true, "1.1", {{"Ovra updated to 1.1.", false}}, 1, std::nullopt},
        {"blocked\n1.0\nbusy", true, "1.0", {}, 0, Json("0.9")},
        {"restored\n1.2\nfull\n", true, "1.0", {{notInstalled + " (full)", true}}, 1, Json("1.2")},
        {"blocked\n1.2\n", false, "1.0", {{notInstalled, true}}, 0, Json("1.2")},
    };
    for (const auto& r : rows) {
        defaults_.set(Updater::kFailedVersionKey, "0.9");
        generalShown_ = 0;
        writeText(support_ / Updater::kReceiptFile, r.receipt);
        if (r.marker)
            writeText(support_ / Updater::kReopenMarker, "");
        restart(r.running);
        EXPECT_EQ(banners_, r.banners) << r.receipt;
        EXPECT_EQ(generalShown_, r.windows) << r.receipt;
        EXPECT_EQ(defaults_.object(Updater::kFailedVersionKey), r.failedVersion) << r.receipt;
        EXPECT_FALSE(fs::exists(support_ / Updater::kReceiptFile));
        EXPECT_FALSE(fs::exists(support_ / Updater::kReopenMarker));
    }
}

TEST_F(UpdaterTest, EveryWayTheSwapEndsLeavesARunnableVersionAndAReceipt) {
    const struct {
        std::string what;
        int exchange;
        std::array<int, 3> renames;
        std::string status;
        std::string runs;       // the version the relaunched program is
        std::string installed;  // the version in the prefix afterwards
        std::string detail;
    } rows[] = {
        {"exchange", 0, {}, "ok", "1.1", "1.1", ""},
        {"renames where no exchange exists", EINVAL, {}, "ok", "1.1", "1.1", ""},
        {"exchange refused", EACCES, {}, "blocked", "1.0", "1.0", "Permission denied"},
        {"old cannot move aside", EINVAL, {EBUSY, 0, 0}, "blocked", "1.0", "1.0", "busy"},
        {"new cannot move in", EXDEV, {0, EIO, 0}, "restored", "1.0", "1.0", "Input/output"},
        {"old cannot move back", ENOSYS, {0, EIO, EIO}, "restored", "1.0", "", "is now in"},
        {"new does not start", 0, {}, "restored", "1.0", "1.0", "exit status 127"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        publish("1.1", false, std::nullopt, r.what == "new does not start");
        fs::remove_all(prefix_);
        writeLayout(prefix_, "1.0");
        exchangeError_ = r.exchange;
        renameErrors_ = r.renames;
        renames_ = 0;
        relaunched_.clear();
        restart("1.0");
        updater().check(false);
        offload_->finishAll();
        updater().installAvailable();
        offload_->finishAll();

        const auto receipt =
            OvraUpdates::Receipt::parse(readText(support_ / Updater::kReceiptFile));
        ASSERT_TRUE(receipt);
        EXPECT_EQ(receipt->status, r.status);
        EXPECT_THAT(receipt->detail, ::testing::HasSubstr(r.detail));
        ASSERT_EQ(relaunched_.size(), 1U);
        const std::string program = readText(relaunched_[0][0]);
        EXPECT_THAT(program, ::testing::HasSubstr("v=" + r.runs + "\n"));
        EXPECT_EQ(fs::exists(prefix_) ? installedVersion() : "", r.installed);

        // The next start says how it went; a failed version is not retried by itself.
        restart(r.runs);
        ASSERT_EQ(banners_.size(), 1U);
        EXPECT_EQ(banners_[0].second, r.status != "ok");
        EXPECT_EQ(defaults_.object(Updater::kFailedVersionKey).has_value(), r.status != "ok");
        defaults_.remove(Updater::kFailedVersionKey);
    }
}

}  // namespace
}  // namespace ovra::testing
