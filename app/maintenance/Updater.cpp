#include "app/maintenance/Updater.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/maintenance/InstallMarker.h"
#include "app/maintenance/ReleaseKey.h"
#include "app/maintenance/ReleaseStatement.h"
#include "app/maintenance/UpdateHooks.h"
#include "core/OvraText.h"
#include "platform/defaults/DefaultsDates.h"
#include "platform/io/Uninterrupted.h"
#include "platform/process/Relaunch.h"

#ifndef OVRA_VERSION
#error "OVRA_VERSION must name the version of this build"
#endif

namespace ovra {

namespace fs = std::filesystem;
using OvraUpdates::Manifest;

namespace {

constexpr std::size_t kMaxReceiptBytes = 64 * 1024;
constexpr std::chrono::seconds kRelaunchWait{30};

// ---- texts ----

std::string domain() {
    return std::string(OvraUpdates::webDomain);
}
std::string unreachableText() {
    return OvraText::f("Could not reach %@ to check for updates.", {domain()});
}
std::string latestText(const std::string& current) {
    return OvraText::f("Ovra %@ is the latest version.", {current});
}
std::string securityFixText(const std::string& v) {
    return OvraText::f("Ovra %@ is a security fix. It installs by itself when Ovra is not in use.",
                       {v});
}
std::string availableText(const Manifest& m) {
    std::string text = OvraText::f("Ovra %@ is available.", {m.version});
    if (m.notes)
        text += " " + *m.notes;
    return text;
}
std::string availableInSettingsText(const std::string& v) {
    return OvraText::f("Ovra %@ is available. Install it in Settings, General.", {v});
}
std::string updatedText(const std::string& v) {
    return OvraText::f("Ovra updated to %@.", {v});
}
std::string couldNotInstallText(const std::string& v, const std::string& current,
                                const std::string& detail) {
    std::string text =
        OvraText::f("Ovra could not install %@, so it is still %@. Download it from %@ to update.",
                    {v, current, domain()});
    if (!detail.empty())
        text += " (" + detail + ")";
    return text;
}
std::string locationText(const std::string& v) {
    return OvraText::f(
        "Ovra %@ is available, but this copy of Ovra cannot update itself: it was installed by "
        "a package manager or into a folder it does not own. Update it the way it was installed.",
        {v});
}
std::string downloadingText(const std::string& v) {
    return OvraText::f("Downloading Ovra %@\u2026", {v});
}
std::string couldNotDownloadText(const std::string& v) {
    return OvraText::f("Ovra %@ could not be downloaded. Ovra will try again tomorrow.", {v});
}

// ---- small files ----

std::optional<std::string> readSmallFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(kMaxReceiptBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// Writes a temporary file beside `file`, flushes it to disk and renames it into place, so a
// reader sees the old text or the new one, never half of it. Errors are ignored.
void writeAtomically(const fs::path& file, const std::string& text) {
    std::string temporary = file.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return;
    bool ok = io::writeAll(fd, text);
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), file.c_str()) != 0)
        ::unlink(temporary.c_str());
}

}  // namespace

// ---- set-up ----

Updater::Config Updater::standardConfig(const paths::Environment& env) {
    Config c;
    c.currentVersion = OVRA_VERSION;
    std::error_code ec;
    c.prefix = fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
    c.home = env("HOME").value_or("");
    c.supportFolder = paths::supportFolder(env);
    c.keys.push_back(crypto::fromHex<32>(update::kReleasePublicKey).value());
    const update::Hooks hooks = update::readHooks(env);
    c.testBase = hooks.base;
    if (hooks.testKey)
        c.keys.push_back(*hooks.testKey);
    c.platform = release::thisPlatform();
    c.downloader = download::makeDownloader();
    c.relaunch = [](const std::vector<std::string>& argv) {
        return process::startAfterExit(::getpid(), argv, kRelaunchWait);
    };
    return c;
}

