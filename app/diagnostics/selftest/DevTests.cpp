// The find and scroll self-tests and the overlay snapshot: keys handed at once to the overlay's
// window, the overlay's state line after each step.

#include "app/diagnostics/selftest/DevTests.h"

#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPixmap>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/controller/AppController.h"
#include "app/diagnostics/selftest/Fixture.h"
#include "app/diagnostics/selftest/OverlayState.h"
#include "app/diagnostics/selftest/SelfTestRunner.h"
#include "app/diagnostics/selftest/SyntheticKeys.h"
#include "app/overlay/OverlayPanel.h"
#include "app/shell/LaunchSequence.h"
#include "app/shell/PngFile.h"
#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::selftest {

namespace {

constexpr double kFindGap = 1.0;
constexpr double kScrollGap = 1.2;
constexpr double kSnapshotDelay = 2.5;
constexpr int kMoreBelowRounds = 30;

std::string overlayLine(AppController& controller) {
    return overlayState(controller.overlay(), flagsOf(overlayPanel()));
}

RunnerOutput output(const SelfTestApp& app) {
    AppController* controller = &app.controller;
    return {app.print, [controller] { return overlayLine(*controller); }, app.exit};
}

// A key to the overlay, handled before this returns; dropped while there is no overlay.
std::function<void(Press)> overlayKeys(const SelfTestApp& app) {
    return [layout = app.layout](Press press) {
        if (OverlayPanel* panel = overlayPanel()) {
            sendKey(*panel, press, layout);
        }
    };
}

// Text put in at the find field's caret as dictation and input methods put it: a commit
// string. True when the overlay's focused widget is a text field that took it.
bool dictate(const std::string& text) {
    OverlayPanel* panel = overlayPanel();
    auto* field = panel ? qobject_cast<QLineEdit*>(panel->focusWidget()) : nullptr;
    if (!field) {
        return false;
    }
    QInputMethodEvent event;
    event.setCommitString(QString::fromStdString(text));
    QCoreApplication::sendEvent(field, &event);
    return true;
}

// Every reading of a window, from now on, is the fixture at the offset of that moment.
void useFixture(const SelfTestApp& app, std::function<double()> offset) {
    app.controller.devSnapshot = [pid = app.pid, offset = std::move(offset)] {
        return fixture(offset(), pid);
    };
}

}  // namespace

void findTest(const SelfTestApp& app) {
    AppController& controller = app.controller;
    Preferences& prefs = app.prefs;
    controller.devTrace = true;
    useFixture(app, [] { return 0.0; });
    // On the scratch settings the app runs on: the user's stored value is never touched.
    const bool sidebar = prefs.get(keys::sidebar);
    prefs.set(keys::sidebar, false);
    const auto orNone = [](const std::optional<std::string>& text) {
        return text ? *text : std::string("none");
    };
    const int slash = app.layout ? app.layout->slashKeyCode() : 44;
    app.print("hotkeys: main error=" + orNone(controller.hotkeyError()) +
              ", find error=" + orNone(controller.findHotkeyError()) + ", \"/\" is key code " +
              std::to_string(slash) + " in this layout");

    const auto key = overlayKeys(app);
    const auto dictateStep = [print = app.print](std::string text, bool report) {
        return [print, text = std::move(text), report] {
            const bool inserted = dictate(text);
            if (report) {
                print(std::string("dictation inserted: ") + (inserted ? "true" : "false"));
            }
        };
    };
    std::vector<Step> steps{
        {"open", [&controller] { controller.trigger(); }},
        {"F", [key] { key({Key::f}); }},
        {"type c", [key] { key({Key::c}); }},
        {"Down", [key] { key({Key::down}); }},
        {"Delete", [key] { key({Key::deleteKey}); }},
        {"dictate cancion", dictateStep("cancion", true)},
        {"S goes to the field", [key] { key({Key::s}); }},
        {"Delete", [key] { key({Key::deleteKey}); }},
        {"type zz",
         [key] {
             key({Key::z});
             key({Key::z});
         }},
        {"select all, delete",
         [key] {
             key({Key::a, false, true});
             key({Key::deleteKey});
         }},
        {"dictate place", dictateStep("place", false)},
        {"Return", [key] { key({Key::returnKey}); }},
        {"held Return",
         [key] {
             key({Key::returnKey, false, false, true});
         }},
        {"Esc leaves find", [key] { key({Key::escape}); }},
        {"Esc closes", [key] { key({Key::escape}); }},
        {"Super+Shift+/ opens into find", [&controller] { controller.findShortcutPressed(); }},
        {"Ctrl+F while finding",
         [key] {
             key({Key::f, false, true});
         }},
        {"restore",
         [&controller, &prefs, sidebar] {
             prefs.set(keys::sidebar, sidebar);
             controller.dismiss();
         }},
    };
    run(std::move(steps), kFindGap, app.scheduler, output(app));
}

