#pragma once

// The tray item: the bird in the desktop's system tray (a StatusNotifierItem where a host
// listens on the session bus, an XEmbed icon otherwise). A left click and a right click both
// come to `onClick`, the right one (or one with Ctrl held) as secondary; no context menu is set
// on the icon, so the island controller decides what each click does. Neither tray protocol
// shows a text beside the icon, so the "menuBarName" setting can only change the tooltip.
//
// Qt's icon asks the desktop's StatusNotifierItem watcher with calls that hold the main thread
// until they are answered, so the icon is made only once that watcher has answered a question
// asked without waiting (or the bus has said none runs); while it stays silent it is asked
// again every few seconds.

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>

#include "app/shell/HomeIslandController.h"
#include "platform/desktopstatus/TrayHost.h"
#include "platform/scheduler/Scheduler.h"

class QMenu;

namespace ovra {

class SystemTray final : public QObject, public TrayItem {
    Q_OBJECT
  public:
    // `secondary`, and the screen the icon shows on.
    using ClickHandler = std::function<void(bool secondary, const IslandScreen& screen)>;

    // Whether the tray's watcher answers (desktopstatus::askTrayHost on the session bus).
    using AskTrayHost =
        std::function<void(QObject& context, std::function<void(desktopstatus::TrayHost)>)>;
    static constexpr double kAskAgainSeconds = 5;

    SystemTray(ClickHandler onClick, Scheduler& scheduler, AskTrayHost ask = {});
    ~SystemTray() override;

    // Makes and shows the icon once the tray can be asked. `shown` runs once, on a later turn,
    // with whether a tray shows the icon; without one the icon appears when a tray starts.
    void show(std::function<void(bool inTray)> shown);

    void showName(bool show) override;
    void popUpMenu(const std::vector<MenuEntry>& entries,
                   std::function<void(const std::string& id)> picked) override;

    // The icon, once made.
    QSystemTrayIcon* icon() { return icon_.get(); }
    // Where the icon shows on the screen, when the tray tells (an XEmbed tray does, a
    // StatusNotifierItem host does not).
    std::optional<Rect> iconFrame() const;

  private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void askHost();
    void makeIcon();
    void tell(bool inTray);
    QString toolTip() const;

    ClickHandler onClick_;
    Scheduler& scheduler_;
    AskTrayHost ask_;
    std::function<void(bool)> shown_;
    Scheduler::Token askAgain_ = 0;
    bool nameShown_ = false;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QMenu> menu_;
};

}  // namespace ovra
