#pragma once

// Removes a widget that may still be on the call stack (a row whose own click rebuilt the pane):
// hidden now, deleted on the next turn of the event loop. Not deleteLater: a deferred delete
// posted while an event is being delivered before the main loop starts (the window's first
// showing) would wait for that nesting level forever.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace ovra {

inline void disposeLater(QObject* object) {
    if (auto* widget = qobject_cast<QWidget*>(object)) {
        widget->hide();
    }
    QTimer::singleShot(0, [doomed = QPointer<QObject>(object)] { delete doomed.data(); });
}

}  // namespace ovra
