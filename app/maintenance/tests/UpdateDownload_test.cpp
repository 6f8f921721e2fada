#include <gmock/gmock.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <set>
#include <thread>

#include "app/maintenance/Uninstaller.h"
#include "app/maintenance/VersionHandshake.h"
#include "app/maintenance/tests/UpdaterFixture.h"
#include "platform/crypto/Sha256.h"
#include "platform/process/Relaunch.h"
#include "testing/ArchiveBuilder.h"
#include "testing/LoopbackServer.h"

namespace ovra::testing {
namespace {

using namespace std::chrono_literals;

// The test thread plays the main thread: it runs what the worker hands back while it waits.
class MainQueue {
  public:
    void post(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(work));
    }
    // Runs handed-back work until `done` holds; false after 20 s without it.
    bool pumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        for (; !done(); std::this_thread::sleep_for(5ms)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::unique_lock lock(mutex_);
            auto ready = std::exchange(jobs_, {});
            lock.unlock();
            for (auto& work : ready)
                work();
        }
        return true;
    }

  private:
    std::mutex mutex_;
    std::vector<std::function<void()>> jobs_;
};

// The real downloader against a server on 127.0.0.1 named by the developer base, the real
// worker thread, and a prefix whose path no shell would leave alone.
class UpdateOverHttp : public UpdaterTest {
  protected:
    UpdateOverHttp() {
        fs::remove_all(prefix_.parent_path());
        prefix_ = root_ / "it's $(touch x); \"odd\"" / "murmlark-ovra";
        writeLayout(prefix_, "1.0");
        ::setenv("OVRA_STANDIN_LOG", (root_ / "standin.log").c_str(), 1);
    }
    ~UpdateOverHttp() override { updater_.reset(); }

    Updater::Config config() override {
        Updater::Config c = UpdaterTest::config();
        c.testBase = server_.base();
        c.downloader = download::makeDownloader();
        c.offload = worker_;
        c.stallSeconds = 0.5;
        c.checkDeadline = 1;
        c.downloadDeadline = 1;
        return c;
    }
    void serve(const std::string& archive, const std::string& signature) {
        const std::string url = server_.base() + "/ovra/u.tar.gz";
        server_.route("/ovra/version.json",
                      Reply{200, R"({"version":"1.1","url":")" + url + "\"}"});
        server_.route("/ovra/u.tar.gz", Reply{200, archive});
        server_.route("/ovra/u.tar.gz.sig", Reply{200, signature});
    }
    // Checks, then installs, as the user does in the settings window.
    void checkAndInstall() {
        updater().check(true);
        ASSERT_TRUE(main_.pumpUntil([this] { return !updater().state().busy; }));
        updater().installAvailable();
        ASSERT_TRUE(main_.pumpUntil([this] { return !updater().state().busy; }));
    }

    MainQueue main_;
    LoopbackServer server_;
    std::shared_ptr<WorkerThread> worker_ = std::make_shared<WorkerThread>(
        [this](std::function<void()> f) { main_.post(std::move(f)); });
};

