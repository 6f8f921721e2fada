#include "app/overlay/DesktopDisplay.h"

#include "app/overlay/OverlayView.h"

namespace ovra {

OverlayEnvironment overlayEnvironment(const desktopstatus::DisplayPreferences& preferences) {
    return {.reduceMotion = preferences.reduceMotion,
            .reduceTransparency = preferences.reduceTransparency,
            .increasedContrast = preferences.increaseContrast};
}

FollowDesktopDisplay::FollowDesktopDisplay(OverlayView& view,
                                           desktopstatus::DisplayPreferencesSource& source)
    : view_(view), source_(source) {
    subscription_ =
        source_.subscribe([this](const desktopstatus::DisplayPreferences& now) { apply(now); });
    refresh();
}

FollowDesktopDisplay::~FollowDesktopDisplay() {
    source_.unsubscribe(subscription_);
}

void FollowDesktopDisplay::refresh() {
    apply(source_.current());
}

void FollowDesktopDisplay::apply(const desktopstatus::DisplayPreferences& preferences) {
    const OverlayEnvironment next = overlayEnvironment(preferences);
    const OverlayEnvironment& shown = view_.environment();
    if (next.reduceMotion != shown.reduceMotion ||
        next.reduceTransparency != shown.reduceTransparency ||
        next.increasedContrast != shown.increasedContrast) {
        view_.setEnvironment(next);
    }
}

}  // namespace ovra
