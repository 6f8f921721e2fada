// ovra-settings: the settings window on its own, over the real settings file, for trying it and
// for the desktop tests until the app's tray and controller open it. The rows act on the
// preferences; what belongs to the controller (the model, updates, the voice sample) is only
// reported on standard output. Instructions are read aloud through speech-dispatcher, and every
// change of what is being read is reported ("reading popups", "reading nil").
//
//   ovra-settings [--pane NAME] [--untrusted] [--trace-keys]
//
// Lines on standard input ("show General", "quit") stand in for the tray's items.

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/controller/AppSettings.h"
#include "app/controller/FocusVoice.h"
#include "app/controller/InterfaceLanguage.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/DesktopAppNames.h"
#include "app/settings/SettingsWindowHost.h"
#include "app/settings/instructions/InstructionReader.h"
#include "platform/desktopsettings/GSettingsStore.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "platform/paths/Paths.h"
#include "platform/qt/MainThread.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/speech/DBusSpeechNotice.h"
#include "platform/speech/SpeechDispatcherEngine.h"

namespace ovra {
namespace {

void say(const std::string& line) {
    std::fputs(("settings-launcher: " + line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

class LauncherController final : public DashboardController {
  public:
    LauncherController(desktop::DesktopSettings& desktop, bool trusted)
        : desktop_(desktop), trusted_(trusted), names_(paths::processEnvironment) {}

    SettingsWindowHost* host = nullptr;
    InstructionReader* reader = nullptr;

    bool trusted() const override { return trusted_; }
    std::optional<std::string> targetAppName() const override { return std::nullopt; }
    void trigger() override { say("trigger"); }
    void showDashboard(OvraPane pane) override { host->showDashboard(pane); }
    void requestAccessibility() override {
        say("request accessibility");
        trusted_ = true;
        host->stateChanged();
    }
    void openAccessibilitySettings(const std::string& anchor) override {
        say("open settings " + anchor);
    }
    desktop::DesktopSettings& desktopSettings() override { return desktop_; }
    bool screenReaderRunning() override { return false; }
    std::optional<std::string> hotkeyError() const override { return std::nullopt; }
    std::optional<std::string> hotkeyNotice() const override { return std::nullopt; }
    std::optional<std::string> findHotkeyError() const override { return std::nullopt; }
    ModelState modelState() const override { return {false, "Built-in rules only"}; }
    const std::vector<std::string>& shippedModelIDs() const override { return models_; }
    void startModel(const std::string& id) override { say("start model " + id); }
    void stopModel() override { say("stop model"); }
    void fetchMultilingualIfWanted() override { say("fetch multilingual"); }
    UpdateState updateState() const override { return {}; }
    void checkForUpdates() override { say("check for updates"); }
    void installUpdate() override { say("install update"); }
    std::vector<VoiceChoice> voices() const override { return {}; }
    void speakSample(const std::string& text, const std::optional<std::string>&, double) override {
        say("speak " + text);
    }
    DictationSource dictationSource() const override { return DictationSource::desktop(); }
    void readInstruction(OvraFeature feature) override { reader->read(feature); }
    std::string appName(const std::string& key) const override { return names_.name(key); }
    void openWebPage(const std::string& url) override { say("open " + url); }
    void uninstall() override {
        // The uninstaller's question, in the dialog's modal form.
        const bool remove = host->confirmModally({"Remove Murmlark Ovra?",
                                                  "Everything Ovra downloaded is removed too.",
                                                  "Remove", "Cancel", true});
        say(remove ? "uninstall confirmed" : "uninstall declined");
    }

  private:
    desktop::DesktopSettings& desktop_;
    bool trusted_;
    mutable DesktopAppNames names_;
    std::vector<std::string> models_{"murmlark-ovra/en", "murmlark-ovra/multi"};
};

int run(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto flag = [&](const std::string& name) {
        return std::find(args.begin(), args.end(), name) != args.end();
    };
    OvraPane pane = OvraPane::home;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--pane") {
            pane = OvraPane::fromRawValue(args[i + 1]).value_or(OvraPane::home);
        }
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QtScheduler scheduler;
    desktop::GSettingsStore desktop;
    AppSettings settings(scheduler, desktop, AppSettings::standardErrorReport());
    DashboardModel dashboard;
    LauncherController controller(desktop, !flag("--untrusted"));
    speech::SpeechDispatcherEngine engine(postToMainThread,
                                          [](const std::string& line) { say("speech: " + line); });
    speech::DBusSpeechNotice notice;
    FocusVoice voice({engine, notice, postToMainThread, {}, InterfaceLanguage::code()});
    InstructionReader reader({dashboard, voice, settings.preferences(), scheduler,
                              [&controller] { return controller.dictationSource(); }});
    controller.reader = &reader;
    dashboard.onChange([&dashboard](DashboardField field) {
        if (field == DashboardField::reading) {
            const auto& reading = dashboard.reading();
            say("reading " + (reading ? std::string(reading->rawValue()) : "nil"));
        }
    });
    auto keyboard = keyboard::KeyboardWatcher::open();
    std::unique_ptr<keyboard::KeyboardWatcher> watcher;
    if (keyboard.ok()) {
        watcher = std::move(keyboard).value();
    }
    SettingsWindowHost host({settings.preferences(), dashboard, controller, scheduler,
                             [&watcher]() -> const keyboard::KeyboardLayout* {
                                 return watcher ? &watcher->layout() : nullptr;
                             },
                             flag("--trace-keys"),
                             [&reader] {
                                 reader.stop();
                                 say("closed");
                             }});
    controller.host = &host;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line) || line == "quit") {
            input.setEnabled(false);
            QApplication::quit();
            return;
        }
        if (line.rfind("show ", 0) == 0) {
            host.showDashboard(OvraPane::fromRawValue(line.substr(5)).value_or(OvraPane::home));
        }
    });
    host.showDashboard(pane);
    say("ready");
    const int status = QApplication::exec();
    settings.flush();
    return status;
}

}  // namespace
}  // namespace ovra

int main(int argc, char** argv) {
    return ovra::run(argc, argv);
}
