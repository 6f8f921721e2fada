// The flight trail and the permission guide on a real desktop, wired as the app wires them: the
// guide polls the accessibility bus, turns accessibility on and opens the desktop's settings.
// Lines out: "ready", "state button=<0|1> trail=<0|1>", "guide <x> <y> <width> <height>" (its
// button), "trusted <0|1>", "windows back", "announce <text>", "front <app> <candidates>".
// Lines in: "fly", "state", "read" (the window in front, as a request reads it), "quit".
//
//   bubble-harness [--guide]

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstring>
#include <iostream>

#include "app/accessibility/AXExtractor.h"
#include "app/controller/Preferences.h"
#include "app/shell/BubbleDesktop.h"
#include "app/shell/PermissionGuideView.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/scheduler/QtScheduler.h"

namespace {

using namespace ovra;

void say(const std::string& line) {
    std::cout << line << std::endl;
}

void readFront(atspi::AtspiBackend& backend) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (const auto front = backend.frontmostApp()) {
            auto read = AXExtractor{6, 150, 48, 4000}.snapshot(*front, backend, ax::systemClock());
            if (read && !read.value().candidates.empty()) {
                return say("front " + front->localizedName.value_or("?") + " " +
                           std::to_string(read.value().candidates.size()));
            }
        }
        ax::systemClock().sleep(0.25);
    }
    say("front none 0");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool withGuide = argc > 1 && std::strcmp(argv[1], "--guide") == 0;
    QtScheduler scheduler;
    atspi::AtspiBackend backend;
    InMemoryDefaults defaults;
    Preferences prefs(defaults);
    prefs.setShowBubble(!withGuide);
    BubbleController bubble(desktopBubbleServices(
        scheduler, [] { return false; }, [] { return false; }));
    // No top panel here: the flight lands where a tray would be.
    bubble.install(
        prefs,
        [](const Rect& b) {
            return Point{b.minX(), 12};
        },
        [] {});

    desktop::SessionAccessibilitySwitch accessibility;
    auto settings = desktop::DesktopSettingsOpener::forThisSession();
    QWidget window;
    PermissionGuide guide({scheduler,
                           [&backend] { return backend.isProcessTrusted(); },
                           accessibility,
                           settings,
                           [] { say("windows back"); },
                           [](const std::string& text) { say("announce " + text); },
                           {},
                           [] { return std::string("Alt+Space"); }});
    bool saidTrusted = guide.trusted();
    say(std::string("trusted ") + (saidTrusted ? "1" : "0"));
    guide.onChange([&] {
        if (guide.trusted() != saidTrusted) {
            saidTrusted = guide.trusted();
            say(std::string("trusted ") + (saidTrusted ? "1" : "0"));
        }
    });
    if (withGuide) {
        auto* view = new PermissionGuideView(guide, 1, false, &window);
        view->setGeometry(20, 20, 860, 660);
        window.resize(900, 700);
        window.show();
        guide.start();
        scheduler.after(1.0, [view] {
            const QPushButton& b = view->button();
            const QPoint at = b.mapToGlobal(QPoint(0, 0));
            say("guide " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " " +
                std::to_string(b.width()) + " " + std::to_string(b.height()));
        });
    }
    say("ready");

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[512];
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        pending.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n <= 0) {
            pending += "quit\n";
        }
        // Every whole line that came in: several may come in one read.
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line == "quit") {
                input.setEnabled(false);
                QApplication::quit();
            } else if (line == "fly") {
                bubble.fly();
            } else if (line == "read") {
                readFront(backend);
            } else if (line == "state") {
                say(std::string("state button=") + (bubble.buttonShown() ? "1" : "0") +
                    " trail=" + (bubble.trailShown() ? "1" : "0"));
            }
        }
    });
    return QApplication::exec();
}
