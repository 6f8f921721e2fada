#include "app/main/DesktopController.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <chrono>
#include <iostream>

#include "app/controller/AccessibilityWorkerThread.h"
#include "app/controller/HotkeyManager.h"
#include "app/controller/InterfaceLanguage.h"
#include "app/controller/QtOverlayHost.h"
#include "app/controller/SupervisorDecisions.h"
#include "app/controller/X11TargetWorkspace.h"
#include "app/main/DesktopDashboard.h"
#include "app/maintenance/Updater.h"
#include "app/model/StandardServices.h"
#include "app/model/SupervisorServices.h"
#include "app/overlay/OverlayPanel.h"
#include "app/settings/DesktopAppNames.h"
#include "app/settings/SettingsWindowHost.h"
#include "app/shell/BubbleDesktop.h"
#include "app/shell/IslandWindow.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/BusDepartures.h"
#include "platform/clickaway/ClickAwayMonitor.h"
#include "platform/desktopsettings/GSettingsStore.h"
#include "platform/desktopstatus/AccessibilityStatus.h"
#include "platform/desktopstatus/AppearanceSource.h"
#include "platform/desktopstatus/DisplayPreferences.h"
#include "platform/desktopstatus/ScreenReaderStatus.h"
#include "platform/download/Downloader.h"
#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/hotkeys/KeyboardHold.h"
#include "platform/hotkeys/X11HotkeyGrabber.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "platform/log/Log.h"
#include "platform/magnifier/GnomeMagnifier.h"
#include "platform/qt/MainThread.h"
#include "platform/speech/DBusSpeechNotice.h"
#include "platform/speech/SpeechDispatcherEngine.h"

namespace ovra {

namespace {

// How long start-up waits for the first answer on whether other apps can be read.
constexpr std::chrono::milliseconds kTrustBound{100};

// A key held for the overlay as the overlay's key adapter reads a key event of its own window.
RawKey rawKeyOfHeld(const hotkeys::HeldKey& held) {
    RawKey raw;
    raw.xKeycode = held.xKeycode;
    raw.modifierOnly = held.modifierOnly;
    raw.shift = held.shift;
    raw.ctrl = held.ctrl;
    raw.alt = held.alt;
    raw.super = held.super;
    raw.autoRepeat = held.repeat;
    raw.xModifiers = held.xState;
    return raw;
}

// A widget's frame in root window pixels.
Rect nativeFrame(const QWidget& widget) {
    const QRect frame = widget.frameGeometry();
    const QScreen* screen = widget.screen();
    if (screen == nullptr) {
        return Rect(frame.x(), frame.y(), frame.width(), frame.height());
    }
    const Rect origin = OverlayPanel::nativeFrame(*screen);
    const QRect logical = screen->geometry();
    const double ratio = screen->devicePixelRatio();
    return Rect(origin.minX() + (frame.x() - logical.x()) * ratio,
                origin.minY() + (frame.y() - logical.y()) * ratio, frame.width() * ratio,
                frame.height() * ratio);
}

// The app's own windows on this desktop: the settings window, once made, and every other.
class QtOwnWindows final : public OwnWindows {
  public:
    explicit QtOwnWindows(desktopstatus::AppearanceSource& appearance) : appearance_(appearance) {}

    std::function<QWidget*()> settingsWindow;
    std::function<void(const std::string&)> announcer;
    std::function<void()> lookChanged;

    bool settingsShown() const override {
        QWidget* window = settingsWindow ? settingsWindow() : nullptr;
        return window != nullptr && window->isVisible();
    }
    bool contains(Point point) const override {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && nativeFrame(*window).contains(point)) {
                return true;
            }
        }
        return false;
    }
    void sendBack() override {
        if (QWidget* window = settingsWindow ? settingsWindow() : nullptr) {
            window->lower();
        }
    }
    void announce(const std::string& text) override {
        if (announcer) {
            announcer(text);
        }
    }
    void applyAppearance(std::optional<bool> dark) override {
        chosen_ = dark;
        const bool now = this->dark();
        if (now != shown_) {
            shown_ = now;
            if (lookChanged) {
                lookChanged();
            }
        }
    }
    // The desktop's scheme changed: followed while the setting says "system".
    void desktopChanged() {
        if (!chosen_) {
            applyAppearance(std::nullopt);
        }
    }
    bool dark() const { return chosen_ ? *chosen_ : appearance_.prefersDark().value_or(false); }

