#pragma once

// Test support for the updater: an installed prefix with a stand-in executable, releases signed
// with a key made for the test, a downloader serving files by address, an offload run by hand,
// and an updater wired to all of it with a manual clock.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>

#include "app/maintenance/InstallListing.h"
#include "app/maintenance/InstallMarker.h"
#include "app/maintenance/Updater.h"
#include "platform/download/FakeDownloader.h"
#include "platform/scheduler/ManualScheduler.h"
#include "testing/Files.h"
#include "tools/release/ReleasePack.h"

namespace ovra::testing {

namespace fs = std::filesystem;

// A prefix as `cmake --install` leaves it, with its listing. Its executable answers the version
// handshake (unless it `cannotStart`) and otherwise appends its version and arguments to the
// file named by $OVRA_STANDIN_LOG.
inline void writeStandIn(const fs::path& prefix, const std::string& version,
                         bool cannotStart = false) {
    const fs::path exe = InstallMarker::executable(prefix);
    writeText(exe, "#!/bin/sh\nv=" + version + "\n[ \"$1\" = --version ] && " +
                       (cannotStart ? "exit 127" : "echo \"murmlark-ovra $v\" && exit") +
                       "\necho \"$v $*\" >> \"$OVRA_STANDIN_LOG\"\n");
    fs::permissions(exe, fs::perms(0755));
}
inline void writeLayout(const fs::path& prefix, const std::string& version, bool selfUpdate = true,
                        bool cannotStart = false) {
    writeStandIn(prefix, version, cannotStart);
    writeText(InstallMarker::file(prefix), InstallMarker::text(selfUpdate));
    EXPECT_TRUE(InstallListing::writeFor(prefix));
}

inline std::vector<fs::path> stagingFolders(const fs::path& prefix) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(prefix.parent_path()))
        if (update::isStagingFolderOf(e.path(), prefix))
            out.push_back(e.path());
    return out;
}

using download::FakeDownloader;

class UpdaterTest : public ::testing::Test {
  protected:
    UpdaterTest() { writeLayout(prefix_, "1.0"); }
    ~UpdaterTest() override {
        updater_.reset();
        fs::remove_all(root_);
    }

    // Publishes `version` on the update host: the manifest, the archive and its signature.
    void publish(const std::string& version, bool critical = false,
                 std::optional<std::string> notes = std::nullopt, bool cannotStart = false) {
        const fs::path layout = root_ / "layouts" / version;
        writeLayout(layout, version, true, cannotStart);
        release::PackRequest request{
            layout,           version, release::thisPlatform(), served_, "https://qeld.ai/ovra",
            std::move(notes), critical};
        auto packed = release::packRelease(request, key_);
        EXPECT_TRUE(packed) << packed.error();
        downloader_->files[OvraUpdates::manifestURL()] = packed->manifest;
        const std::string url = "https://qeld.ai/ovra/" + packed->archive.filename().string();
        downloader_->files[url] = packed->archive;
        downloader_->files[release::signatureURL(url)] = packed->signature;
    }

    virtual Updater::Config config() {
        Updater::Config c;
        c.currentVersion = running_;
        c.prefix = prefix_;
        c.home = root_ / "home";
        c.supportFolder = support_;
        c.keys = {key_.publicKey()};
        c.platform = release::thisPlatform();
        c.downloader = downloader_;
        c.scheduler = &scheduler_;
        c.defaults = &defaults_;
        c.offload = offload_;
        c.now = [this] { return now_; };
        c.banner = [this](const std::string& text, bool problem) {
            banners_.emplace_back(text, problem);
        };
        c.announce = [this](const std::string& text) { announced_.push_back(text); };
        c.overlayVisible = [this] { return overlay_; };
        c.appActive = [this] { return active_; };
        c.showGeneralSettings = [this] { ++generalShown_; };
        c.relaunch = [this](const std::vector<std::string>& argv) -> Result<bool> {
            relaunched_.push_back(argv);
            return true;
        };
        c.quit = [this] { ++quits_; };
        c.renames.exchange = [this](const fs::path& a, const fs::path& b) {
            return exchangeError_ != 0 ? exchangeError_ : paths::systemRenames().exchange(a, b);
        };
        c.renames.rename = [this](const fs::path& from, const fs::path& to) {
            const int error = renameErrors_[std::min<std::size_t>(renames_++, 2)];
            return error != 0 ? error : paths::systemRenames().rename(from, to);
        };
        c.log = [](const std::string& line) { std::cerr << "updater: " << line << "\n"; };
        return c;
    }

    Updater& updater() {
        if (!updater_)
            updater_ = std::make_unique<Updater>(config());
        return *updater_;
    }
    // The next start of the app, running `version`.
    void restart(const std::string& version) {
        updater_.reset();
        running_ = version;
        banners_.clear();
        updater().start();
    }
    std::string status() const { return updater_->state().status.value_or(""); }
    std::string installedVersion() const {
        const std::string script = readText(InstallMarker::executable(prefix_));
        return script.substr(script.find("v=") + 2, 3);
    }

    const fs::path root_ =
        fs::temp_directory_path() / ("ovra-updater-" + std::to_string(::getpid()));
    fs::path prefix_ = root_ / "apps" / "murmlark-ovra";
    // Where the app keeps its data: the XDG data folder's "Murmlark Ovra".
    const fs::path support_ = root_ / "data" / "Murmlark Ovra";
    const fs::path served_ = root_ / "served";
    std::string running_ = "1.0";
    crypto::Ed25519PrivateKey key_ = crypto::Ed25519PrivateKey::generate();
    ManualScheduler scheduler_;
    InMemoryDefaults defaults_;
    std::shared_ptr<ManualOffload> offload_ = std::make_shared<ManualOffload>();
    std::shared_ptr<FakeDownloader> downloader_ = std::make_shared<FakeDownloader>();
    OvraUpdates::Date now_{std::chrono::duration<double>(1714564800)};  // 2024-05-01 12:00 UTC
    bool overlay_ = false;
    bool active_ = false;
    int generalShown_ = 0;
    int quits_ = 0;
    std::vector<std::pair<std::string, bool>> banners_;
    std::vector<std::string> announced_;
    std::vector<std::vector<std::string>> relaunched_;
    // Swap steps that fail with these errors (no permission makes a rename fail for root).
    int exchangeError_ = 0;
    std::array<int, 3> renameErrors_{};  // the old aside, the new in, the old back
    std::size_t renames_ = 0;
    std::unique_ptr<Updater> updater_;
};

}  // namespace ovra::testing
