#include "app/shell/BubbleDesktop.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/shell/BubbleWindow.h"
#include "app/shell/FlightTrailWindow.h"
#include "app/shell/IslandWindow.h"
#include "platform/x11/OwnWindows.h"

namespace ovra {

namespace {

// Calls back when screens change or the root window says another desktop shows.
class DesktopWatch final : public QObject {
  public:
    DesktopWatch(std::function<void()> screensChanged, std::function<void()> desktopSwitched)
        : screensChanged_(std::move(screensChanged)) {
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
        if (auto x11 = x11::OwnWindows::open()) {
            desktop_ = x11->watchCurrentDesktop(std::move(desktopSwitched));
        }
    }

  private:
    void follow(QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, [this] { screensChanged_(); });
        connect(screen, &QScreen::availableGeometryChanged, this, [this] { screensChanged_(); });
    }

    std::function<void()> screensChanged_;
    std::unique_ptr<x11::Watch> desktop_;
};

}  // namespace

void keepOnEveryDesktop(QWidget& window) {
    if (auto x11 = x11::OwnWindows::open()) {
        x11->keepOnEveryDesktop(static_cast<x11::WindowId>(window.winId()));
    }
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
