// The permission guide on a real desktop, wired as the app will wire it. Out: "guide <x> <y>
// <width> <height>" (its button), "trusted <0|1>", "windows back", "announce <text>", "front
// <app>" when a line comes in and the window in front reads as a request reads it.

#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <iostream>

#include "app/accessibility/AXExtractor.h"
#include "app/shell/PermissionGuideView.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/qt/MainThread.h"
#include "platform/scheduler/QtScheduler.h"

using namespace ovra;

void say(const std::string& line) {
    std::cout << line << std::endl;
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QtScheduler scheduler;
    atspi::AtspiBackend backend;

    desktop::SessionAccessibilitySwitch accessibility(postToMainThread);
    auto settings = desktop::DesktopSettingsOpener::forThisSession();
    PermissionGuide guide({scheduler,
                           [&backend] { return backend.isProcessTrusted(); },
                           accessibility,
                           settings,
                           [] { say("windows back"); },
                           [](const std::string& text) { say("announce " + text); },
                           {},
                           [] { return std::string("Alt+Space"); }});
    bool trusted = guide.trusted();
    say(std::string("trusted ") + (trusted ? "1" : "0"));
    guide.onChange([&] {
        if (guide.trusted() != trusted) {
            trusted = guide.trusted();
            say(std::string("trusted ") + (trusted ? "1" : "0"));
        }
    });
    QWidget window;
    auto* view = new PermissionGuideView(guide, 1, false, &window);
    view->setGeometry(20, 20, 860, 660);
    window.resize(900, 700);
    window.show();
    guide.start();
    scheduler.after(1.0, [view] {
        const QRect b(view->button().mapToGlobal(QPoint()), view->button().size());
        say("guide " + std::to_string(b.x()) + " " + std::to_string(b.y()) + " " +
            std::to_string(b.width()) + " " + std::to_string(b.height()));
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[512];
        if (read(STDIN_FILENO, chunk, sizeof chunk) <= 0) {
            input.setEnabled(false);
            return QApplication::quit();
        }
        // Any input asks for a reading of the window in front.
        if (const auto front = backend.frontmostApp()) {
            const auto read =
                AXExtractor{6, 150, 48, 4000}.snapshot(*front, backend, ax::systemClock());
            if (read && !read.value().candidates.empty()) {
                say("front " + front->localizedName.value_or("?"));
            }
        }
    });
    return QApplication::exec();
}
