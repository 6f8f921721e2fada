#include "app/main/DesktopDashboard.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <thread>

#include "app/accessibility/AccessibilityFeatures.h"
#include "app/maintenance/Uninstaller.h"
#include "app/maintenance/UninstallerDialogs.h"
#include "app/maintenance/Updater.h"
#include "app/model/ClassifierLoading.h"
#include "app/model/ModelSupervisor.h"
#include "app/settings/SettingsWindowHost.h"
#include "core/OvraText.h"
#include "platform/paths/Paths.h"

namespace ovra {

namespace {

ModelState::Install installOf(const EngineInstaller::Stage& stage) {
    using Kind = EngineInstaller::Stage::Kind;
    switch (stage.kind) {
        case Kind::working:
            return ModelState::Install::working;
        case Kind::failed:
            return ModelState::Install::failed;
        case Kind::done:
            return ModelState::Install::done;
        case Kind::idle:
            break;
    }
    return ModelState::Install::idle;
}

std::vector<std::string> arguments() {
    std::vector<std::string> out;
    for (const QString& argument : QCoreApplication::arguments()) {
        out.push_back(argument.toStdString());
    }
    return out;
}

}  // namespace

DesktopDashboard::DesktopDashboard(Services services)
    : services_(std::move(services)),
      reader_({model_, services_.voice, services_.prefs, services_.scheduler,
               [] { return DictationSource::desktop(); }}),
      opener_(desktop::DesktopSettingsOpener::forThisSession()),
      appNames_(paths::processEnvironment) {
    AppController& controller = services_.controller;
    // The controller's poll is the one that reads the permission and says when it arrives; the
    // guide shows what it found.
    guide_ = std::make_unique<PermissionGuide>(PermissionGuide::Services{
        services_.scheduler,
        [&controller] { return controller.trusted(); },
        accessibilitySwitch_,
        opener_,
        services_.sendWindowsBack,
        // Why turning access on failed is said on the settings window; the arrival is the
        // controller's to say (its banner, Home, the announcement), once.
        [this, &controller](const std::string& text) {
            if (!controller.trusted() && host_) {
                host_->announce(text, announcer::AnnouncementPriority::high);
            }
        },
        {},
        [&prefs = services_.prefs] { return prefs.hotkey().label; },
        services_.pretendUntrusted,
    });
    host_ = std::make_unique<SettingsWindowHost>(SettingsWindowHost::Config{
        services_.prefs,
        model_,
        *this,
        services_.scheduler,
        services_.keyboardLayout,
        services_.traceKeys,
        // Closing the window clears its banner and stops an instruction read aloud.
        [this] {
            model_.setBanner(std::nullopt);
            reader_.stop();
        },
        {},
        {},
        nullptr,
        guide_.get(),
    });
    if (auto manifest =
            supervisor::readManifest(paths::resourceFolder() / "engine-manifest.json")) {
        shippedModels_ = manifest->modelIDs();
    }
    opener_.setLateFailureHandler(
        [this, alive = std::weak_ptr<int>(alive_)](const std::string& why) {
            postToMainThread([this, alive, why] {
                if (!alive.expired()) {
                    settingsNotOpened(
                        OvraText::f("The desktop's settings could not be opened: %@", {why}));
                    showDashboard(model_.pane());
                }
            });
        });
}

DesktopDashboard::~DesktopDashboard() = default;

void DesktopDashboard::stateChanged() {
    guide_->poll();
    host_->stateChanged();
}

bool DesktopDashboard::trusted() const {
    return services_.controller.trusted();
}

std::optional<std::string> DesktopDashboard::targetAppName() const {
    return services_.controller.targetAppName();
}

void DesktopDashboard::trigger() {
    services_.controller.trigger();
}

void DesktopDashboard::showDashboard(OvraPane pane) {
    host_->showDashboard(pane);
}

void DesktopDashboard::requestAccessibility() {
    guide_->turnOn();
}

void DesktopDashboard::openAccessibilitySettings(const std::string& anchor) {
    // Our windows step back only once the settings app is on its way; otherwise they stay, and
    // say how to get there by hand.
    SystemSettings settings(opener_, services_.sendWindowsBack);
    if (auto problem = DesktopAccessibility::open(anchor, settings)) {
        settingsNotOpened(*problem);
    }
}

void DesktopDashboard::settingsNotOpened(const std::string& why) {
    const std::string text =
        why + " " +
        OvraText::t("Open your desktop's settings app by hand and look under Accessibility.");
    if (services_.log) {
        services_.log(text);
    }
    model_.showMessage(text, true);
    host_->announce(text, announcer::AnnouncementPriority::high);
}

std::optional<std::string> DesktopDashboard::hotkeyError() const {
    return services_.controller.hotkeyError();
}

std::optional<std::string> DesktopDashboard::hotkeyNotice() const {
    return services_.controller.hotkeyNotice();
}

std::optional<std::string> DesktopDashboard::findHotkeyError() const {
    return services_.controller.findHotkeyError();
}

ModelState DesktopDashboard::modelState() const {
    ModelSupervisor& supervisor = services_.supervisor;
    ModelState state;
    state.ready = supervisor.status().isReady();
    state.summary = supervisor.summary();
    state.install = installOf(supervisor.installer().stage());
    state.progress = supervisor.installer().progress();
    state.lastModel = supervisor.lastModel();
    return state;
}

void DesktopDashboard::startModel(const std::string& modelID) {
    // Nothing may be downloaded into the data folder while the app is being removed.
    if (removing_) {
        return;
    }
    services_.supervisor.start(services_.prefs.get(keys::workerDirectory), modelID);
}

void DesktopDashboard::stopModel() {
    services_.supervisor.stop();
}

void DesktopDashboard::fetchMultilingualIfWanted() {
    if (removing_) {
        return;
    }
    services_.supervisor.fetchMultilingualIfWanted();
}

UpdateState DesktopDashboard::updateState() const {
    UpdateState state;
    if (updater_) {
        const Updater::State& now = updater_->state();
        // Busy is a check until the updater says it is downloading the version it found.
        const bool downloading =
            now.busy && now.available &&
            now.status == OvraText::f("Downloading Ovra %@\u2026", {now.available->version});
        state.activity = downloading ? UpdateState::Activity::downloading
                         : now.busy  ? UpdateState::Activity::checking
                                     : UpdateState::Activity::idle;
        state.status = now.status;
        state.available = now.available;
    }
    return state;
}

void DesktopDashboard::checkForUpdates() {
    if (updater_) {
        updater_->check(true);
    }
}

void DesktopDashboard::installUpdate() {
    if (updater_) {
        updater_->installAvailable();
    }
}

std::vector<VoiceChoice> DesktopDashboard::voices() const {
    std::vector<VoiceChoice> out;
    for (const speech::Voice& voice : services_.voice.availableVoices()) {
        out.push_back({voice.id(), FocusVoice::label(voice)});
    }
    return out;
}

void DesktopDashboard::speakSample(const std::string& text,
                                   const std::optional<std::string>& voiceID, double rate) {
    services_.voice.speak(text, voiceID, rate);
}

void DesktopDashboard::readInstruction(OvraFeature feature) {
    reader_.read(feature);
}

std::string DesktopDashboard::appName(const std::string& appKey) const {
    return appNames_.name(appKey);
}

void DesktopDashboard::openWebPage(const std::string& url) {
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url))) && services_.log) {
        services_.log("could not open " + url);
    }
}