  private:
    desktopstatus::AppearanceSource& appearance_;
    std::optional<bool> chosen_;
    bool shown_ = false;
};

}  // namespace

struct DesktopController::Impl {
    explicit Impl(Settings s) : settings(s) {}

    Settings settings;
    Options options;
    desktop::GSettingsStore desktopSettings;
    atspi::AtspiBackend backend;
    // Which apps left the accessibility bus: a target that has is gone.
    atspi::BusDepartures departures;
    std::unique_ptr<input::XTestInputSynthesizer> input;
    std::unique_ptr<AccessibilityWorkerThread> worker;
    supervisor::ThreadedExecutor executor{postToMainThread};
    std::unique_ptr<ModelSupervisor> supervisor;
    EngineInstaller* engine = nullptr;  // the supervisor's
    std::unique_ptr<SupervisorDecisions> decisions;
    speech::SpeechDispatcherEngine speechEngine{
        postToMainThread, logs::to(logs::Category::speech, logs::Level::warning)};
    speech::DBusSpeechNotice speechNotice;
    std::unique_ptr<FocusVoice> voice;
    std::unique_ptr<keyboard::KeyboardWatcher> keyboard;
    PointerIntent pointer;
    DesktopAppNames appNames{paths::processEnvironment};
    std::unique_ptr<X11TargetWorkspace> workspace;
    magnifier::GnomeMagnifier magnifier{desktopSettings};
    desktopstatus::AppearanceSource appearance{desktopSettings};
    desktopstatus::DisplayPreferencesSource display{desktopSettings};
    desktopstatus::ScreenReaderWatch screenReader;
    QtOwnWindows windows{appearance};
    std::unique_ptr<BubbleController> bubble;
    // Before the controller, whose hotkey manager lets go of the grabber when it ends.
    std::unique_ptr<hotkeys::X11HotkeyGrabber> grabber;
    std::unique_ptr<hotkeys::HotkeyEventPump> pump;
    std::unique_ptr<AppController> controller;
    // After the controller and the grabber, which it feeds and holds the keyboard with.
    std::unique_ptr<hotkeys::KeyboardHold> keyboardHold;
    std::unique_ptr<DesktopDashboard> dashboard;
    std::unique_ptr<clickaway::ClickAwayMonitor> clicks;
    std::unique_ptr<WorkerThread> updateWorker;
    std::unique_ptr<Updater> updater;
};

