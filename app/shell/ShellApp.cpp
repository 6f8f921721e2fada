#include "app/shell/ShellApp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <iostream>

#include "app/controller/Preferences.h"
#include "app/shell/AppLifetime.h"
#include "app/shell/HomeIslandController.h"
#include "app/shell/IslandWindow.h"
#include "app/shell/LaunchSequence.h"
#include "app/shell/PngFile.h"
#include "app/shell/SystemTray.h"
#include "app/shell/TerminationSignals.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

namespace {

constexpr const char* kSettingsWindowTitle = "Murmlark Ovra";

std::vector<QWidget*> visibleTopLevels() {
    std::vector<QWidget*> out;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            out.push_back(widget);
        }
    }
    return out;
}

IslandScreen primaryScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty()) {
        screen = QGuiApplication::screens().front();
    }
    return screen ? IslandWindow::islandScreen(*screen) : IslandScreen{};
}

}  // namespace

struct ShellApp::Impl final : LaunchHost {
    Impl(ShellController& app, Scheduler& clock, Options given)
        : controller(app), scheduler(clock), options(std::move(given)) {}

    ShellController& controller;
    Scheduler& scheduler;
    Options options;
    PointerIntent pointer;
    std::unique_ptr<keyboard::KeyboardWatcher> keyboard;
    std::unique_ptr<input::InputSynthesizer> typist;  // opened by the first keys posted
    std::unique_ptr<AppLifetime> lifetime;
    std::unique_ptr<TerminationSignals> signals;
    std::unique_ptr<HomeIslandController> island;
    std::unique_ptr<SystemTray> tray;
    std::unique_ptr<LaunchSequence> sequence;
    std::vector<QPointer<QWidget>> hidden;  // the windows "--settings-scene" hid

    void print(const std::string& line) override { std::cout << line << std::endl; }
    void log(const std::string& line) override {
        if (options.log) {
            options.log(line);
        }
    }
    void exit(int code) override { lifetime->exitNow(code); }
    void openHome() override { island->open(primaryScreen()); }
    void showFeature(const std::string& feature) override { controller.showFeature(feature); }
    void setAppearance(std::optional<bool> dark) override { controller.setAppearance(dark); }
    SettingsSnapshot writeSettingsSnapshot(const std::string& path) override {
        for (QWidget* window : visibleTopLevels()) {
            if (window->windowTitle() != kSettingsWindowTitle) {
                continue;
            }
            SettingsSnapshot shot;
            shot.window = {static_cast<double>(window->frameGeometry().width()),
                           static_cast<double>(window->frameGeometry().height())};
            shot.content = {static_cast<double>(window->width()),
                            static_cast<double>(window->height())};
            const QSize hint = window->sizeHint();
            shot.fitting = {static_cast<double>(hint.width()), static_cast<double>(hint.height())};
            shot.status = !writePngFile(window->grab().toImage(), path)
                              ? SettingsSnapshot::Status::written
                              : SettingsSnapshot::Status::cannotWrite;
            return shot;
        }
        return {};
    }
    void hideWideWindows() override {
        for (QWidget* window : visibleTopLevels()) {
            // The tray item is no window of the app's: a menu bar keeps its item.
            if (window->width() > 100 && !window->inherits("QSystemTrayIconSys")) {
                window->hide();
                hidden.emplace_back(window);
            }
        }
    }
    // Ctrl+, as typed on the window of ours in front, else the first one shown, else one the
    // test hid: every window of ours takes it as the Settings command, as an app menu would
    // while none shows.
    std::optional<std::string> pressSettingsCommand() override {
        QWidget* window = QApplication::activeWindow();
        if (window == nullptr) {
            const auto shown = visibleTopLevels();
            window = shown.empty() ? nullptr : shown.front();
        }
        for (const QPointer<QWidget>& gone : hidden) {
            if (gone && (window == nullptr || gone->windowTitle() == kSettingsWindowTitle)) {
                window = gone;
            }
        }
        if (window == nullptr || window->windowHandle() == nullptr) {
            return std::nullopt;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Comma, Qt::ControlModifier, ",");
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Comma, Qt::ControlModifier, ",");
        QCoreApplication::sendEvent(window->windowHandle(), &press);
        QCoreApplication::sendEvent(window->windowHandle(), &release);
        return window->windowTitle().toStdString();
    }
    std::vector<WindowReport> visibleWindows() override {
        std::vector<WindowReport> out;
        for (QWidget* window : visibleTopLevels()) {
            const QRect f = window->frameGeometry();
            const QSize hint = window->sizeHint();
            out.push_back({window->windowTitle().toStdString(),
                           Rect(f.x(), f.y(), f.width(), f.height()),
                           {static_cast<double>(hint.width()), static_cast<double>(hint.height())},
                           true,
                           true});
        }
        return out;
    }
    bool modalWindowOpen() override { return QApplication::activeModalWidget() != nullptr; }
    void showCredits() override { controller.showCredits(); }
    void postKeys(const std::vector<int>& keyCodes) override {
        if (!typist && keyboard) {
            if (auto opened = input::XTestInputSynthesizer::open()) {
                typist = std::move(opened).value();
            }
        }
        if (!typist) {
            log("key test: no keyboard to type on");
            return;
        }
        for (const int code : keyCodes) {
            if (const auto x = keyboard->layout().xKeycode(static_cast<std::uint16_t>(code))) {
                typist->typeChord({static_cast<input::KeyCode>(*x)});
            }
        }
    }
    void notBuilt(const std::string& flag) {
        print(flag + ": this self-test is not part of this build");
        exit(1);
    }
    void selfTest(ScheduledFlag flag, const std::string& path, const std::string& name) {
        if (!options.selfTest) {
            notBuilt(name);
            return;
        }
        options.selfTest(
            flag, path,
            {*island, keyboard ? &keyboard->layout() : nullptr, [this](int code) { exit(code); }});
    }
    void overlaySnapshot(const std::string& path) override {
        selfTest(ScheduledFlag::overlaySnapshot, path, "overlay snapshot");
    }
    void findTest() override { selfTest(ScheduledFlag::findTest, {}, "find-test"); }
    void keyboardTest() override { selfTest(ScheduledFlag::keyboardTest, {}, "keyboard-test"); }
    void scrollTest() override { selfTest(ScheduledFlag::scrollTest, {}, "scroll-test"); }
};

