// Working inside the open overlay: scrolling the page, find, and auto-scan.

#include "app/controller/AppController.h"

namespace ovra {

// Scrolling the page under the overlay is not offered yet: the scroll keys and the scroll items
// say so with a beep.
void AppController::scroll(ScrollDirection, ScrollStep, const std::optional<std::string>&) {
    services_.beep();
}

void AppController::announceScroll(ScrollDirection, const FocusPlan&) {}

// Find is not offered yet: its key does nothing, and no key is left to a find field.
void AppController::startFind() {}

bool AppController::handleFindKey(const KeyInput&) {
    return false;
}

// Auto-scan is not offered yet.
void AppController::startScan() {}

void AppController::stopScan() {
    services_.scheduler.cancel(scanTimer_);
    scanTimer_ = 0;
    overlay_.setScanning(false);
}

}  // namespace ovra