void scrollTest(const SelfTestApp& app) {
    AppController& controller = app.controller;
    controller.devTrace = true;
    // Scrolling runs dry while the fixture stands in for the window; the offset the steps set
    // is what the re-read after the scroll finds.
    auto offset = std::make_shared<double>(0);
    useFixture(app, [offset] { return *offset; });
    const auto key = overlayKeys(app);
    std::vector<Step> steps{
        {"open", [&controller] { controller.trigger(); }},
        {"select the last item",
         [key] {
             for (int i = 0; i < 21; ++i) {
                 key({Key::down});
             }
         }},
        {"Return on More below",
         [key, offset, &controller] {
             *offset = 1200;
             for (int i = 0; i < kMoreBelowRounds; ++i) {
                 if (overlayLine(controller).find("selected=More below") != std::string::npos) {
                     break;
                 }
                 key({Key::down});
             }
             key({Key::returnKey});
         }},
        {"Page Down held (3 repeats)",
         [key, offset] {
             *offset = 2360;
             key({Key::pageDown});
             key({Key::pageDown, false, false, true});
             key({Key::pageDown, false, false, true});
         }},
        {"J", [key] { key({Key::j}); }},
        {"Shift+K",
         [key] {
             key({Key::k, true});
         }},
        {"Page Up",
         [key, offset] {
             *offset = 0;
             key({Key::pageUp});
         }},
        {"Space held does not press",
         [key] {
             key({Key::space, false, false, true});
         }},
    };
    run(std::move(steps), kScrollGap, app.scheduler, output(app));
}

void overlaySnapshot(const SelfTestApp& app, const std::string& path) {
    useFixture(app, [] { return 0.0; });
    app.controller.trigger();
    app.scheduler.after(kSnapshotDelay, [print = app.print, exit = app.exit, path] {
        OverlayPanel* panel = overlayPanel();
        if (!panel) {
            print("overlay snapshot: no overlay");
            exit(1);
            return;
        }
        if (auto problem = writePngFile(panel->grab().toImage(), path)) {
            print("overlay snapshot: could not write " + path + ": " + *problem);
            exit(1);
            return;
        }
        print("overlay snapshot: " + path + " " +
              LaunchSequence::sizeText(
                  {static_cast<double>(panel->width()), static_cast<double>(panel->height())}));
        exit(0);
    });
}

void start(ScheduledFlag flag, const std::string& path, const SelfTestApp& app) {
    switch (flag) {
        case ScheduledFlag::findTest:
            findTest(app);
            break;
        case ScheduledFlag::scrollTest:
            scrollTest(app);
            break;
        case ScheduledFlag::overlaySnapshot:
            overlaySnapshot(app, path);
            break;
        case ScheduledFlag::keyboardTest:
            keyboardTest(app);
            break;
        default:
            break;
    }
}

}  // namespace ovra::selftest
