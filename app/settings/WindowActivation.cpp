#include "app/settings/WindowActivation.h"

#include <QWindow>

#include "platform/x11/OwnWindows.h"

namespace ovra::WindowActivation {

void bringForward(QWindow& window, std::optional<std::uint32_t> eventTime) {
    const auto x11 = x11::OwnWindows::open();
    if (!x11 || !x11->bringForward(static_cast<x11::WindowId>(window.winId()), eventTime)) {
        window.requestActivate();
    }
}

}  // namespace ovra::WindowActivation
