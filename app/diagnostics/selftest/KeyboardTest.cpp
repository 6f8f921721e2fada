// The keyboard self-test: keys queued for the window that should get them (the overlay, the
// settings window, the credits, the uninstall dialog, the home island), each handled by the
// event loop as a typed key would be, and a line of state half a second after each step.

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/controller/AppController.h"
#include "app/controller/Preferences.h"
#include "app/diagnostics/selftest/DevTests.h"
#include "app/diagnostics/selftest/Fixture.h"
#include "app/diagnostics/selftest/OverlayState.h"
#include "app/diagnostics/selftest/SelfTestRunner.h"
#include "app/diagnostics/selftest/SyntheticKeys.h"
#include "app/overlay/OverlayPanel.h"
#include "app/settings/DashboardContent.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/HomeIslandController.h"
#include "app/shell/IslandWindow.h"
#include "core/OvraText.h"

namespace ovra::selftest {

namespace {

constexpr double kGap = 0.9;
constexpr double kStateAfter = 0.5;

template <class Window>
Window* firstWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget)) {
            return window;
        }
    }
    return nullptr;
}

QWidget* visibleOverlay() {
    OverlayPanel* panel = overlayPanel();
    return panel && panel->isVisible() ? panel : nullptr;
}

QWidget* settingsWindow() {
    return firstWindow<SettingsWindow>();
}

QWidget* islandWindow() {
    return firstWindow<IslandWindow>();
}

QWidget* modalWindow() {
    return QApplication::activeModalWidget();
}

QWidget* dialog(const QString& title) {
    if (QWidget* modal = modalWindow()) {
        return modal;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowTitle() == title) {
            return window;
        }
    }
    return nullptr;
}

using Target = QWidget* (*)();

struct KeyboardRun {
    SelfTestApp app;
    std::vector<Step> steps;

    void post(Target target, Press press) const {
        QWidget* window = target();
        if (!window) {
            app.print("  (no window to send key " + std::to_string(codesOf(press.key).keyCode) +
                      " to)");
            return;
        }
        postKey(*window, press, app.layout);
    }
    void key(std::string name, Target target, Press press) {
        steps.push_back({std::move(name), [this, target, press] { post(target, press); }});
    }
    void step(std::string name, std::function<void()> action) {
        steps.push_back({std::move(name), std::move(action)});
    }

    // "pane." and the pane shown, then its row stops: the order Tab walks.
    std::vector<std::string> tabOrder(OvraPane pane) const {
        std::vector<std::string> order{pane.stopID()};
        if (auto* window = qobject_cast<SettingsWindow*>(settingsWindow())) {
            for (std::string& id : DashboardContent::stops(pane, window->context())) {
                if (id.rfind("pane.", 0) != 0) {
                    order.push_back(std::move(id));
                }
            }
        }
        return order;
    }
    void tabTo(const std::string& id) const {
        const DashboardModel& dashboard = app.dashboard;
        const std::vector<std::string> order = tabOrder(dashboard.pane());
        const auto target = std::find(order.begin(), order.end(), id);
        if (target == order.end()) {
            app.print("  (" + id + " is not a stop here)");
            return;
        }
        std::size_t current = 0;
        if (const auto& focus = dashboard.focusID()) {
            const auto at = std::find(order.begin(), order.end(), *focus);
            current = at == order.end() ? 0 : static_cast<std::size_t>(at - order.begin());
        }
        const std::size_t wanted = static_cast<std::size_t>(target - order.begin());
        const std::size_t presses = (wanted + order.size() - current) % order.size();
        for (std::size_t i = 0; i < presses; ++i) {
            post(settingsWindow, {Key::tab});
        }
    }
    void returnOn(const std::string& id, const std::string& what) const {
        if (app.dashboard.focusID() == id) {
            post(settingsWindow, {Key::returnKey});
        } else {
            app.print("  focus is not on " + what + "; not pressing");
        }
    }

    std::string dash() const {
        const DashboardModel& dashboard = app.dashboard;
        const QWidget* modal = modalWindow();
        // Panes by the titles the window shows (a stored id may name what this desktop lacks).
        const std::string focus = dashboard.focusID().value_or("nil");
        const auto pane = OvraPane::fromStopID(focus);
        return "pane=" + dashboard.pane().title() +
               " focus=" + (pane ? std::string(OvraPane::kStopPrefix) + pane->title() : focus) +
               " modal=" + (modal ? modal->windowTitle().toStdString() : std::string("none")) +
               " " + windowsSummary();
    }
    std::string state(const std::string& name) const {
        if (name.rfind("overlay", 0) == 0) {
            const bool active = QGuiApplication::applicationState() == Qt::ApplicationActive;
            return overlayState(app.controller.overlay(), flagsOf(overlayPanel())) +
                   " active=" + (active ? "true" : "false") + " " + windowsSummary();
        }
        if (name.rfind("island", 0) == 0) {
            return (app.island ? app.island->devState() : std::string("island none")) + " " +
                   windowsSummary();
        }
        return dash();
    }

