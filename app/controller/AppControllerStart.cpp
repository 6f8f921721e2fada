// Start-up: what the controller itself follows (the overlay's changes, the app last in front),
// before AppStartup sets everything else going; and the entry points that leave a one-time tip.

#include "app/controller/AppController.h"

namespace ovra {

void AppController::start(Startup startup) {
    if (starter_.started()) {
        return;
    }
    zoom_.setMagnifier(startup.magnifier);
    find_.watchQuery();
    overlayWatch_ = overlay_.subscribe([this](OverlayField field) {
        zoom_.overlayChanging();
        if (field == OverlayField::query) {
            find_.queryChanging();
        }
    });
    targets_.rememberFront();
    starter_.start(std::move(startup));
}

void AppController::stateChanged() {
    if (stateObserver_) {
        stateObserver_();
    }
}

void AppController::ovraButtonPressed() {
    starter_.buttonPressed(overlayVisible());
    toggle();
}

void AppController::birdSimplify() {
    starter_.birdSimplify(overlayVisible());
    toggle();
}

}  // namespace ovra
