// Putting the overlay on screen and taking it away again.

#include "app/controller/AppController.h"
#include "core/OvraText.h"

namespace ovra {

OverlayHost::KeyHandler AppController::keyForwarder() {
    return [this, alive = std::weak_ptr<int>(alive_)](const KeyInput& key) {
        return !alive.expired() && handleKey(key);
    };
}

void AppController::presentPanel(std::optional<Rect> frame) {
    if (!panel_) {
        const std::weak_ptr<int> alive = alive_;
        OverlayCallbacks callbacks;
        callbacks.activate = [this, alive](const std::string& id) {
            if (!alive.expired()) {
                requestPress(id);
            }
        };
        callbacks.dismiss = [this, alive] {
            if (!alive.expired()) {
                dismiss();
            }
        };
        callbacks.keyboardTaken = [this, alive] {
            if (!alive.expired()) {
                keyboardTaken();
            }
        };
        panel_ = services_.makeOverlay(overlay_, std::move(callbacks));
    }
    // An overlay still fading after a press is shown anew, not kept: screen readers hear it
    // open as they do a fresh one, and the Escape after it then hands the keyboard back as a
    // plain one does (a screen reader that never heard it open takes the app's window coming
    // back for the window it already had, and says nothing).
    const bool fresh = panel_->isShown() && closeWork_ != 0;
    if (fresh) {
        panel_->orderOut();
    }
    const bool wasShown = panel_->isShown();
    // Replaces the handler that swallows keys while a close fades out.
    panel_->setKeyHandler(keyForwarder());
    panel_->present(frame);
    if (fresh) {
        panel_->refreshBackdrop();  // the page as the press left it, where one is painted
    }
    panel_->setInputTransparent(false);
    services_.scheduler.cancel(closeWork_);
    closeWork_ = 0;
    if (wasShown && overlay_.islandOpen()) {
        return;
    }
    // The view animates from closed to open when it sees the closed state first.
    overlay_.setIslandOpen(false);
    services_.scheduler.cancel(openWork_);
    openWork_ = later(0, [this] {
        openWork_ = 0;
        overlay_.setIslandOpen(true);
    });
}

void AppController::dismiss() {
    close(true);
}

void AppController::keyboardTaken() {
    // An overlay closing has let the keyboard go already: before a press the app in front is
    // brought forward while the overlay fades.
    if (!overlayVisible() || closeWork_ != 0) {
        return;
    }
    const std::string text =
        OvraText::t("Another window took the keyboard, so Ovra closed. Nothing was pressed.");
    if (services_.log) {
        services_.log("Ovra message: " + text);
    }
    close(false);
    // After the close, which silences what the overlay was saying.
    announce(text);
}

void AppController::close(bool handBack) {
    heldKeys_.clear();
    zoom_.forget();
    services_.voice.stop();
    cancelRun();
    scroll_.closed();
    scan_.stop();
    shown_.snapshot.reset();
    find_.closed();
    watch_.stop();
    overlay_.setStale(false);
    std::optional<TargetApp> target = handBack ? requestTarget_ : std::nullopt;
    if (target && target->pid == services_.workspace.ownPid()) {
        target.reset();
    }
    if (panel_) {
        // From here until the next presentation the panel lets pointer input through (a press
        // clicks the app below while the overlay fades) and swallows every key: keys typed while
        // it fades were meant for the overlay, so they neither act nor reach the app, which gets
        // the keyboard back once the overlay has gone.
        panel_->setInputTransparent(true);
        panel_->setKeyHandler([](const KeyInput&) { return true; });
    }
    services_.scheduler.cancel(openWork_);
    openWork_ = 0;
    overlay_.setIslandOpen(false);
    if (!panel_) {
        return;
    }
    // A close within the hide delay of another replaces its hide, so no older hide can take
    // down an overlay shown again meanwhile.
    services_.scheduler.cancel(closeWork_);
    requestTarget_.reset();
    closeWork_ = later(kHideDelay, [this, target] {
        closeWork_ = 0;
        // Another app's window that took the keyboard while the overlay faded (one the user
        // switched to, a dialog that opened) keeps it. Asked before the overlay goes, which lets
        // the window manager pick a window of its own; without one the overlay is in front.
        const std::optional<TargetApp> front =
            target ? services_.workspace.frontmost() : std::nullopt;
        panel_->orderOut();
        panel_->setKeyHandler(keyForwarder());
        if (target && (!front || front->window == target->window ||
                       front->pid == services_.workspace.ownPid())) {
            services_.workspace.activate(*target);
        }
    });
}

}  // namespace ovra