// Install, update, remove, as a user and a maintainer do them: `cmake --install` puts the app in
// a prefix of its own beside another program, the maintainer packs a release from an install
// into a scratch folder (tools/release/README.md), the app updates itself and is removed.
TEST_F(UpdateOverHttp, TheReleaseLayoutsRoundTripLeavesNothingOfOursAndTouchesNothingElse) {
    const fs::path home = root_ / "home", data = support_.parent_path();
    const auto install = [&](const fs::path& prefix, const std::string& version) {
        std::string quoted = prefix.string();
        for (std::size_t at = 0; (at = quoted.find('\'', at)) != std::string::npos; at += 4)
            quoted.replace(at, 1, "'\\''");
        const std::string command =
            "env HOME='" + home.string() + "' XDG_DATA_HOME='" + data.string() +
            "' " CMAKE_COMMAND " --install " OVRA_BUILD_DIR " --prefix '" + quoted + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        // The build as installed passes the handshake an update asks of it.
        EXPECT_EQ(
            update::startFailure(InstallMarker::executable(prefix), OVRA_PROJECT_VERSION, 30s),
            std::nullopt);
        writeStandIn(prefix, version);
    };
    fs::remove_all(prefix_);
    install(prefix_, "1.0");
    const fs::path entry = data / "applications" / "murmlark-ovra.desktop";
    const std::string menuEntry = readText(entry);
    const fs::path others[] = {prefix_.parent_path() / "other-program" / "x",
                               data / "applications" / "other.desktop",
                               home / "murmlark-ovra-notes.txt"};
    for (const auto& file : others)
        writeText(file, "not ours");

    const fs::path layout = root_ / "layout";
    install(layout, "1.1");
    writeText(root_ / "key.pem", key_.pem());
    const std::string pack = std::string(OVRA_RELEASE_TOOL) + " pack --version 1.1 --layout " +
                             layout.string() + " --key " + (root_ / "key.pem").string() +
                             " --out " + served_.string() + " --base-url " + server_.base() +
                             "/ovra >/dev/null";
    ASSERT_EQ(std::system(pack.c_str()), 0);
    for (const auto& file : fs::directory_iterator(served_))
        server_.route("/ovra/" + file.path().filename().string(), Reply{200, readText(file)});

    // The running app is a child process here, which quitting (or the end of the test) ends.
    const pid_t app = ::fork();
    if (app == 0) {
        for (;;)
            ::pause();
    }
    const auto end = [app, alive = std::make_shared<bool>(true)] {
        if (std::exchange(*alive, false)) {
            ::kill(app, SIGKILL);
            ::waitpid(app, nullptr, 0);
        }
    };
    const std::shared_ptr<void> guard(nullptr, [end](void*) { end(); });
    auto c = config();
    updater_ = std::make_unique<Updater>([&] {
        c.relaunchArguments = {"--no-dashboard"};
        c.relaunch = [app](const std::vector<std::string>& argv) {
            return process::startAfterExit(app, argv, 20s);
        };
        c.quit = end;
        return c;
    }());
    checkAndInstall();
    ASSERT_TRUE(main_.pumpUntil([&] { return fs::exists(support_ / Updater::kReceiptFile); }));

    // The new version starts only once the old one has quit.
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(fs::exists(root_ / "standin.log"));
    scheduler_.advance(0.3);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (readText(root_ / "standin.log").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(readText(root_ / "standin.log"), "1.1 --no-dashboard\n");
    // The menu entry and the record of it are the installed copy's; nothing names the layout.
    EXPECT_EQ(readText(entry), menuEntry);
    EXPECT_EQ(readText(InstallListing::outsideFile(prefix_)), entry.string() + "\n");
    EXPECT_FALSE(fs::exists(prefix_ / "share" / "applications"));
    EXPECT_EQ(InstallMarker::selfUpdateRefusal(prefix_, home), std::nullopt);

    restart("1.1");
    EXPECT_EQ(banners_,
              (std::vector<std::pair<std::string, bool>>{{"Ovra updated to 1.1.", false}}));
    EXPECT_TRUE(stagingFolders(prefix_).empty());

    const auto env = [&](const char* name) -> std::optional<std::string> {
        const std::string n(name);
        return n == "HOME" ? home : n == "XDG_DATA_HOME" ? data : root_ / n;
    };
    std::optional<std::vector<UninstallerText::Remaining>> notRemoved;
    Uninstaller({env, "ai.qeld.murmlark-ovra", prefix_}, {}, false)
        .removeEverything([&](const auto& remaining) { notRemoved = remaining; });
    EXPECT_THAT(notRemoved, ::testing::Optional(::testing::IsEmpty()));
    EXPECT_FALSE(fs::exists(prefix_) || fs::exists(entry));
    EXPECT_TRUE(fs::exists(data / "Trash" / "files" / "murmlark-ovra" / "bin" / "murmlark-ovra"));
    for (const auto& file : others)
        EXPECT_EQ(readText(file), "not ours") << file;
    // Nothing else is left but the Trash, what the maintainer made and the stand-in's log.
    const std::set<fs::path> kept = {data / "Trash", layout, served_, root_ / "key.pem",
                                     root_ / "standin.log"};
    std::vector<fs::path> left;
    for (auto it = fs::recursive_directory_iterator(root_); it != decltype(it)(); ++it) {
        if (kept.contains(it->path())) {
            it.disable_recursion_pending();
        } else if (!it->is_directory() && std::find(std::begin(others), std::end(others),
                                                    it->path()) == std::end(others)) {
            left.push_back(it->path());
        }
    }
    EXPECT_THAT(left, ::testing::IsEmpty());
    EXPECT_FALSE(fs::exists(prefix_) || fs::exists(support_));
}

TEST_F(UpdateOverHttp, EveryBadDownloadEndsTheSameWayWithTheOldVersionIntactAndNothingLeft) {
    const fs::path layout = root_ / "layout";
    writeLayout(layout, "1.1");
    const fs::path good = root_ / "good.tar.gz";
    ASSERT_TRUE(release::packLayout(layout, good));
    const std::string archive = readText(good);
    const std::string platform = release::thisPlatform();
    const auto sign = [&](const fs::path& file, const std::string& version,
                          const crypto::Ed25519PrivateKey& key) {
        return release::signArchive(file, version, platform, key).value();
    };
    const auto hostile = [&](const char* name, TarEntry entry) {
        const fs::path out = root_ / name;
        writeTar(out,
                 {file("bin/murmlark-ovra", "#!/bin/sh\n", 0755), entry,
                  file(InstallMarker::file("").string(), InstallMarker::text(true))},
                 true);
        return std::pair{readText(out), sign(out, "1.1", key_)};
    };
    release::Statement otherApp{"ai.qeld.other", "1.1", platform, archive.size(), ""};
    otherApp.sha256 = crypto::sha256OfFile(good).value();
    std::string tampered = archive;
    tampered[tampered.size() / 2] ^= 1;
    const auto [dotdot, dotdotSig] = hostile("dotdot.tar.gz", ovra::testing::file("../x", "x"));
    const auto [link, linkSig] =
        hostile("link.tar.gz", TarEntry{"share/etc", TarEntry::Type::symlink, "/etc"});

    const struct {
        std::string what;
        std::string archive;
        std::string signature;
        std::optional<Reply> reply;
    } rows[] = {
        {"a tampered byte", tampered, sign(good, "1.1", key_), {}},
        {"another key", archive, sign(good, "1.1", crypto::Ed25519PrivateKey::generate()), {}},
        {"another version", archive, sign(good, "1.2", key_), {}},
        {"another app", archive, release::signatureFile(otherApp, key_.sign(otherApp.text())), {}},
        {"a climbing name", dotdot, dotdotSig, {}},
        {"a link to /etc", link, linkSig, {}},
        {"an oversized body", archive + "more", sign(good, "1.1", key_), {}},
        {"a 404", archive, sign(good, "1.1", key_), Reply{404, "gone"}},
        {"a time-out", archive, sign(good, "1.1", key_), Reply{200, archive, "", -1, 10}},
        {"a dripping server", archive, sign(good, "1.1", key_),
         Reply{200, archive, "", -1, -1, 20}},
        {"a redirect", archive, sign(good, "1.1", key_),
         Reply{302, "", server_.base() + "/ovra/u.tar.gz"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        serve(r.archive, r.signature);
        if (r.reply)
            server_.route("/ovra/u.tar.gz", *r.reply);
        updater_.reset();
        banners_.clear();
        checkAndInstall();
        const std::string failed =
            "Ovra 1.1 could not be downloaded. Ovra will try again tomorrow.";
        EXPECT_EQ(status(), failed);
        EXPECT_EQ(banners_.back(), std::pair(failed, true));
        EXPECT_EQ(installedVersion(), "1.0");
        EXPECT_TRUE(stagingFolders(prefix_).empty());
        EXPECT_FALSE(fs::exists(prefix_.parent_path() / "x"));
    }
}

TEST_F(UpdateOverHttp, AnUpdateHostThatDripsItsManifestIsGivenUpByTheCheckDeadline) {
    // A byte every 20 ms never stalls; the whole would take 40 s.
    const std::string manifest =
        R"({"version":"1.1","url":"x","notes":")" + std::string(2000, 'n') + "\"}";
    server_.route("/ovra/version.json", Reply{200, manifest, "", -1, -1, 20});
    updater().check(true);
    ASSERT_TRUE(main_.pumpUntil([this] { return !updater().state().busy; }));
    EXPECT_EQ(status(), "Could not reach qeld.ai to check for updates.");
    EXPECT_EQ(updater().state().available, std::nullopt);
}

}  // namespace
}  // namespace ovra::testing
