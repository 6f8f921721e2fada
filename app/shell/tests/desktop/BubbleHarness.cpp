// The on-screen button and the permission guide on a real desktop, wired as the controller
// wires them: a click on the button reads the app in front through the accessibility bus; the
// guide polls the bus, turns accessibility on and opens the desktop's settings. It reports on
// standard output and takes commands on standard input, one a line:
//
//   out: "button <x> <y> <width> <height>", "clicked", "front <app> <candidates>",
//        "state button=<0|1> trail=<0|1>", "guide <x> <y> <width> <height>" (its button),
//        "trusted <0|1>", "windows back", "announce <text>", "banner <text>"
//   in:  "fly", "state", "read", "quit"
//
//   bubble-harness [--place <raw value>] [--guide]

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstring>
#include <iostream>

#include "app/accessibility/AXExtractor.h"
#include "app/controller/Preferences.h"
#include "app/shell/BubbleDesktop.h"
#include "app/shell/IslandWindow.h"
#include "app/shell/PermissionGuideView.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/scheduler/QtScheduler.h"

namespace {

using namespace ovra;

void say(const std::string& line) {
    std::cout << line << std::endl;
}

std::string box(const QRect& r) {
    return std::to_string(r.x()) + " " + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           " " + std::to_string(r.height());
}

// The window in front as a request reads it.
void readFront(atspi::AtspiBackend& backend) {
    const AXExtractor extractor{6, 150, 48, 4000};
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (const auto front = backend.frontmostApp()) {
            auto read = extractor.snapshot(*front, backend, ax::systemClock());
            if (read && !read.value().candidates.empty()) {
                say("front " + front->localizedName.value_or("?") + " " +
                    std::to_string(read.value().candidates.size()));
                return;
            }
        }
        ax::systemClock().sleep(0.25);
    }
    say("front none 0");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    OvraButtonPlace place = OvraButtonPlace::leftMiddle;
    bool withGuide = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--place") == 0 && i + 1 < argc) {
            place = OvraButtonPlace::fromRawValue(argv[++i]).value_or(place);
        }
        withGuide = withGuide || std::strcmp(argv[i], "--guide") == 0;
    }
    QtScheduler scheduler;
    atspi::AtspiBackend backend;
    InMemoryDefaults defaults;
    Preferences prefs(defaults);
    prefs.setShowBubble(!withGuide);
    prefs.setBubblePlace(place);

    BubbleController bubble(desktopBubbleServices(
        scheduler, [] { return false; }, [] { return false; }));
    // No top panel in the virtual desktop: the flight lands where a tray would be.
    bubble.install(
        prefs,
        [](const Rect& button) -> std::optional<Point> {
            const auto screens = IslandWindow::islandScreens();
            return menuBarLanding(button, screens)
                .value_or(Point{screens.front().frame.maxX() - 30, 12});
        },
        [&backend] {
            say("clicked");
            readFront(backend);
        });
    if (bubble.buttonShown()) {
        const auto screens = IslandWindow::islandScreens();
        const Rect f = bubble.bubbleFrame(screens.front(), place);
        say("button " + box(QRect(int(f.minX()), int(f.minY()), int(f.width()), int(f.height()))));
    }

    desktop::SessionAccessibilitySwitch accessibility;
    auto settings = desktop::DesktopSettingsOpener::forThisSession();
    QWidget window;
    window.setWindowTitle("Permission guide");
    PermissionGuide guide({scheduler, [&backend] { return backend.isProcessTrusted(); },
                           accessibility, settings,
                           [&window] {
                               say("windows back");
                               window.lower();
                           },
                           [](const std::string& text) { say("announce " + text); },
                           [](const std::string& text) { say("banner " + text); },
                           [] { return std::string("Alt+Space"); }});
    bool saidTrusted = guide.trusted();
    guide.onChange([&guide, &saidTrusted] {
        if (guide.trusted() != saidTrusted) {
            saidTrusted = guide.trusted();
            say(std::string("trusted ") + (saidTrusted ? "1" : "0"));
        }
    });
    if (withGuide) {
        auto* view = new PermissionGuideView(guide, 1, false, &window);
        window.resize(900, 700);
        view->setGeometry(20, 20, 860, 660);
        window.show();
        guide.start();
        say(std::string("trusted ") + (guide.trusted() ? "1" : "0"));
        scheduler.after(1.0, [view] {
            QPushButton& b = view->button();
            say("guide " + box(QRect(b.mapToGlobal(QPoint(0, 0)), b.size())));
        });
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    auto command = [&](const std::string& line) {
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
    };
    // Every whole line that has come in (several may come in one read).
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[512];
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            command("quit");
            return;
        }
        pending.append(chunk, static_cast<std::size_t>(n));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            command(line);
        }
    });
    return QApplication::exec();
}
