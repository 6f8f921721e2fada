// murmlark-ovra: reads the launch flags and runs the diagnostics they ask for. Flags are tested
// in a fixed order: "--press-test" acts and reports 1.0 s later, unless "--tree" or "--dump",
// which run instead of the app and end the process, come first.

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#include "app/accessibility/ElementActions.h"
#include "app/controller/AppSettings.h"
#include "app/diagnostics/DebugDump.h"
#include "app/diagnostics/RunningApps.h"
#include "app/model/ClassifierLoading.h"
#include "app/model/ModelSupervisor.h"
#include "app/shell/LaunchFlags.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/model/ModelRuntime.h"
#include "platform/paths/Paths.h"
#include "platform/x11/X11Workspace.h"

namespace {

using namespace ovra;

// Stands in for synthetic input when the display offers none: nothing is ever sent.
class NoInput final : public input::InputSynthesizer {
  public:
    std::optional<Point> pointerLocation() override { return std::nullopt; }
    bool movePointer(Point) override { return false; }
    bool click(Point) override { return false; }
    bool wheel(Point, input::WheelDirection, int) override { return false; }
    bool activateWindow(input::WindowId) override { return false; }
    bool isWindowAt(input::WindowId, Point) override { return false; }
};

DumpServices dumpServices(ax::AccessibilityBackend& backend, const Preferences& preferences) {
    DumpServices services;
    services.backend = &backend;
    services.clock = &ax::systemClock();
    services.out = &std::cout;
    services.processes = [] { return RunningApps::processes(); };
    services.traversalDepth = preferences.traversalDepth();
    services.model = preferences.model();
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

}  // namespace

int main(int argc, char** argv) {
    const LaunchPlan plan = LaunchPlan::from(LaunchFlags::fromMain(argc, argv));
    if (plan.help) {
        std::cout << usage();
        return finish(0);
    }
    if (!plan.any()) {
        std::cerr << "murmlark-ovra: the menu-bar app is not built yet; only the diagnostics "
                     "below run.\n\n"
                  << usage();
        return finish(1);
    }

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
        auto result =
            DebugDump::pressTest(std::string(kPressTestApp), *plan.pressTest, services, press);
        if (!result) {
            return finish(result.error());
        }
        pressed = std::move(result).value();
    }
    if (plan.tree) {
        return finish(DebugDump::tree(plan.treeApp, services));
    }
    if (plan.dump) {
        return finish(DebugDump::run(plan.dumpApp, services));
    }
    // Only the press test: its report comes once the app has had time to react.
    std::this_thread::sleep_for(std::chrono::duration<double>(DebugDump::kPressReportDelay));
    return finish(DebugDump::pressReport(*pressed, services));
}
