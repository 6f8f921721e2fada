#include "app/controller/QtOverlayHost.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "app/overlay/IslandChromePainter.h"
#include "core/Monitors.h"

namespace ovra {

namespace {

// The screen holding `point` (root-window pixels), if any.
QScreen* screenAt(Point point) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (OverlayPanel::nativeFrame(*screen).contains(point)) {
            return screen;
        }
    }
    return nullptr;
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
    // A window across monitors is covered on every one it shows on. The overlay stands on the
    // screen holding the middle of what it covers, as the display server will have it.
    std::vector<Rect> screens;
    for (QScreen* each : QGuiApplication::screens()) {
        screens.push_back(OverlayPanel::nativeFrame(*each));
    }
    std::optional<Rect> area = frame ? OverlaySpace::coveredArea(*frame, screens) : std::nullopt;
    QScreen* screen = area ? screenAt(area->center()) : nullptr;
    if (!screen && frame) {
        screen = screenAt(frame->center());
    }
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen && !area) {
        area = OverlayPanel::nativeFrame(*screen);
    }
    if (screen) {
        model_.mapRect = OverlaySpace::mapping(*area, screen->devicePixelRatio());
        // The information panel stands on the monitor that shows the most of the window.
        const std::optional<Rect> most = frame ? Monitors::showing(*frame, screens) : std::nullopt;
        model_.monitors.clear();
        for (const Rect& each : screens) {
            if (each.intersects(*area)) {
                const bool first = most && each == *most;
                model_.monitors.insert(first ? model_.monitors.begin() : model_.monitors.end(),
                                       model_.mapRect(each));
            }
        }
        const IslandGeometry island = islandGeometry(*screen, options_.simulateNotch);
        model_.notchWidth = island.notchWidth;
        model_.topInset = island.topInset;
    }
    const std::optional<Rect> button = options_.buttonFrame ? options_.buttonFrame() : std::nullopt;
    model_.keepClear = button ? std::optional(model_.mapRect(*button)) : std::nullopt;
    if (display_) {
        display_->refresh();
    }
    panel_.present(screen, area, frame);
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
