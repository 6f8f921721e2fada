// Shows the overlay panel over the frontmost app of a real desktop, as the controller will: reads
// the app's window with the accessibility reader, plans it with the built-in rules, maps the
// frames onto the screen and presents the panel with "Reject all" selected (when the page has
// one), following the desktop's display preferences (its ring pulses unless motion is reduced).
// It reports on standard output and takes commands on standard input, one a line:
//
//   out: "ready", then "ring <id> <x> <y> <width> <height> <label>" per ring, "hud <x> <y> <width>
//        <height>", then "rings end";
//        "activated <id>", "dismissed", "key <code>", "transparent <0|1>", "compositing <0|1>",
//        "environment reduceMotion=<0|1> contrast=<0|1>", "stepping aside"
//   in:  "transparent 1" / "transparent 0", "refresh" (grab the screen again), "quit"

#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/accessibility/AXExtractor.h"
#include "app/overlay/DesktopDisplay.h"
#include "app/overlay/OverlayPanel.h"
#include "core/FocusPlanner.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/desktopsettings/GSettingsStore.h"
#include "platform/keyboard/X11Keyboard.h"
#include "platform/scheduler/QtScheduler.h"

namespace {

void say(const std::string& line) {
    std::cout << line << std::endl;
}

std::optional<ovra::WindowSnapshot> readFrontWindow() {
    ovra::atspi::AtspiBackend backend;
    const ovra::AXExtractor extractor{6, 150, 48, 4000};
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (const auto front = backend.frontmostApp()) {
            auto read = extractor.snapshot(*front, backend, ovra::ax::systemClock());
            if (read && !read.value().candidates.empty()) {
                return std::move(read).value();
            }
        }
        ovra::ax::systemClock().sleep(0.25);
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    QApplication app(argc, argv);
    const std::optional<ovra::WindowSnapshot> snapshot = readFrontWindow();
    if (!snapshot) {
        say("error: no window to read");
        return 1;
    }

    ovra::OverlayModel model;
    model.theme = ovra::BeaconTheme::magenta;
    model.pulseEnabled = true;
    model.setPhase(ovra::OverlayPhase::ready(
        ovra::FocusPlanner::plan(snapshot->candidates, nullptr, 5, {}, "chromium")));
    ovra::QtScheduler scheduler;
    ovra::PointerIntent pointer;
    // The X server's keyboard places the keys, as the app's keyboard service does.
    auto keyboard = ovra::keyboard::X11Keyboard::open();
    ovra::OverlayPanel panel(
        model, scheduler, pointer, [](const std::string& id) { say("activated " + id); },
        [] { say("dismissed"); }, keyboard ? &keyboard.value()->layout() : nullptr);
    panel.setKeyHandler([](const ovra::KeyInput& key) {
        say("key " + std::to_string(key.keyCode));
        return true;
    });
    QObject::connect(&panel, &ovra::OverlayPanel::compositingChanged,
                     [](bool on) { say(std::string("compositing ") + (on ? "1" : "0")); });
    ovra::desktop::GSettingsStore settings;
    ovra::desktopstatus::DisplayPreferencesSource display(settings);
    ovra::FollowDesktopDisplay follow(panel.view(), display);
    display.subscribe([](const auto& now) {
        say("environment reduceMotion=" + std::to_string(now.reduceMotion) +
            " contrast=" + std::to_string(now.increaseContrast));
    });
    QScreen* screen = QGuiApplication::primaryScreen();
    model.mapRect = ovra::OverlayPanel::mapping(*screen);
    const std::vector<std::string> order = model.navigationOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const ovra::FocusItem* item = model.phase().plan()->item(order[i]);
        if (item && item->candidate.label() == "Reject all") {
            model.select(static_cast<int>(i));
        }
    }
    panel.present(screen);
    scheduler.after(0, [&] { model.setIslandOpen(true); });
    // Once the opening has settled: where the rings are, in the overlay's (the screen's) space.
    scheduler.after(1.0, [&] {
        say("ready");
        for (const ovra::Ring& ring : panel.view().scene().rings) {
            const ovra::Rect& r = ring.rect;
            say("ring " + ring.id + " " + std::to_string(r.minX()) + " " +
                std::to_string(r.minY()) + " " + std::to_string(r.width()) + " " +
                std::to_string(r.height()) + " " +
                model.phase().plan()->item(ring.id)->candidate.label());
        }
        const ovra::Rect& hud = panel.view().scene().hudPlacement.frame;
        say("hud " + std::to_string(hud.minX()) + " " + std::to_string(hud.minY()) + " " +
            std::to_string(hud.width()) + " " + std::to_string(hud.height()));
        say("rings end");
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line) || line == "quit") {
            input.setEnabled(false);
            QApplication::quit();
        } else if (line.rfind("transparent ", 0) == 0) {
            panel.setInputTransparent(line.back() == '1');
            say(std::string("transparent ") + line.back());
        } else if (line == "refresh") {
            panel.refreshBackdrop();
            say("stepping aside");
        }
    });
    return QApplication::exec();
}
