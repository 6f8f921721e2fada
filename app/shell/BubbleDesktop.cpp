#include "app/shell/BubbleDesktop.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <array>
#include <cstdlib>
#include <string_view>

#include "app/shell/BubbleWindow.h"
#include "app/shell/FlightTrailWindow.h"
#include "app/shell/IslandWindow.h"

namespace ovra {

namespace {

xcb_connection_t* xConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, std::string_view name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr);
    const xcb_atom_t found = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return found;
}

// Calls back when screens change or the root window says another desktop shows.
class DesktopWatch final : public QObject, public QAbstractNativeEventFilter {
  public:
    DesktopWatch(std::function<void()> screensChanged, std::function<void()> desktopSwitched)
        : screensChanged_(std::move(screensChanged)), desktopSwitched_(std::move(desktopSwitched)) {
        auto* app = qGuiApp;
        connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
            follow(screen);
            screensChanged_();
        });
        connect(app, &QGuiApplication::screenRemoved, this, [this] { screensChanged_(); });
        connect(app, &QGuiApplication::primaryScreenChanged, this, [this] { screensChanged_(); });
        for (QScreen* screen : QGuiApplication::screens()) {
            follow(screen);
        }
        if (xcb_connection_t* connection = xConnection()) {
            currentDesktop_ = atom(connection, "_NET_CURRENT_DESKTOP");
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
    }
    ~DesktopWatch() override {
        if (currentDesktop_ != XCB_NONE && QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
            reinterpret_cast<const xcb_property_notify_event_t*>(event)->atom == currentDesktop_) {
            desktopSwitched_();
        }
        return false;
    }

  private:
    void follow(QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, [this] { screensChanged_(); });
        connect(screen, &QScreen::availableGeometryChanged, this, [this] { screensChanged_(); });
    }

    std::function<void()> screensChanged_;
    std::function<void()> desktopSwitched_;
    xcb_atom_t currentDesktop_ = XCB_NONE;
};

}  // namespace

void keepOnEveryDesktop(QWidget& window) {
    xcb_connection_t* connection = xConnection();
    if (!connection) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    const std::array<xcb_atom_t, 4> states{atom(connection, "_NET_WM_STATE_ABOVE"),
                                           atom(connection, "_NET_WM_STATE_STICKY"),
                                           atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                           atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    // Qt adds its own states to these when it maps the window.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, static_cast<std::uint32_t>(states.size()),
                        states.data());
    const std::uint32_t everyDesktop = 0xFFFFFFFF;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom(connection, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &everyDesktop);
    xcb_flush(connection);
}

BubbleController::Services desktopBubbleServices(Scheduler& scheduler,
                                                 std::function<bool()> reduceMotion,
                                                 std::function<bool()> dark) {
    Scheduler* clock = &scheduler;
    return {
        scheduler,
        [] { return IslandWindow::islandScreens(); },
        [](std::function<void()> clicked) -> std::unique_ptr<BubblePanel> {
            return std::make_unique<BubbleWindow>(std::move(clicked));
        },
        [clock, dark]() -> std::unique_ptr<TrailPanel> {
            return std::make_unique<FlightTrailWindow>(*clock, dark);
        },
        std::move(reduceMotion),
        [](std::function<void()> screensChanged,
           std::function<void()> desktopSwitched) -> std::shared_ptr<void> {
            if (!qGuiApp) {
                return nullptr;
            }
            return std::make_shared<DesktopWatch>(std::move(screensChanged),
                                                  std::move(desktopSwitched));
        },
    };
}

}  // namespace ovra
