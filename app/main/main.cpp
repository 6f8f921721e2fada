// murmlark-ovra: the app and its launch flags. The arguments are read before Qt sees them (Qt
// takes some of its own out). "--press-test", "--tree" and "--dump" run the diagnostics instead
// of the app; a self-test flag runs the app on scratch settings (it never writes the user's)
// until the test ends the process; otherwise the app runs as the session's one copy: a later
// start asks it to show its Home pane and ends.

#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>
#include <thread>

#include "app/accessibility/ElementActions.h"
#include "app/controller/AppSettings.h"
#include "app/diagnostics/DebugDump.h"
#include "app/diagnostics/RunningApps.h"
#include "app/diagnostics/selftest/DevTests.h"
#include "app/main/DesktopController.h"
#include "app/maintenance/VersionHandshake.h"
#include "app/model/ClassifierLoading.h"
#include "app/model/ModelSupervisor.h"
#include "app/shell/LaunchFlags.h"
#include "app/shell/ShellApp.h"
#include "app/shell/SingleInstance.h"
#include "app/shell/StallWatchdog.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/desktopsettings/GSettingsStore.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/log/Log.h"
#include "platform/model/ModelRuntime.h"
#include "platform/paths/Paths.h"
#include "platform/scheduler/QtScheduler.h"
#include "platform/x11/X11Workspace.h"