    void overlaySteps();
    void settingsSteps();
    void islandSteps();
};

void KeyboardRun::overlaySteps() {
    AppController* controller = &app.controller;
    const auto open = [controller] { controller->trigger(); };
    step("overlay: open", open);
    for (int i = 1; i <= 7; ++i) {
        key("overlay: Tab " + std::to_string(i), visibleOverlay, {Key::tab});
    }
    key("overlay: Shift-Tab", visibleOverlay, {Key::tab, true});
    key("overlay: Right", visibleOverlay, {Key::right});
    key("overlay: Down", visibleOverlay, {Key::down});
    key("overlay: Left", visibleOverlay, {Key::left});
    key("overlay: Up", visibleOverlay, {Key::up});
    key("overlay: 3", visibleOverlay, {Key::digit3});
    key("overlay: A (show all)", visibleOverlay, {Key::a});
    key("overlay: A (fewer)", visibleOverlay, {Key::a});
    key("overlay: W (why)", visibleOverlay, {Key::w});
    key("overlay: S (sidebar)", visibleOverlay, {Key::s});
    for (int i = 1; i <= 7; ++i) {
        key("overlay: sidebar Tab " + std::to_string(i), visibleOverlay, {Key::tab});
    }
    key("overlay: sidebar Shift-Tab", visibleOverlay, {Key::tab, true});
    key("overlay: sidebar Up", visibleOverlay, {Key::up});
    key("overlay: S (ovras)", visibleOverlay, {Key::s});
    key("overlay: Esc closes", visibleOverlay, {Key::escape});
    step("overlay: open for find", open);
    key("overlay: F (find)", visibleOverlay, {Key::f});
    key("overlay: type p into find", visibleOverlay, {Key::p});
    key("overlay: find Tab", visibleOverlay, {Key::tab});
    key("overlay: find Shift-Tab", visibleOverlay, {Key::tab, true});
    key("overlay: find Down", visibleOverlay, {Key::down});
    key("overlay: Esc leaves find", visibleOverlay, {Key::escape});
    key("overlay: Esc closes", visibleOverlay, {Key::escape});
}

void KeyboardRun::settingsSteps() {
    step("settings: open (Home, the welcome guide without accessibility access)",
         [show = app.showDashboard] { show(OvraPane::home); });
    // The Tab orders as they stand now: the names hold their lengths.
    int n = 1;
    for (const OvraPane pane : OvraPane::allCases()) {
        const std::string title = pane.title();
        const std::size_t count = tabOrder(pane).size();
        key("settings: Ctrl+" + std::to_string(n) + " (" + title + ")", settingsWindow,
            {digitKey(n), false, true});
        for (std::size_t i = 1; i <= count; ++i) {
            key("settings: " + title + " Tab " + std::to_string(i) + " of " + std::to_string(count),
                settingsWindow, {Key::tab});
        }
        key("settings: " + title + " Shift-Tab", settingsWindow, {Key::tab, true});
        ++n;
    }
    key("settings: Down in the section list", settingsWindow, {Key::down});
    key("settings: Up in the section list", settingsWindow, {Key::up});
    key("settings: Right into the rows", settingsWindow, {Key::right});
    key("settings: Ctrl+7 (Instructions)", settingsWindow, {Key::digit7, false, true});
    key("settings: Instructions: Down to the next feature", settingsWindow, {Key::down});
    key("settings: Instructions: Up again", settingsWindow, {Key::up});
    key("settings: Instructions: 6 (More of the page, no Try it)", settingsWindow, {Key::digit6});
    key("settings: Instructions: Tab to the card's button", settingsWindow, {Key::tab});
    key("settings: Instructions: Shift-Tab back to the list", settingsWindow, {Key::tab, true});
    key("settings: Instructions: 9 (Say it instead of typing)", settingsWindow, {Key::digit9});
    key("settings: Instructions: Down past the last feature goes to Try it", settingsWindow,
        {Key::down});
    key("settings: Instructions: Tab to Read aloud", settingsWindow, {Key::tab});
    key("settings: Instructions: Tab back to the section list", settingsWindow, {Key::tab});
    key("settings: Ctrl+6 (General)", settingsWindow, {Key::digit6, false, true});
    step("settings: Tab to Open source credits", [this] { tabTo("gen.credits"); });
    step("settings: Return opens the credits", [this] { returnOn("gen.credits", "credits"); });
    static const QString credits = QString::fromStdString(OvraText::t("Open source credits"));
    const Target creditsWindow = [] { return dialog(credits); };
    const std::pair<const char*, Press> creditKeys[] = {{"Tab", {Key::tab}},
                                                        {"Tab", {Key::tab}},
                                                        {"Right", {Key::right}},
                                                        {"Left", {Key::left}},
                                                        {"Shift-Tab", {Key::tab, true}}};
    for (const auto& [name, press] : creditKeys) {
        key(std::string("credits: ") + name, creditsWindow, press);
    }
    key("credits: Esc closes", creditsWindow, {Key::escape});
    key("settings: Tab still moves in Settings after the credits", settingsWindow, {Key::tab});
    step("settings: Tab to Remove Murmlark Ovra", [this] { tabTo("gen.uninstall"); });
    step("settings: Return opens the uninstall dialog",
         [this] { returnOn("gen.uninstall", "uninstall"); });
    const std::pair<const char*, Press> uninstallKeys[] = {{"Tab", {Key::tab}},
                                                           {"Tab", {Key::tab}},
                                                           {"Down", {Key::down}},
                                                           {"Up", {Key::up}},
                                                           {"Shift-Tab", {Key::tab, true}}};
    for (const auto& [name, press] : uninstallKeys) {
        key(std::string("uninstall: ") + name, modalWindow, press);
    }
    key("uninstall: Esc cancels", modalWindow, {Key::escape});
    key("settings: Tab still moves in Settings after the dialog", settingsWindow, {Key::tab});
    key("settings: Esc closes Settings", settingsWindow, {Key::escape});
}