void DesktopDashboard::uninstall() {
    if (removing_) {
        return;  // asked again while the first removal goes on
    }
    Uninstaller::Services removal;
    removal.stopModel = services_.stopModelForRemoval;
    removal.modelStopped = services_.modelStoppedForRemoval;
    removal.scheduler = &services_.scheduler;
    // The files go on a thread of their own: a folder or the Trash may be on a network mount.
    // Nothing waits for that thread, not even the app's end (a hung mount would hold it).
    removal.offload = [](std::function<void()> work, std::function<void()> then) {
        std::thread([work = std::move(work), then = std::move(then)] {
            work();
            postToMainThread(then);
        }).detach();
    };
    removal.log = services_.log;
    removal.freezeSettings = freezeSettings_;
    removal.confirm = [this](const UninstallerText::Question& question) {
        return host_->confirmModally(UninstallerDialogs::model(question));
    };
    removal.update = [this](const UninstallerText::Question& question) {
        if (ConfirmDialog* dialog = host_->modalDialog()) {
            dialog->setMessage(question.message);
        }
    };
    removal.showFailure = [this](const UninstallerText::Message& message) {
        UninstallerDialogs::showFailure(message, host_->window());
    };
    removal.quit = quit_ ? quit_ : [] { QApplication::quit(); };
    removing_ = Uninstaller(Uninstaller::Places{}, std::move(removal),
                            Uninstaller::isSelfTestLaunch(arguments()))
                    .confirmAndRemove();
}

}  // namespace ovra