Updater::Updater(Config config) : config_(std::move(config)) {
    config_.prefix = config_.prefix.lexically_normal();
    if (!config_.prefix.has_filename())
        config_.prefix = config_.prefix.parent_path();
}

Updater::~Updater() {
    *alive_ = false;
    cancel_->store(true);
    for (const Scheduler::Token token : {timer_, idleWait_, firstCheck_})
        config_.scheduler->cancel(token);
}

void Updater::offload(std::function<void()> work, std::function<void()> then) {
    config_.offload->run(std::move(work),
                         [alive = std::weak_ptr<bool>(alive_), then = std::move(then)] {
                             if (const auto a = alive.lock(); a && *a)
                                 then();
                         });
}

// ---- state ----

void Updater::changed() {
    if (observer_)
        observer_();
}
void Updater::setStatus(std::optional<std::string> status) {
    state_.status = std::move(status);
    changed();
}
void Updater::setBusy(bool busy) {
    state_.busy = busy;
    changed();
}
void Updater::setAvailable(std::optional<Manifest> available) {
    state_.available = std::move(available);
    changed();
}
void Updater::log(const std::string& line) const {
    if (config_.log)
        config_.log(line);
}

std::optional<std::string> Updater::stagedVersion() const {
    if (!staged_)
        return std::nullopt;
    return staged_->version;
}

void Updater::say(const std::string& text, bool problem) {
    setStatus(text);
    if (config_.banner)
        config_.banner(text, problem);
    if (config_.announce)
        config_.announce(text);
}

// ---- start-up and schedule ----

void Updater::start() {
    if (config_.selfTestLaunch) {
        log("a self-test launch: no update check, download or clean-up");
        return;
    }
    reportLastAttempt();
    update::sweepStagingFolders(config_.prefix);
    timer_ = config_.scheduler->every(kDueCheckInterval, [this] { checkIfDue(); });
    firstCheck_ = config_.scheduler->after(kFirstCheckDelay, [this] {
        firstCheck_ = 0;
        check(false);
    });
}

void Updater::checkIfDue() {
    std::optional<OvraUpdates::Date> last;
    if (const auto stored = DefaultsDates::read(*config_.defaults, kLastCheckKey))
        last = *stored;
    if (OvraUpdates::shouldCheck(last, config_.now()))
        check(false);
}

void Updater::reportLastAttempt() {
    const fs::path receiptFile = config_.supportFolder / kReceiptFile;
    const fs::path marker = config_.supportFolder / kReopenMarker;
    std::optional<OvraUpdates::Receipt> receipt;
    if (const auto text = readSmallFile(receiptFile)) {
        if (auto parsed = OvraUpdates::Receipt::parse(*text))
            receipt = *parsed;
    }
    std::error_code ec;
    fs::remove(receiptFile, ec);
    const bool reopen = fs::exists(fs::symlink_status(marker, ec));
    fs::remove(marker, ec);

    const auto outcome = OvraUpdates::outcome(receipt, config_.currentVersion);
    switch (outcome.kind) {
        case OvraUpdates::Outcome::Kind::updated:
            config_.defaults->remove(kFailedVersionKey);
            say(updatedText(outcome.version), false);
            break;
        case OvraUpdates::Outcome::Kind::failed:
            config_.defaults->set(kFailedVersionKey, outcome.version);
            say(couldNotInstallText(outcome.version, config_.currentVersion, outcome.detail), true);
            break;
        case OvraUpdates::Outcome::Kind::nothing:
            return;
    }
    if (reopen && config_.showGeneralSettings)
        config_.showGeneralSettings();
}

// ---- the check ----

std::string Updater::manifestAddress() const {
    if (!config_.testBase)
        return OvraUpdates::manifestURL();
    std::string base = *config_.testBase;
    if (!base.ends_with('/'))
        base += '/';
    return base + "ovra/version.json";
}

