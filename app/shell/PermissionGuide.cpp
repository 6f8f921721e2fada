#include "app/shell/PermissionGuide.h"

#include "core/OvraText.h"

namespace ovra {

PermissionGuide::PermissionGuide(Services services) : services_(std::move(services)) {
    trusted_ = read();
}

PermissionGuide::~PermissionGuide() {
    services_.scheduler.cancel(poll_);
}

bool PermissionGuide::read() const {
    return !services_.pretendUntrusted && services_.readTrust && services_.readTrust();
}

PermissionGuide::ListenerId PermissionGuide::onChange(std::function<void()> listener) {
    return listeners_.add(ChangePhase::didChange,
                          [listener = std::move(listener)](const int&) { listener(); });
}

void PermissionGuide::changed() {
    listeners_.notify(ChangePhase::didChange, 0);
}

void PermissionGuide::start() {
    const bool now = read();
    if (now != trusted_) {
        trusted_ = now;
        changed();
    }
    services_.scheduler.cancel(poll_);
    poll_ = services_.scheduler.every(kPollInterval, [this] { poll(); });
}

void PermissionGuide::poll() {
    const bool now = read();
    if (now == trusted_) {
        return;
    }
    lost_ = lost_ || trusted_;
    trusted_ = now;
    if (now) {
        status_.reset();
        statusIsProblem_ = false;
        const std::string label = services_.hotkeyLabel ? services_.hotkeyLabel() : std::string();
        const std::string text =
            lost_ ? OvraText::f(
                        "Accessibility access is on again. Apps that were open before it "
                        "went may need a restart before Ovra can read them. Press %@ in "
                        "any app.",
                        {label})
                  : OvraText::f("Accessibility access is on. You're ready: press %@ in any app.",
                                {label});
        if (services_.granted) {
            services_.granted(text);
        }
        if (services_.announce) {
            services_.announce(text);
        }
    }
    changed();
}

void PermissionGuide::turnOn() {
    services_.accessibility.turnOn(
        [this, alive = std::weak_ptr<int>(alive_)](std::optional<std::string> notSwitched) {
            if (!alive.expired()) {
                switched(notSwitched);
            }
        });
}

void PermissionGuide::switched(const std::optional<std::string>& notSwitched) {
    const std::optional<std::string> notOpened = services_.settings.open(kSettingsPage);
    const std::string command = services_.accessibility.byHandCommand();
    if (!notOpened) {
        // The settings app is coming up: our windows step back for it.
        if (services_.sendWindowsBack) {
            services_.sendWindowsBack();
        }
        statusIsProblem_ = notSwitched.has_value();
        status_ = notSwitched ? OvraText::f(
                                    "Accessibility could not be turned on (%@). To turn it on by "
                                    "hand, run “%@” in a terminal.",
                                    {*notSwitched, command})
                              : OvraText::t(
                                    "Accessibility is on. Restart the apps that were already "
                                    "open if Ovra cannot read them.");
    } else {
        statusIsProblem_ = true;
        const std::string opened = OvraText::f(
            "The desktop's accessibility settings could not be opened (%@).", {*notOpened});
        const std::string state =
            notSwitched ? OvraText::f("Accessibility is still off (%@).", {*notSwitched})
                        : OvraText::t("Accessibility is on for now.");
        status_ = opened + " " + state + " " +
                  OvraText::f(
                      "To turn it on by hand, run “%@” in a terminal, then restart the "
                      "apps you want Ovra to read.",
                      {command});
    }
    // Our own windows stay where they are when nothing opened, so the line is seen and heard.
    if (statusIsProblem_ && services_.announce) {
        services_.announce(*status_);
    }
    changed();
}

PermissionGuide::Texts PermissionGuide::texts() const {
    // Measured with GTK 3, Firefox ESR and Chromium: accessibility switched on reaches GTK and
    // Firefox at once; a restarted accessibility bus is joined by none of them until restarted.
    const std::string restart =
        lost_ ? OvraText::t(
                    "Restart the apps that were already open: after the desktop's "
                    "accessibility service stops or restarts, GTK apps, Firefox and "
                    "Chromium alike join it again only when they start.")
              : OvraText::t(
                    "Restart Chromium, Chrome and Qt 6 apps that were already open: they "
                    "look for accessibility only when they start. Firefox and GTK apps "
                    "follow at once.");
    return {
        OvraText::t("Murmlark Ovra"),
        OvraText::t("Quiets cluttered windows and lights up what matters."),
        OvraText::t("To read the buttons in other apps, Ovra needs the desktop's accessibility "
                    "support. Everything stays on this computer."),
        {OvraText::t("Click “Turn On Accessibility” below."), restart,
         OvraText::t("This window updates by itself.")},
        OvraText::t("Turn On Accessibility"),
        OvraText::f("By hand: %@", {services_.accessibility.byHandCommand()}),
    };
}

}  // namespace ovra
