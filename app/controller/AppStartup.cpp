#include "app/controller/AppStartup.h"

#include "core/OvraText.h"

namespace ovra {

namespace {

std::string modelID(VornModel model) {
    return model == VornModel::multilingual ? "murmlark-ovra/multi" : "murmlark-ovra/en";
}

}  // namespace

AppStartup::AppStartup(Host& host, Services services, bool trusted)
    : host_(host),
      services_(std::move(services)),
      trust_(services_.scheduler, trusted),
      hotkeys_(services_.prefs, [this] { host_.stateChanged(); }) {}

AppStartup::~AppStartup() {
    if (prefsWatch_) {
        services_.prefs.removeListener(*prefsWatch_);
    }
}

void AppStartup::soon(std::function<void()> work) {
    services_.scheduler.after(0, [alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
        if (!alive.expired()) {
            work();
        }
    });
}

void AppStartup::start(Hooks hooks) {
    if (started_) {
        return;
    }
    started_ = true;
    hooks_ = std::move(hooks);
    // A copy that does not yet know whether another runs shows itself but writes nothing.
    const bool held = static_cast<bool>(hooks_.whenSole);
    if (!held && hooks_.startUpdater) {
        hooks_.startUpdater();
    }
    if (hooks_.installHome) {
        hooks_.installHome();
    }
    const std::weak_ptr<int> alive = alive_;
    if (hooks_.installBubble) {
        hooks_.installBubble(
            [this, alive](const Rect& button) -> std::optional<Point> {
                if (alive.expired() || !hooks_.menuBarLanding) {
                    return std::nullopt;
                }
                return hooks_.menuBarLanding(button);
            },
            [this, alive] {
                if (!alive.expired()) {
                    host_.ovraButtonPressed();
                }
            });
    }
    prefsWatch_ =
        services_.prefs.onChange([this](Preference preference) { preferenceChanged(preference); });
    hotkeys_.install(
        hooks_.hotkeys, hooks_.slashKeyCode, [this] { host_.toggle(); },
        [this] { host_.findShortcutPressed(); }, hooks_.letterKeyCode);
    if (!held) {
        startWriters();
    }
    if (hooks_.watchLayout) {
        hooks_.watchLayout([this, alive] {
            if (!alive.expired() && writers_) {
                hotkeys_.layoutChanged();
            }
        });
    }
    hadAccess_ = trust_.trusted();
    trust_.start(hooks_.checkTrust, hooks_.pretendUntrusted, [this](bool announce) {
        accessLost_ = accessLost_ || (hadAccess_ && !trust_.trusted());
        hadAccess_ = hadAccess_ || trust_.trusted();
        host_.stateChanged();
        if (announce) {
            permissionGranted();
        }
    });
    if (hooks_.showDashboard) {
        soon([this] {
            if (services_.showDashboard) {
                services_.showDashboard(OvraPane::home);
            }
        });
    }
    if (hooks_.watchClicks) {
        hooks_.watchClicks([this, alive](Point at) {
            if (!alive.expired()) {
                clickedAt(at);
            }
        });
    }
    applyAppearance();
    trust_.keepAsking();
    if (held) {
        hooks_.whenSole([this, alive] {
            if (alive.expired() || writers_) {
                return;
            }
            if (hooks_.startUpdater) {
                hooks_.startUpdater();
            }
            startWriters();
        });
    }
}

void AppStartup::startWriters() {
    writers_ = true;
    hotkeys_.registerMain();
    hotkeys_.registerFind();
    if (services_.prefs.get(keys::useModel)) {
        startModel();
    }
}

void AppStartup::preferenceChanged(Preference preference) {
    switch (preference) {
        case Preference::showBubble:
        case Preference::bubblePlace:
        case Preference::bubbleSize:
        case Preference::flightTrail:
            soon([this] {
                if (hooks_.refreshBubble) {
                    hooks_.refreshBubble();
                }
            });
            break;
        case Preference::hotkeyID:
            if (hotkeys_.userPicked() && writers_) {
                soon([this] { hotkeys_.registerMain(); });
            }
            break;
        case Preference::model:
            if (!writers_) {
                break;  // the model starts with the writers, on the setting of that moment
            }
            soon([this] {
                services_.model.stop();
                startModel();
            });
            break;
        case Preference::findShortcut:
            if (writers_) {
                soon([this] { hotkeys_.registerFind(); });
            }
            break;
        case Preference::appearance:
            soon([this] { applyAppearance(); });
            break;
        default:
            break;
    }
}

void AppStartup::startModel() {
    const Preferences& prefs = services_.prefs;
    services_.model.start(prefs.get(keys::workerDirectory), modelID(prefs.get(keys::model)));
}

void AppStartup::permissionGranted() {
    // Apps that were open do not join a restarted accessibility bus by themselves.
    const std::string text =
        accessLost_ ? OvraText::f(
                          "Accessibility access is on again. Apps that were open before it went "
                          "may need a restart before Ovra can read them. Press %@ in any app.",
                          {services_.prefs.hotkey().label})
                    : OvraText::f("Accessibility access is on. You're ready: press %@ in any app.",
                                  {services_.prefs.hotkey().label});
    if (services_.showPermissionNote) {
        services_.showPermissionNote(text);
    }
    if (services_.showDashboard) {
        services_.showDashboard(OvraPane::home);
    }
    if (hooks_.windows) {
        hooks_.windows->announce(text);
    }
}

void AppStartup::otherAppCameForward() {
    if (!started_) {
        return;
    }
    if (hooks_.windows && hooks_.windows->settingsShown()) {
        hooks_.windows->sendBack();
    }
    if (hooks_.otherAppActivated) {
        hooks_.otherAppActivated();
    }
}

void AppStartup::clickedAt(Point point) {
    OwnWindows* windows = hooks_.windows;
    // A click inside any window of the app (the tray island, the on-screen button) keeps the
    // settings window where it is; a click anywhere else sends it behind the app clicked into.
    if (!windows || !windows->settingsShown() || windows->contains(point)) {
        return;
    }
    windows->sendBack();
}

void AppStartup::applyAppearance() {
    if (!hooks_.windows) {
        return;
    }
    switch (services_.prefs.get(keys::appearance)) {
        case OvraAppearance::system:
            hooks_.windows->applyAppearance(std::nullopt);
            break;
        case OvraAppearance::light:
            hooks_.windows->applyAppearance(false);
            break;
        case OvraAppearance::dark:
            hooks_.windows->applyAppearance(true);
            break;
    }
}

void AppStartup::buttonPressed(bool overlayShown) {
    if (!services_.prefs.flag("ovraButtonTipShown") && trust_.trusted() && !overlayShown) {
        if (services_.prefs.get(keys::flightTrail) && hooks_.flyBubble) {
            hooks_.flyBubble();
        }
        tip_ = Tip{
            OvraText::t("Tip: click the bird in the system tray for Settings."),
            [&defaults = services_.prefs.defaults()] { defaults.set("ovraButtonTipShown", true); }};
    }
}

void AppStartup::birdSimplify(bool overlayShown) {
    if (!overlayShown && trust_.trusted() && !services_.prefs.flag("birdHintShown")) {
        tip_ =
            Tip{OvraText::t("Tip: right-click the bird in the system tray for Settings."),
                [&defaults = services_.prefs.defaults()] { defaults.set("birdHintShown", true); }};
    }
}

std::optional<std::string> AppStartup::takeTip() {
    if (!tip_) {
        return std::nullopt;
    }
    Tip tip = std::move(*tip_);
    tip_.reset();
    if (tip.markShown) {
        tip.markShown();
    }
    return tip.text;
}

}  // namespace ovra