void Updater::check(bool userAsked) {
    if (state_.busy || installing_ || config_.selfTestLaunch)
        return;
    setBusy(true);
    // A check that then fails counts for the daily rule too.
    DefaultsDates::write(
        *config_.defaults, kLastCheckKey,
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(config_.now()));
    auto manifest = std::make_shared<std::optional<Manifest>>();
    auto reason = std::make_shared<std::string>();
    offload(
        [downloader = config_.downloader, url = manifestAddress(), deadline = config_.checkDeadline,
         cancel = cancel_, manifest, reason] {
            auto fetched = update::fetchManifest(*downloader, url, deadline, *cancel);
            if (fetched)
                *manifest = *fetched;
            else
                *reason = fetched.error();
        },
        [this, manifest, reason, userAsked] {
            if (!*manifest)
                log("update check failed: " + *reason);
            checked(*manifest, userAsked);
        });
}

void Updater::checked(const std::optional<Manifest>& manifest, bool userAsked) {
    setBusy(false);
    if (!manifest) {
        if (userAsked)
            say(unreachableText(), true);
        else
            setStatus(unreachableText());
        return;
    }
    const Manifest& m = *manifest;
    if (!OvraUpdates::isNewer(m.version, config_.currentVersion)) {
        setAvailable(std::nullopt);
        if (userAsked)
            say(latestText(config_.currentVersion), false);
        else
            setStatus(latestText(config_.currentVersion));
        return;
    }
    const bool announce = userAsked || !state_.available || state_.available->version != m.version;
    setAvailable(m);
    const auto failed = config_.defaults->object(kFailedVersionKey);
    const bool failedBefore =
        failed && failed->is_string() && failed->get<std::string>() == m.version;
    if (m.isCritical() && !failedBefore) {
        if (announce)
            say(securityFixText(m.version), false);
        else
            setStatus(securityFixText(m.version));
        if (staged_ && staged_->version == m.version) {
            installWhenIdle();
        } else {
            prepare(m, userAsked, [this](bool ok) {
                if (ok)
                    installWhenIdle();
            });
        }
        return;
    }
    setStatus(availableText(m));
    if (announce)
        say(availableInSettingsText(m.version), false);
}

// ---- download ----

std::optional<std::string> Updater::downloadURL(const std::string& address) const {
    // The signature file's address is the archive's with ".sig" added: no query or fragment.
    if (address.find_first_of("?#") != std::string::npos)
        return std::nullopt;
    // The host as the downloader reads it, so the host approved is the host connected to.
    const auto host = update::webHost(address);
    if (config_.testBase && host && host == update::webHost(*config_.testBase))
        return address;
    const auto trusted = OvraUpdates::trustedDownload(address);
    if (!trusted || !host || (*host != domain() && *host != "www." + domain()))
        return std::nullopt;
    return trusted;
}

void Updater::prepare(const Manifest& m, bool userAsked, std::function<void(bool)> done) {
    const auto url = downloadURL(m.url);
    if (!url) {
        log("the update address is not trusted: " + m.url);
        done(false);
        return;
    }
    setBusy(true);
    downloading_ = true;
    setStatus(downloadingText(m.version));
    update::PackageRequest request{*url,
                                   m.version,
                                   config_.prefix,
                                   config_.keys,
                                   config_.platform,
                                   config_.downloader,
                                   config_.stallSeconds,
                                   config_.downloadDeadline,
                                   config_.maxArchiveBytes};
    auto staged = std::make_shared<std::optional<update::Staged>>();
    auto reason = std::make_shared<std::string>();
    auto refusal = std::make_shared<std::optional<InstallMarker::Refusal>>();
    offload(
        [request = std::move(request), home = config_.home, cancel = cancel_, staged, reason,
         refusal] {
            // Only a prefix that is the app's alone is replaced; the prefix is read here, away
            // from the main thread, as it may be on any file system.
            *refusal = InstallMarker::selfUpdateRefusal(request.prefix, home);
            if (*refusal)
                return;
            auto result = update::downloadAndVerify(request, *cancel);
            if (result)
                *staged = *result;
            else
                *reason = result.error();
        },
        [this, staged, reason, refusal, userAsked, version = m.version, done = std::move(done)] {
            downloading_ = false;
            if (*refusal) {
                log("the install at " + config_.prefix.string() + " cannot update itself (" +
                    std::to_string(static_cast<int>(**refusal)) + ")");
                setBusy(false);
                say(locationText(version), true);
                done(false);
                return;
            }
            if (*staged) {
                dropStaged();
                staged_ = std::move(**staged);
                setBusy(false);
                done(true);
                return;
            }
            log("update download failed: " + *reason);
            if (userAsked)
                say(couldNotDownloadText(version), true);
            else
                setStatus(couldNotDownloadText(version));
            setBusy(false);
            done(false);
        });
}

