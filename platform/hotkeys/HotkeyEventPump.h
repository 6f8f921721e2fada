#pragma once

// Reads the X hotkey connection from the main thread's event loop: presses reach the grabber's
// handler on the main thread, in the turn the server's events arrive.

#include <QObject>

class QSocketNotifier;

namespace ovra::hotkeys {

class X11HotkeyGrabber;

class HotkeyEventPump final : public QObject {
    Q_OBJECT

  public:
    // The grabber must outlive the pump.
    explicit HotkeyEventPump(X11HotkeyGrabber& grabber, QObject* parent = nullptr);

  private:
    X11HotkeyGrabber& grabber_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ovra::hotkeys