namespace {

using namespace ovra;

// Stands in for synthetic input when the display offers none: nothing is ever sent.
class NoInput final : public input::InputSynthesizer {
  public:
    std::optional<Point> pointerLocation() override { return std::nullopt; }
    bool movePointer(Point) override { return false; }
    bool click(Point) override { return false; }
    bool pressAt(Point) override { return false; }
    bool wheel(Point, input::WheelDirection, int) override { return false; }
    bool activateWindow(input::WindowId) override { return false; }
    bool typeChord(const std::vector<input::KeyCode>&) override { return false; }
    bool isWindowAt(input::WindowId, Point) override { return false; }
};

DumpServices dumpServices(ax::AccessibilityBackend& backend, const Preferences& preferences) {
    DumpServices services;
    services.backend = &backend;
    services.clock = &ax::systemClock();
    services.out = &std::cout;
    services.processes = [] { return RunningApps::processes(); };
    services.traversalDepth = preferences.get(keys::traversalDepth);
    services.model = preferences.get(keys::model);
    services.locateModel = [](const std::string& id)
        -> std::optional<std::pair<std::filesystem::path, std::filesystem::path>> {
        auto located =
            ModelSupervisor::locate(id, paths::supportFolder(), paths::processEnvironment);
        if (!located) {
            return std::nullopt;
        }
        return std::make_pair(located->model, located->tokenizer);
    };
    services.loadClassifier = [](const std::filesystem::path& model,
                                 const std::filesystem::path& tokenizer) {
        // The runtime is made only when a model is there to load.
        std::shared_ptr<const ModelRuntime> runtime = makeTorchModelRuntime();
        return supervisor::ovraClassifierLoader(runtime)(model, tokenizer);
    };
    return services;
}

int finish(int code) {
    std::cout.flush();
    std::fflush(stdout);
    return code;
}

int runDiagnostics(const LaunchPlan& plan) {
    atspi::AtspiBackend backend;
    // The dumps only read the settings: nothing of theirs is ever written back.
    const auto settings = AppSettings::readOnly(AppSettings::standardErrorReport());
    const DumpServices services = dumpServices(backend, settings->preferences());

    std::optional<DebugDump::PressedControl> pressed;
    std::unique_ptr<input::InputSynthesizer> inputDevice;
    if (plan.pressTest) {
        if (auto xtest = input::XTestInputSynthesizer::open()) {
            inputDevice = std::move(xtest).value();
        } else {
            inputDevice = std::make_unique<NoInput>();
        }
        std::unique_ptr<x11::Workspace> workspace;
        if (auto opened = x11::Workspace::open()) {
            workspace = std::move(opened).value();
        }
        AXActions actions(backend, *inputDevice);
        PressServices press;
        press.actions = &actions;
        press.appWindow = [&workspace](std::int64_t pid,
                                       const std::string& title) -> std::optional<input::WindowId> {
            if (!workspace) {
                return std::nullopt;
            }
            return x11::windowToRaise(workspace->windowsOf(pid), pid, title);
        };
        press.activeWindowOf = [&workspace](std::int64_t pid) -> std::optional<input::WindowId> {
            if (!workspace) {
                return std::nullopt;
            }
            auto active = workspace->activeWindow();
            if (!active || active->pid != pid) {
                return std::nullopt;
            }
            return active->window;
        };
        const char* named = std::getenv("OVRA_PRESS_TEST_APP");
        const std::string app = named && *named ? named : std::string(kPressTestApp);
        auto result = DebugDump::pressTest(app, *plan.pressTest, services, press);
        if (!result) {
            return finish(result.error());
        }
        pressed = std::move(result).value();
    }
    // Once the control is found, whether or not the press landed, "--tree" and "--dump" run in
    // place of the report; a press that did not land keeps its exit code.
    const auto afterPress = [&pressed](int code) {
        return pressed && pressed->code != DumpExit::done ? pressed->code : code;
    };
    if (plan.tree) {
        return finish(afterPress(DebugDump::tree(plan.treeApp, services)));
    }
    if (plan.dump) {
        return finish(afterPress(DebugDump::run(plan.dumpApp, services)));
    }
    // The press test alone: it reports once the app has had time to react. It never starts the
    // app, which would take the hotkey and write settings beside the copy the user runs.
    std::this_thread::sleep_for(std::chrono::duration<double>(DebugDump::kPressReportDelay));
    return finish(DebugDump::pressReport(*pressed, services));
}

// A later start: asks the running copy for its Home pane and ends once it has answered, the
// event loop running meanwhile.
int handOver(SingleInstance& instance) {
    instance.handOver([](bool answered) {
        if (!answered) {
            logs::warning(logs::Category::app, "another copy is running but does not answer");
        }
        QCoreApplication::exit(answered ? 0 : 1);
    });
    return finish(QApplication::exec());
}

int runApp(int argc, char** argv, const LaunchPlan& plan) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        logs::warning(logs::Category::app,
                      "no X11 display: Murmlark Ovra runs on an X11 desktop session");
        return 1;
    }
    // Our windows speak to screen readers through the accessibility bus whoever asks.
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 0);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Every delivery is timed: one that holds the main thread up is logged.
    WatchedApplication app(argc, argv, logs::to(logs::Category::app, logs::Level::warning));
    QApplication::setApplicationName("murmlark-ovra");
    QApplication::setApplicationDisplayName("Murmlark Ovra");
    QApplication::setDesktopFileName("murmlark-ovra");
    QApplication::setQuitOnLastWindowClosed(false);

    const bool selfTest = plan.mode() == LaunchPlan::Mode::selfTest;
    std::unique_ptr<SingleInstance> instance;
    bool nameUndecided = false;
    if (!selfTest) {
        // Before any setting is read: a later start writes nothing.
        instance = std::make_unique<SingleInstance>();
        switch (instance->claim()) {
            case SingleInstance::Outcome::first:
                break;
            case SingleInstance::Outcome::taken:
                return handOver(*instance);
            case SingleInstance::Outcome::undecided:
                nameUndecided = true;
                break;
            case SingleInstance::Outcome::noBus:
                logs::warning(logs::Category::app,
                              "no name on the session bus: a second start cannot find this copy");
                break;
        }
    }

    QtScheduler scheduler;
    desktop::GSettingsStore desktopSettings;
    // A self-test runs on scratch settings: it reads the user's and never writes them.
    std::unique_ptr<AppSettings> settings =
        selfTest ? AppSettings::readOnly(AppSettings::standardErrorReport())
                 : std::make_unique<AppSettings>(scheduler, desktopSettings,
                                                 AppSettings::standardErrorReport());
    std::function<void(std::function<void()>)> whenSole;
    if (nameUndecided) {
        // The bus is slow to say whose the name is: this copy runs meanwhile, and writes no
        // setting and starts nothing else that writes or deletes until it knows it is alone.
        settings->holdWrites();
        whenSole = [&instance](std::function<void()> work) { instance->whenSole(std::move(work)); };
    }
    auto opened =
        DesktopController::open({settings->preferences(), settings->defaults(), scheduler},
                                {.pretendUntrusted = plan.pretendUntrusted,
                                 .simulateNotch = plan.simulateNotch,
                                 .traceKeys = plan.traceKeys,
                                 .selfTest = selfTest,
                                 .whenSole = whenSole});
    if (!opened) {
        logs::warning(logs::Category::app, opened.error());
        return finish(1);
    }
    DesktopController& controller = *opened.value();
    ShellApp shell(
        controller, scheduler,
        {plan, [&settings, selfTest] { return selfTest || settings->flush(); },
         logs::to(logs::Category::shell),
         [&controller, &settings, &scheduler](ScheduledFlag flag, const std::string& path,
                                              const SelfTestShell& parts) {
             selftest::start(
                 flag, path,
                 {controller.controller(), controller.dashboard(), settings->preferences(),
                  scheduler, getpid(), parts.layout, &parts.island,
                  [&controller](OvraPane pane) { controller.showDashboard(pane); },
                  [](const std::string& line) { std::cout << line << std::endl; }, parts.exit});
         }});
    if (instance) {
        instance->setShowHome([&shell] { shell.showHome(); });
    }
    if (nameUndecided) {
        // Found second, this copy hands over and ends with nothing written: the work that
        // writes or deletes files waits in the instance and is dropped.
        instance->whenDecided([&settings, &instance, &shell](bool ours) {
            if (ours) {
                settings->releaseWrites();
                return;
            }
            settings->freeze();
            logs::info(logs::Category::app,
                       "another copy is running: it shows its Home pane and this one ends");
            instance->handOver([&shell](bool) { shell.quit(); });
        });
    }
    // The controller installs the tray item (the shell's start, which also schedules the
    // flags) among everything else it starts.
    controller.start({.noDashboard = plan.noDashboard,
                      .installHome = [&shell] { shell.start(); },
                      .otherAppActivated = [&shell] { shell.otherAppActivated(); },
                      .quit = [&shell] { shell.quit(); },
                      .freezeSettings = [&settings] { settings->freeze(); },
                      .trayIconFrame = [&shell] { return shell.trayIconFrame(); }});
    if (!selfTest) {
        settings->showProblemsWith(
            [&controller](const std::string& problem) { controller.showSettingsProblem(problem); });
    }
    // Once the hotkeys are taken: at once, or when the bus has said this copy is the only one.
    const auto reportHotkeys = [&controller, &settings] {
        if (auto notice = controller.hotkeyNotice()) {
            logs::info(logs::Category::hotkeys, *notice);
        }
        if (auto problem = controller.hotkeyError()) {
            logs::warning(logs::Category::hotkeys, *problem);
        } else {
            logs::info(logs::Category::hotkeys,
                       settings->preferences().hotkey().label + " opens the overlay");
        }
    };
    if (nameUndecided) {
        instance->whenSole(reportHotkeys);
    } else {
        reportHotkeys();
    }

    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    logs::installStandardErrorSink();
    // Before anything else runs: an update asks a new version this to prove that it starts.
    if (argc == 2 && std::string_view(argv[1]) == update::kVersionFlag) {
        std::cout << update::thisVersionLine() << std::endl;
        return 0;
    }
    const LaunchPlan plan = LaunchPlan::from(LaunchFlags::fromMain(argc, argv));
    if (plan.help) {
        std::cout << usage();
        return finish(0);
    }
    if (plan.mode() == LaunchPlan::Mode::diagnostics) {
        return runDiagnostics(plan);
    }
    return runApp(argc, argv, plan);
}
