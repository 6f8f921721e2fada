#include "app/controller/QtOverlayHost.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "app/overlay/IslandChromePainter.h"

namespace ovra {

namespace {

// The screen holding the middle of `frame` (root-window pixels); the primary screen otherwise.
QScreen* screenFor(const std::optional<Rect>& frame) {
    if (frame) {
        const Point middle = frame->center();
        for (QScreen* screen : QGuiApplication::screens()) {
            if (OverlayPanel::nativeFrame(*screen).contains(middle)) {
                return screen;
            }
        }
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace

QtOverlayHost::QtOverlayHost(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                             OverlayCallbacks callbacks, Options options)
    : model_(model),
      pointer_(pointer),
      options_(options),
      panel_(model, scheduler, pointer, std::move(callbacks.activate), std::move(callbacks.dismiss),
             options.keyboard),
      announcer_(panel_) {
    if (options.display != nullptr) {
        display_.emplace(panel_.view(), *options.display);
    }
    if (callbacks.keyboardTaken) {
        QObject::connect(&panel_, &OverlayPanel::keyboardTaken, &panel_,
                         std::move(callbacks.keyboardTaken));
    }
}

QtOverlayHost::~QtOverlayHost() = default;

void QtOverlayHost::present(std::optional<Rect> frame) {
    QScreen* screen = screenFor(frame);
    if (screen) {
        model_.mapRect = OverlayPanel::mapping(*screen);
        const IslandGeometry island = islandGeometry(*screen, options_.simulateNotch);
        model_.notchWidth = island.notchWidth;
        model_.topInset = island.topInset;
    }
    const std::optional<Rect> button = options_.buttonFrame ? options_.buttonFrame() : std::nullopt;
    model_.keepClear = button ? std::optional(model_.mapRect(*button)) : std::nullopt;
    if (display_) {
        display_->refresh();
    }
    panel_.present(screen);
}

void QtOverlayHost::setKeyHandler(KeyHandler handler) {
    panel_.setKeyHandler([this, handler = std::move(handler)](const KeyInput& key) {
        const QPoint at = QCursor::pos();
        pointer_.record({static_cast<double>(at.x()), static_cast<double>(at.y())});
        return handler && handler(key);
    });
}

void QtOverlayHost::announce(std::string_view text) {
    announcer_.announce(text, announcer::AnnouncementPriority::high);
}

void QtOverlayHost::sendEditCommand(EditCommand command) {
    switch (command) {
        case EditCommand::paste:
            panel_.sendEditAction(EditAction::paste);
            break;
        case EditCommand::copy:
            panel_.sendEditAction(EditAction::copy);
            break;
        case EditCommand::cut:
            panel_.sendEditAction(EditAction::cut);
            break;
        case EditCommand::selectAll:
            panel_.sendEditAction(EditAction::selectAll);
            break;
        case EditCommand::undo:
            panel_.sendEditAction(EditAction::undo);
            break;
        case EditCommand::redo:
            panel_.sendEditAction(EditAction::redo);
            break;
    }
}

OverlayHostFactory qtOverlayHostFactory(Scheduler& scheduler, PointerIntent& pointer,
                                        QtOverlayHost::Options options) {
    return [&scheduler, &pointer, options](OverlayModel& model, OverlayCallbacks callbacks) {
        return std::make_unique<QtOverlayHost>(model, scheduler, pointer, std::move(callbacks),
                                               options);
    };
}

}  // namespace ovra