void KeyboardRun::islandSteps() {
    HomeIslandController* island = app.island;
    const auto open = [island] {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen && !QGuiApplication::screens().isEmpty()) {
            screen = QGuiApplication::screens().front();
        }
        if (island && screen) {
            island->open(IslandWindow::islandScreen(*screen));
        }
    };
    step("island: open", open);
    for (int i = 1; i <= 9; ++i) {
        key("island: Down " + std::to_string(i), islandWindow, {Key::down});
    }
    key("island: Up", islandWindow, {Key::up});
    key("island: Tab", islandWindow, {Key::tab});
    key("island: Shift-Tab", islandWindow, {Key::tab, true});
    step("island: number key for Settings", [this, island] {
        const int number = island ? island->devNumber("settings").value_or(0) : 0;
        post(islandWindow, {digitKey(number)});
    });
    step("island: Return opens Settings", [this, island] {
        const std::string settings = "\"" + OvraText::t("Settings") + "\"";
        if (island && island->devState().find(settings) != std::string::npos) {
            post(islandWindow, {Key::returnKey});
        } else {
            app.print("  Settings is not selected; not pressing");
        }
    });
    key("settings: Esc closes Settings again", settingsWindow, {Key::escape});
    step("island: open again", open);
    key("island: Esc closes", islandWindow, {Key::escape});
}

}  // namespace

void keyboardTest(const SelfTestApp& app) {
    AppController& controller = app.controller;
    controller.devTrace = true;
    // Scrolling runs dry while the fixture stands in for the window, and the uninstaller of a
    // process started for a self-test removes nothing.
    controller.devSnapshot = [pid = app.pid] { return fixture(0, pid); };
    // On the scratch settings the app runs on: the user's stored value is never touched.
    const bool sidebar = app.prefs.get(keys::sidebar);
    app.prefs.set(keys::sidebar, false);

    auto run = std::make_shared<KeyboardRun>(KeyboardRun{app, {}});
    run->step("setup: close a stray empty Settings window", [] {
        const QString stray = QCoreApplication::applicationName() + QStringLiteral(" Settings");
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowTitle() == stray) {
                window->close();
            }
        }
    });
    run->overlaySteps();
    run->settingsSteps();
    run->islandSteps();
    AppController* owner = &controller;
    run->step("overlay: open again", [owner] { owner->trigger(); });
    for (int i = 1; i <= 4; ++i) {
        run->step("overlay: waiting, " + std::to_string(i) + " of 4", {});
    }
    run->key("overlay: Tab, about 4 s after opening", visibleOverlay, {Key::tab});
    run->key("overlay: Esc closes", visibleOverlay, {Key::escape});
    Preferences* prefs = &app.prefs;
    run->step("restore", [prefs, sidebar] { prefs->set(keys::sidebar, sidebar); });

    // Each step's line comes half a second after its action.
    std::vector<Step> wrapped;
    for (Step& step : run->steps) {
        wrapped.push_back({step.name, [run, name = step.name, action = std::move(step.action)] {
                               if (action) {
                                   action();
                               }
                               run->app.scheduler.after(kStateAfter, [run, name] {
                                   run->app.print("[" + name + "] " + run->state(name));
                               });
                           }});
    }
    runQuiet(std::move(wrapped), kGap, app.scheduler, {app.print, {}, app.exit});
}

}  // namespace ovra::selftest
