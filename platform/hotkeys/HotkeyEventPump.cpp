#include "platform/hotkeys/HotkeyEventPump.h"

#include <QSocketNotifier>
#include <QTimer>

#include "platform/hotkeys/X11HotkeyGrabber.h"

namespace ovra::hotkeys {

HotkeyEventPump::HotkeyEventPump(X11HotkeyGrabber& grabber, QObject* parent)
    : QObject(parent), grabber_(grabber) {
    notifier_ = new QSocketNotifier(grabber_.fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { grabber_.processEvents(); });
    // Events read along with a grab's replies are already queued; the socket will not say so.
    QTimer::singleShot(0, this, [this] { grabber_.processEvents(); });
}

}  // namespace ovra::hotkeys