void Updater::dropStaged() {
    if (!staged_)
        return;
    std::error_code ec;
    fs::remove_all(staged_->work, ec);
    staged_.reset();
}

// ---- install ----

void Updater::installAvailable() {
    if (!state_.available || installing_ || config_.selfTestLaunch)
        return;
    if (state_.busy) {
        // An automatic download is under way: say so rather than drop the press unanswered.
        if (downloading_ && state_.status)
            say(*state_.status, false);
        return;
    }
    const Manifest m = *state_.available;
    if (staged_ && staged_->version == m.version) {
        install(true);
        return;
    }
    prepare(m, true, [this](bool ok) {
        if (ok)
            install(true);
    });
}

bool Updater::idle() const {
    return OvraUpdates::mayInstall(false, true, config_.overlayVisible(), config_.appActive());
}

void Updater::installWhenIdle() {
    config_.scheduler->cancel(idleWait_);
    idleWait_ = 0;
    if (idle()) {
        install(false);
        return;
    }
    idleWait_ = config_.scheduler->every(kIdlePollInterval, [this] {
        if (!staged_ || !idle())
            return;
        config_.scheduler->cancel(idleWait_);
        idleWait_ = 0;
        install(false);
    });
}

void Updater::writeReceipt(const OvraUpdates::Receipt& receipt) {
    std::error_code ec;
    fs::create_directories(config_.supportFolder, ec);
    writeAtomically(config_.supportFolder / kReceiptFile, receipt.text());
}

void Updater::install(bool reopen) {
    if (!staged_ || installing_)
        return;
    config_.scheduler->cancel(idleWait_);
    idleWait_ = 0;
    std::error_code ec;
    fs::create_directories(config_.supportFolder, ec);
    if (reopen || (config_.windowOpen && config_.windowOpen()))
        writeAtomically(config_.supportFolder / kReopenMarker, "");

    update::InstallRequest request{
        std::move(*staged_), config_.prefix, config_.currentVersion, config_.renames,
        std::chrono::milliseconds(static_cast<std::int64_t>(config_.startSeconds * 1000))};
    staged_.reset();
    installing_ = true;
    auto result = std::make_shared<update::Installed>();
    offload([request = std::move(request), result] { *result = update::installStaged(request); },
            [this, result] {
                installing_ = false;
                installed(*result);
            });
}

void Updater::installed(const update::Installed& result) {
    writeReceipt(result.receipt);
    log("install of " + result.receipt.version + ": " + result.receipt.status + " " +
        result.receipt.detail);
    std::vector<std::string> argv{result.program.string()};
    argv.insert(argv.end(), config_.relaunchArguments.begin(), config_.relaunchArguments.end());
    if (const auto started = config_.relaunch(argv); !started) {
        // Without a successor, quitting would leave the user with no app at all; the receipt
        // is reported at the next start instead.
        log("could not start " + result.program.string() + ": " + started.error());
        return;
    }
    config_.scheduler->after(kQuitDelay, [quit = config_.quit] { quit(); });
}

}  // namespace ovra
