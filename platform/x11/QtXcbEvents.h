#pragma once

// The events Qt reads from its X connection, handed to the platform's own code on the main
// thread. Only platform/x11 includes this file.

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <functional>

#include "platform/x11/OwnWindows.h"

namespace ovra::x11 {

// Hands `handle` each event Qt reads from the X server, for as long as it lives; Qt still
// handles the event after it.
class EventWatch final : public Watch, public QAbstractNativeEventFilter {
  public:
    explicit EventWatch(std::function<void(const xcb_generic_event_t&)> handle)
        : handle_(std::move(handle)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~EventWatch() override {
        if (QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
    }
    EventWatch(const EventWatch&) = delete;
    EventWatch& operator=(const EventWatch&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type == "xcb_generic_event_t") {
            handle_(*static_cast<const xcb_generic_event_t*>(message));
        }
        return false;
    }

  private:
    std::function<void(const xcb_generic_event_t&)> handle_;
};

}  // namespace ovra::x11
