// Start-up: everything the controller installs once the app has launched, the hotkeys with the
// main hotkey's fallbacks, the permission poll, the app's own windows (click-away, the other
// app in front, their look) and the one-time tips of the tray bird and the on-screen button.

#include "app/controller/AppController.h"
#include "core/OvraText.h"

namespace ovra {

namespace {

std::string modelID(VornModel model) {
    return model == VornModel::multilingual ? "murmlark-ovra/multi" : "murmlark-ovra/en";
}

}  // namespace

void AppController::start(Startup startup) {
    if (started_) {
        return;
    }
    started_ = true;
    startup_ = std::move(startup);
    zoom_.setMagnifier(startup_.magnifier);
    if (startup_.startUpdater) {
        startup_.startUpdater();
    }
    find_.watchQuery();
    overlayWatch_ = overlay_.subscribe([this](OverlayField field) { overlayChanging(field); });
    if (startup_.installHome) {
        startup_.installHome();
    }
    if (auto front = services_.workspace.frontmost();
        front && front->pid != services_.workspace.ownPid() && front->pid != 0) {
        lastExternalApp_ = *front;
    }
    if (startup_.installBubble) {
        const std::weak_ptr<int> alive = alive_;
        startup_.installBubble(
            [this, alive](const Rect& button) -> std::optional<Point> {
                if (alive.expired() || !startup_.menuBarLanding) {
                    return std::nullopt;
                }
                return startup_.menuBarLanding(button);
            },
            [this, alive] {
                if (!alive.expired()) {
                    ovraButtonPressed();
                }
            });
    }
    prefsWatch_ =
        services_.prefs.onChange([this](Preference preference) { preferenceChanged(preference); });
    hotkeys_.install(
        startup_.hotkeys, startup_.slashKeyCode, [this] { toggle(); },
        [this] { findShortcutPressed(); });
    hotkeys_.registerMain();
    hotkeys_.registerFind();
    if (startup_.watchLayout) {
        startup_.watchLayout([this, alive = std::weak_ptr<int>(alive_)] {
            if (!alive.expired()) {
                hotkeys_.registerFind();
            }
        });
    }
    if (services_.prefs.get(keys::useModel)) {
        startModel();
    }
    trust_.start(startup_.checkTrust, startup_.pretendUntrusted, [this](bool announce) {
        notifyState();
        if (announce) {
            permissionGranted();
        }
    });
    if (startup_.showDashboard) {
        later(0, [this] {
            if (services_.showDashboard) {
                services_.showDashboard(OvraPane::home);
            }
        });
    }
    if (startup_.watchClicks) {
        startup_.watchClicks([this, alive = std::weak_ptr<int>(alive_)](Point at) {
            if (!alive.expired()) {
                clickedAt(at);
            }
        });
    }
    applyAppearance();
    trust_.keepAsking();
}

void AppController::notifyState() {
    if (stateChanged_) {
        stateChanged_();
    }
}

void AppController::overlayChanging(OverlayField field) {
    zoom_.overlayChanging();
    if (field == OverlayField::query) {
        find_.queryChanging();
    }
}

void AppController::preferenceChanged(Preference preference) {
    switch (preference) {
        case Preference::showBubble:
        case Preference::bubblePlace:
        case Preference::bubbleSize:
        case Preference::flightTrail:
            later(0, [this] {
                if (startup_.refreshBubble) {
                    startup_.refreshBubble();
                }
            });
            break;
        case Preference::hotkeyID:
            if (hotkeys_.userPicked()) {
                later(0, [this] { hotkeys_.registerMain(); });
            }
            break;
        case Preference::model:
            later(0, [this] {
                services_.model.stop();
                startModel();
            });
            break;
        case Preference::findShortcut:
            later(0, [this] { hotkeys_.registerFind(); });
            break;
        case Preference::appearance:
            later(0, [this] { applyAppearance(); });
            break;
        default:
            break;
    }
}

void AppController::startModel() {
    const Preferences& prefs = services_.prefs;
    services_.model.start(prefs.get(keys::workerDirectory), modelID(prefs.get(keys::model)));
}

void AppController::permissionGranted() {
    const std::string text =
        OvraText::f("Accessibility access is on. You're ready: press %@ in any app.",
                    {services_.prefs.hotkey().label});
    if (services_.showPermissionNote) {
        services_.showPermissionNote(text);
    }
    if (services_.showDashboard) {
        services_.showDashboard(OvraPane::home);
    }
    if (startup_.windows) {
        startup_.windows->announce(text);
    }
}

void AppController::clickedAt(Point point) {
    OwnWindows* windows = startup_.windows;
    // A click inside any window of the app (the tray island, the on-screen button) keeps the
    // settings window where it is; a click anywhere else sends it behind the app clicked into.
    if (!windows || !windows->settingsShown() || windows->contains(point)) {
        return;
    }
    windows->sendBack();
}

void AppController::applyAppearance() {
    if (!startup_.windows) {
        return;
    }
    switch (services_.prefs.get(keys::appearance)) {
        case OvraAppearance::system:
            startup_.windows->applyAppearance(std::nullopt);
            break;
        case OvraAppearance::light:
            startup_.windows->applyAppearance(false);
            break;
        case OvraAppearance::dark:
            startup_.windows->applyAppearance(true);
            break;
    }
}

void AppController::ovraButtonPressed() {
    if (!services_.prefs.flag("ovraButtonTipShown") && trusted() && !overlayVisible()) {
        if (services_.prefs.get(keys::flightTrail) && startup_.flyBubble) {
            startup_.flyBubble();
        }
        pendingTip_ = Tip{
            OvraText::t("Tip: click the bird in the system tray for Settings."),
            [&defaults = services_.prefs.defaults()] { defaults.set("ovraButtonTipShown", true); }};
    }
    toggle();
}

void AppController::birdSimplify() {
    if (!overlayVisible() && trusted() && !services_.prefs.flag("birdHintShown")) {
        pendingTip_ =
            Tip{OvraText::t("Tip: right-click the bird in the system tray for Settings."),
                [&defaults = services_.prefs.defaults()] { defaults.set("birdHintShown", true); }};
    }
    toggle();
}

}  // namespace ovra