Result<std::unique_ptr<DesktopController>> DesktopController::open(Settings settings,
                                                                   Options options) {
    auto workspace = x11::Workspace::open();
    if (!workspace) {
        return fail(workspace.error());
    }
    auto input = input::XTestInputSynthesizer::open();
    if (!input) {
        return fail(input.error());
    }
    auto impl = std::make_unique<Impl>(settings);
    Impl& p = *impl;
    p.options = options;
    p.input = std::move(input).value();
    desktop::DesktopSettings& desktopSettings = p.desktopSettings;
    p.worker = std::make_unique<AccessibilityWorkerThread>(AccessibilityWorkerThread::Services{
        p.backend, *p.input, ax::systemClock(), postToMainThread,
        [&desktopSettings] { return magnifier::GnomeMagnifier::switchedOn(desktopSettings); }});

    Preferences& prefs = settings.prefs;
    std::optional<std::string> engineBase;
    if (auto stored = settings.defaults.object("engineBaseURL"); stored && stored->is_string()) {
        engineBase = stored->get<std::string>();
    }
    std::shared_ptr<const ModelRuntime> runtime = makeTorchModelRuntime();
    ModelSupervisor::Services modelServices = supervisor::standardServices(
        p.executor, runtime, [&prefs] { return prefs.get(keys::downloadMultilingual); },
        engineBase);
    modelServices.selfTestLaunch = options.selfTest;
    modelServices.removeRetiredLater = static_cast<bool>(options.whenSole);
    // The same installer, kept at hand so that removing the app can cancel a download under
    // way before the data folder goes (the supervisor's stop leaves a download running).
    EngineInstaller::Config install = EngineInstaller::standardConfig(engineBase);
    install.downloader = download::makeDownloader();
    install.compile = supervisor::compileStep(runtime);
    auto engine = std::make_unique<EngineInstaller>(std::move(install));
    p.engine = engine.get();
    modelServices.installer =
        std::make_unique<supervisor::EngineInstallerFacade>(std::move(engine));
    p.supervisor = std::make_unique<ModelSupervisor>(std::move(modelServices));
    p.decisions = std::make_unique<SupervisorDecisions>(*p.supervisor);
    p.voice = std::make_unique<FocusVoice>(
        FocusVoice::Services{p.speechEngine, p.speechNotice, postToMainThread,
                             logs::to(logs::Category::speech), InterfaceLanguage::code()});

    const keyboard::KeyboardLayout* layout = nullptr;
    if (auto watcher = keyboard::KeyboardWatcher::open()) {
        p.keyboard = std::move(watcher).value();
        layout = &p.keyboard->layout();
    }
    p.workspace = std::make_unique<X11TargetWorkspace>(
        std::move(workspace).value(),
        [&p](const TargetApp& app) {
            if (p.controller) {
                p.controller->frontmostChanged(app);
            }
        },
        [&p](const std::string& windowClass, const std::string& process) {
            return p.appNames.shown(windowClass, process);
        });

    p.workspace->setLeftBus([&p](std::int64_t pid, std::uint64_t startTime) {
        return p.departures.left(pid, startTime);
    });

    AppController::Services services{
        prefs,
        settings.scheduler,
        *p.workspace,
        *p.worker,
        *p.decisions,
        *p.voice,
        qtOverlayHostFactory(settings.scheduler, p.pointer,
                             {layout, options.simulateNotch, &p.display,
                              [&p] { return p.bubble ? p.bubble->buttonFrame() : std::nullopt; }}),
        [&p](OvraPane pane) {
            if (p.dashboard) {
                p.dashboard->showDashboard(pane);
            }
        },
        [&p](const std::string& note) {
            if (p.dashboard) {
                p.dashboard->model().showPermissionNote(note);
            }
        },
        [] { QApplication::beep(); },
        logs::to(logs::Category::controller),
        [](const std::string& line) { std::cout << line << std::endl; },
        [&p] { return p.screenReader.running(); },
    };
    bool trusted = false;
    if (!options.pretendUntrusted) {
        // Asked on the worker before anything shows: the answer normally comes within a few
        // milliseconds. A slower accessibility bus is not waited for; access then counts as
        // on until the controller's first poll (which starts with it and is silent) says
        // otherwise, so no window shows the permission guide, and nothing says access was
        // granted, before anyone knows.
        const std::optional<bool> answer = p.worker->trustedWithin(kTrustBound);
        if (!answer) {
            logs::warning(
                logs::Category::atspi,
                "the accessibility bus is slow to answer: the next check reads the permission");
        }
        trusted = answer.value_or(true);
    }
    p.controller = std::make_unique<AppController>(std::move(services), trusted);
    AppController* controller = p.controller.get();
    if (auto front = p.workspace->frontmost()) {
        controller->frontmostChanged(*front);
    }
    p.dashboard = std::make_unique<DesktopDashboard>(DesktopDashboard::Services{
        *controller,
        *p.supervisor,
        *p.voice,
        prefs,
        settings.scheduler,
        p.desktopSettings,
        [&p]() -> const keyboard::KeyboardLayout* {
            return p.keyboard ? &p.keyboard->layout() : nullptr;
        },
        options.traceKeys,
        options.pretendUntrusted,
        [&p] { p.windows.sendBack(); },
        [&p] {
            // Nothing may write into the data folder once it is removed: a download under way
            // stops at its next step (the supervisor's stop leaves it running).
            p.supervisor->stop();
            p.engine->cancel();
        },
        [&p] { return !p.engine->isRunning(); },
        logs::to(logs::Category::settings),
        [&p] { return p.screenReader.running(); },
    });
    DesktopDashboard* dashboard = p.dashboard.get();
    p.windows.settingsWindow = [dashboard] {
        return static_cast<QWidget*>(dashboard->host().window());
    };
    p.windows.announcer = [dashboard](const std::string& text) {
        dashboard->host().announce(text, announcer::AnnouncementPriority::high);
    };
    p.windows.lookChanged = [&p, dashboard] {
        dashboard->stateChanged();
        if (p.bubble) {
            p.bubble->refresh();
        }
    };
    controller->setStateObserver([dashboard] { dashboard->stateChanged(); });
    // The Voice pane lists the voices once the speech service has named them.
    p.voice->onVoicesListed([dashboard] { dashboard->stateChanged(); });
    p.supervisor->setChangeHandler([dashboard] { dashboard->stateChanged(); });

    auto grabber = hotkeys::X11HotkeyGrabber::open([&p](std::uint16_t keyCode) {
        return p.keyboard ? p.keyboard->layout().xKeycode(keyCode) : std::nullopt;
    });
    if (grabber) {
        p.grabber = std::move(grabber).value();
        p.pump = std::make_unique<hotkeys::HotkeyEventPump>(*p.grabber);
        // A key typed as the overlay comes up is the overlay's, never the app's below: the
        // keyboard stays with us from the hotkey until one of our windows has the focus (or
        // the overlay, shown without it, has long had the time to grab the keyboard itself).
        p.keyboardHold = std::make_unique<hotkeys::KeyboardHold>(
            *p.grabber, p.settings.scheduler,
            hotkeys::KeyboardHold::Signs{
                [&p] {
                    return QGuiApplication::focusWindow() != nullptr || !p.controller->takesKeys();
                },
                // The overlay grabs the keyboard itself while it waits for the focus.
                [&p] { return p.controller->takesKeys(); }},
            [&p](const hotkeys::HeldKey& held) {
                if (const std::optional<KeyInput> key = KeyAdapter::adapt(
                        rawKeyOfHeld(held), p.keyboard ? &p.keyboard->layout() : nullptr)) {
                    p.controller->handleEarlyKey(*key);
                }
            });
    } else {
        logs::warning(logs::Category::hotkeys, "no global hotkey: " + grabber.error());
    }
    return std::unique_ptr<DesktopController>(new DesktopController(std::move(impl)));
}

