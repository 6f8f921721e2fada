#include "platform/hotkeys/HotkeyEventPump.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/hotkeys/X11HotkeyGrabber.h"

namespace ovra::hotkeys {

HotkeyEventPump::HotkeyEventPump(X11HotkeyGrabber& grabber, QObject* parent)
    : QObject(parent), grabber_(grabber) {
    notifier_ = new QSocketNotifier(grabber_.fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { grabber_.processEvents(); });
    // Events read along with a grab's replies are already queued, and the socket will not say
    // so: they are delivered before the loop next waits (a grab may come at any time: a layout
    // change, the find hotkey, a fallback).
    QTimer::singleShot(0, this, [this] { grabber_.processEvents(); });
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { grabber_.processQueuedEvents(); });
}

}  // namespace ovra::hotkeys
