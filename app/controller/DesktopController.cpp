#include "app/controller/DesktopController.h"

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/controller/AccessibilityWorkerThread.h"
#include "app/controller/HotkeyManager.h"
#include "app/controller/InterfaceLanguage.h"
#include "app/controller/QtOverlayHost.h"
#include "app/controller/SupervisorDecisions.h"
#include "app/controller/X11TargetWorkspace.h"
#include "app/model/StandardServices.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/hotkeys/X11HotkeyGrabber.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "platform/qt/MainThread.h"
#include "platform/speech/DBusSpeechNotice.h"
#include "platform/speech/SpeechDispatcherEngine.h"

namespace ovra {

namespace {

void logLine(const std::string& line) {
    std::cerr << "murmlark-ovra: " << line << std::endl;
}

}  // namespace

bool screenReaderRunning() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        if (std::getline(comm, command) && command == "orca") {
            return true;
        }
    }
    return false;
}

struct DesktopController::Parts {
    explicit Parts(Settings s) : settings(s) {}

    Settings settings;
    Options options;
    atspi::AtspiBackend backend;
    std::unique_ptr<input::XTestInputSynthesizer> input;
    std::unique_ptr<AccessibilityWorkerThread> worker;
    supervisor::ThreadedExecutor executor{postToMainThread};
    std::unique_ptr<ModelSupervisor> supervisor;
    std::unique_ptr<SupervisorDecisions> decisions;
    speech::SpeechDispatcherEngine speechEngine{postToMainThread, logLine};
    speech::DBusSpeechNotice speechNotice;
    std::unique_ptr<FocusVoice> voice;
    std::unique_ptr<keyboard::KeyboardWatcher> keyboard;
    PointerIntent pointer;
    std::unique_ptr<X11TargetWorkspace> workspace;
    std::unique_ptr<AppController> controller;
    std::unique_ptr<hotkeys::X11HotkeyGrabber> grabber;
    std::unique_ptr<hotkeys::HotkeyEventPump> pump;
    std::unique_ptr<HotkeyManager> hotkeys;
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
    auto parts = std::make_unique<Parts>(settings);
    Parts& p = *parts;
    if (!options.showDashboard) {
        options.showDashboard = [](OvraPane pane) {
            logLine("the settings window would open on " + std::string(pane.rawValue()));
        };
    }
    p.options = options;
    p.input = std::move(input).value();
    p.worker = std::make_unique<AccessibilityWorkerThread>(AccessibilityWorkerThread::Services{
        p.backend, *p.input, ax::systemClock(), postToMainThread});

    Preferences& prefs = settings.prefs;
    std::optional<std::string> engineBase;
    if (auto stored = settings.defaults.object("engineBaseURL"); stored && stored->is_string()) {
        engineBase = stored->get<std::string>();
    }
    p.supervisor = std::make_unique<ModelSupervisor>(supervisor::standardServices(
        p.executor, makeTorchModelRuntime(), [&prefs] { return prefs.downloadMultilingual(); },
        engineBase));
    p.decisions = std::make_unique<SupervisorDecisions>(*p.supervisor);
    p.voice = std::make_unique<FocusVoice>(FocusVoice::Services{
        p.speechEngine, p.speechNotice, postToMainThread, logLine, InterfaceLanguage::code()});

    const keyboard::KeyboardLayout* layout = nullptr;
    if (auto watcher = keyboard::KeyboardWatcher::open()) {
        p.keyboard = std::move(watcher).value();
        layout = &p.keyboard->layout();
    }
    p.workspace = std::make_unique<X11TargetWorkspace>(std::move(workspace).value(),
                                                       [&p](const TargetApp& app) {
                                                           if (p.controller) {
                                                               p.controller->frontmostChanged(app);
                                                           }
                                                       });

    AppController::Services services{
        prefs,
        settings.scheduler,
        *p.workspace,
        *p.worker,
        *p.decisions,
        *p.voice,
        qtOverlayHostFactory(settings.scheduler, p.pointer, {layout, options.simulateNotch}),
        [&p](OvraPane pane) { p.options.showDashboard(pane); },
        [] { QApplication::beep(); },
        logLine,
        [](const std::string& line) { std::cout << line << std::endl; },
        screenReaderRunning,
    };
    const bool trusted = !options.pretendUntrusted && p.backend.isProcessTrusted();
    p.controller = std::make_unique<AppController>(std::move(services), trusted);
    AppController* controller = p.controller.get();
    if (auto front = p.workspace->frontmost()) {
        controller->frontmostChanged(*front);
    }

    auto grabber = hotkeys::X11HotkeyGrabber::open([&p](std::uint16_t keyCode) {
        return p.keyboard ? p.keyboard->layout().xKeycode(keyCode) : std::nullopt;
    });
    if (grabber) {
        p.grabber = std::move(grabber).value();
        p.pump = std::make_unique<hotkeys::HotkeyEventPump>(*p.grabber);
        p.hotkeys = std::make_unique<HotkeyManager>(
            *p.grabber,
            [&p] { return p.keyboard ? p.keyboard->layout().slashKeyCode() : std::uint16_t{44}; },
            [controller] { controller->toggle(); });
    } else {
        logLine("no global hotkey: " + grabber.error());
    }
    return std::unique_ptr<DesktopController>(new DesktopController(std::move(parts)));
}

DesktopController::DesktopController(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

DesktopController::~DesktopController() = default;

AppController& DesktopController::controller() {
    return *parts_->controller;
}

std::optional<std::string> DesktopController::registerHotkey() {
    if (!parts_->hotkeys) {
        hotkeyError_ = "global hotkeys are not available";
    } else {
        const HotkeyPreset preset = parts_->settings.prefs.hotkey();
        hotkeyError_.reset();
        if (!parts_->hotkeys->registerKey(preset.keyCode, preset.modifiers)) {
            hotkeyError_ = preset.label + " is used by another app.";
        }
    }
    return hotkeyError_;
}

bool DesktopController::overlayVisible() const {
    return parts_->controller->overlayVisible();
}

void DesktopController::showDashboard(OvraPane pane) {
    parts_->options.showDashboard(pane);
}

std::optional<std::string> DesktopController::targetAppName() const {
    return parts_->controller->targetAppName();
}

bool DesktopController::trusted() const {
    return parts_->controller->trusted();
}

std::string DesktopController::modelStatusLabel() const {
    return parts_->supervisor->status().label();
}

std::string DesktopController::modelStatusDetail() const {
    return parts_->supervisor->status().detail();
}

void DesktopController::stopModel() {
    parts_->supervisor->stop();
}

void DesktopController::logKeyState(const std::string& label) {
    logLine(label);
}

Preferences& DesktopController::prefs() {
    return parts_->settings.prefs;
}

atspi::AtspiBackend& DesktopController::backend() {
    return parts_->backend;
}

AccessibilityWorkerThread& DesktopController::worker() {
    return *parts_->worker;
}

}  // namespace ovra