DesktopController::DesktopController(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DesktopController::~DesktopController() = default;

void DesktopController::start(StartOptions options) {
    Impl& p = *impl_;
    p.appearance.onChange([&p] { p.windows.desktopChanged(); });
    DesktopDashboard& dashboard = *p.dashboard;

    Updater::Config update = Updater::standardConfig();
    update.scheduler = &p.settings.scheduler;
    update.defaults = &p.settings.defaults;
    p.updateWorker = std::make_unique<WorkerThread>(postToMainThread);
    update.offload = std::shared_ptr<Offload>(p.updateWorker.get(), [](Offload*) {});
    update.now = [] {
        return std::chrono::time_point_cast<OvraUpdates::Date::duration>(
            std::chrono::system_clock::now());
    };
    update.banner = [&p](const std::string& text, bool problem) {
        p.dashboard->model().showMessage(text, problem);
    };
    update.announce = [&dashboard](const std::string& text) {
        dashboard.host().announce(text, announcer::AnnouncementPriority::medium);
    };
    update.overlayVisible = [&p] { return p.controller->overlayVisible(); };
    update.appActive = [] { return QApplication::activeWindow() != nullptr; };
    update.windowOpen = [&p] { return p.windows.settingsShown(); };
    update.showGeneralSettings = [&dashboard] { dashboard.showDashboard(OvraPane::general); };
    update.quit = options.quit ? options.quit : [] { QApplication::quit(); };
    update.log = [](const std::string& line) {
        logs::info(logs::Category::maintenance, "updater: " + line);
    };
    update.selfTestLaunch = p.options.selfTest;
    p.updater = std::make_unique<Updater>(std::move(update));
    p.updater->setObserver([&dashboard] { dashboard.stateChanged(); });
    dashboard.setUpdater(p.updater.get());
    dashboard.setRemoval(options.quit, options.freezeSettings);

    AppController::Startup startup;
    startup.hotkeys = p.grabber.get();
    startup.slashKeyCode = [&p] {
        return p.keyboard ? p.keyboard->layout().slashKeyCode() : std::uint16_t{44};
    };
    startup.letterKeyCode = [&p](std::uint16_t keyCode) {
        return p.keyboard ? p.keyboard->layout().letterKeyCode(keyCode) : keyCode;
    };
    startup.magnifier = &p.magnifier;
    startup.windows = &p.windows;
    startup.startUpdater = [&p] { p.updater->start(); };
    startup.installHome = std::move(options.installHome);
    startup.installBubble = [&p](auto landing, std::function<void()> onClick) {
        p.bubble = std::make_unique<BubbleController>(desktopBubbleServices(
            p.settings.scheduler, [&p] { return p.display.current().reduceMotion; },
            [&p] { return p.windows.dark(); }));
        p.bubble->install(p.settings.prefs, std::move(landing), std::move(onClick));
    };
    startup.refreshBubble = [&p] { p.bubble->refresh(); };
    startup.flyBubble = [&p] { p.bubble->fly(); };
    startup.menuBarLanding = [tray = options.trayIconFrame](const Rect& button) {
        return menuBarLanding(button, IslandWindow::islandScreens(), tray ? tray() : std::nullopt);
    };
    startup.watchLayout = [&p](std::function<void()> changed) {
        if (p.keyboard) {
            QObject::connect(p.keyboard.get(), &keyboard::KeyboardWatcher::layoutChanged,
                             p.keyboard.get(), std::move(changed));
        }
    };
    startup.watchClicks = [&p](std::function<void(Point)> pressed) {
        auto monitor = clickaway::ClickAwayMonitor::open(std::move(pressed));
        if (monitor) {
            p.clicks = std::move(monitor).value();
        } else {
            logs::warning(logs::Category::shell,
                          "clicks away from the app's windows are not seen: " + monitor.error());
        }
    };
    startup.otherAppActivated = std::move(options.otherAppActivated);
    startup.checkTrust = desktopstatus::askAccessibilityEnabled;
    startup.showDashboard = !options.noDashboard;
    startup.pretendUntrusted = p.options.pretendUntrusted;
    if (p.options.whenSole) {
        p.options.whenSole([&p] { p.supervisor->removeRetiredFiles(); });
        startup.whenSole = p.options.whenSole;
    }
    p.controller->start(std::move(startup));
}

AppController& DesktopController::controller() {
    return *impl_->controller;
}

DashboardModel& DesktopController::dashboard() {
    return impl_->dashboard->model();
}

void DesktopController::showSettingsProblem(const std::string& text) {
    impl_->dashboard->model().showMessage(text, true);
    impl_->controller->setPendingTip({text, nullptr});
    impl_->dashboard->host().announce(text, announcer::AnnouncementPriority::medium);
}

std::optional<std::string> DesktopController::hotkeyNotice() const {
    return impl_->controller->hotkeyNotice();
}

std::optional<std::string> DesktopController::hotkeyError() const {
    return impl_->controller->hotkeyError();
}

bool DesktopController::dark() const {
    return impl_->windows.dark();
}

bool DesktopController::overlayVisible() const {
    return impl_->controller->overlayVisible();
}

void DesktopController::showDashboard(OvraPane pane) {
    impl_->dashboard->showDashboard(pane);
}

void DesktopController::showFeature(const std::string& feature) {
    if (const auto known = OvraFeature::fromRawValue(feature)) {
        impl_->dashboard->model().setFeature(*known);
        impl_->dashboard->showDashboard(OvraPane::instructions);
    }
}

void DesktopController::showCredits() {
    impl_->dashboard->host().showCredits();
}

void DesktopController::setAppearance(std::optional<bool> dark) {
    impl_->dashboard->forceDark(dark);
}

std::optional<std::string> DesktopController::targetAppName() const {
    return impl_->controller->targetAppName();
}

bool DesktopController::trusted() const {
    return impl_->controller->trusted();
}

std::string DesktopController::modelStatusLabel() const {
    return impl_->supervisor->status().label();
}

std::string DesktopController::modelStatusDetail() const {
    return impl_->supervisor->status().detail();
}

void DesktopController::stopModel() {
    impl_->supervisor->stop();
}

void DesktopController::logKeyState(const std::string& label) {
    Impl& p = *impl_;
    OverlayModel& overlay = p.controller->overlay();
    QWidget* key = QApplication::activeWindow();
    const auto front = p.workspace->frontmost();
    const auto number = [](auto n) { return std::to_string(static_cast<long long>(n)); };
    logs::info(
        logs::Category::controller,
        label + ": selection=" + number(overlay.selection()) + " of " +
            number(overlay.navigationOrder().size()) + ", sidebar=" + number(overlay.sidebar()) +
            ", panelKey=" + number(key != nullptr && qobject_cast<OverlayPanel*>(key) != nullptr) +
            ", appKeyWindow=" + (key ? key->metaObject()->className() : "none") +
            ", ovra active=" + number(key != nullptr) +
            ", front=" + (front && !front->name.empty() ? front->name : "?"));
}

bool DesktopController::reduceMotion() {
    return impl_->display.current().reduceMotion;
}

Preferences& DesktopController::prefs() {
    return impl_->settings.prefs;
}

atspi::AtspiBackend& DesktopController::backend() {
    return impl_->backend;
}

AccessibilityWorkerThread& DesktopController::worker() {
    return *impl_->worker;
}

}  // namespace ovra