ShellApp::ShellApp(ShellController& controller, Scheduler& scheduler, Options options)
    : impl_(std::make_unique<Impl>(controller, scheduler, std::move(options))) {
    Impl& p = *impl_;
    p.lifetime = std::make_unique<AppLifetime>(AppLifetime::Hooks{
        [&controller] { controller.stopModel(); },
        p.options.flushSettings,
        [] { QCoreApplication::quit(); },
        {},
    });
    p.signals = std::make_unique<TerminationSignals>([this](int) { quit(); });
    if (auto watcher = keyboard::KeyboardWatcher::open()) {
        p.keyboard = std::move(watcher).value();
    }
    const keyboard::KeyboardLayout* layout = p.keyboard ? &p.keyboard->layout() : nullptr;
    Scheduler* clock = &scheduler;
    PointerIntent* pointer = &p.pointer;
    ShellController* app = &controller;
    HomeIslandController::Services services{
        controller,
        scheduler,
        p.pointer,
        [clock, pointer, layout, app](HomeIslandModel& model, IslandCallbacks callbacks) {
            return std::make_unique<IslandWindow>(
                model, std::move(callbacks), *clock, *pointer,
                [app] { return app->reduceMotion(); }, layout);
        },
        []() -> std::optional<Point> {
            const QPoint at = QCursor::pos();
            return Point{static_cast<double>(at.x()), static_cast<double>(at.y())};
        },
        [app] { return app->reduceMotion(); },
        [] { QApplication::beep(); },
        [](const std::string& line) { std::cout << line << std::endl; },
        HomeItemActions{[this] { quit(); },
                        [] { QDesktopServices::openUrl(QUrl(kSupportAddress)); }},
        p.options.plan.traceKeys,
        p.options.plan.simulateNotch,
    };
    p.island = std::make_unique<HomeIslandController>(std::move(services));
    p.tray = std::make_unique<SystemTray>(
        [this](bool secondary, const IslandScreen& screen) {
            impl_->island->clicked(secondary, screen);
        },
        scheduler);
    p.sequence = std::make_unique<LaunchSequence>(p.options.plan, controller, p, scheduler);
}

ShellApp::~ShellApp() = default;

void ShellApp::start() {
    Impl& p = *impl_;
    p.island->install(*p.tray);
    // Told on a later turn, once start-up has taken the hotkey (a fallback of the chosen one,
    // maybe).
    p.tray->show([&p](bool inTray) {
        if (!inTray) {
            p.log("no system tray here: the tray item shows once a tray starts; meanwhile press " +
                  p.controller.prefs().hotkey().label +
                  " in any app, or start murmlark-ovra again for its settings");
        }
    });
    p.sequence->scheduleFlags();
}

void ShellApp::showHome() {
    impl_->log("another start asked for the Home pane");
    impl_->controller.showDashboard(OvraPane::home);
}

std::optional<Rect> ShellApp::trayIconFrame() const {
    return impl_->tray->iconFrame();
}

void ShellApp::otherAppActivated() {
    impl_->island->otherAppActivated();
}

void ShellApp::quit() {
    impl_->lifetime->quit();
}

}  // namespace ovra
