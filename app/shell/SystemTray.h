#pragma once

// The tray item: the bird in the desktop's system tray (a StatusNotifierItem where a host
// listens on the session bus, an XEmbed icon otherwise). A left click and a right click both
// come to `onClick`, the right one (or one with Ctrl held) as secondary; no context menu is set
// on the icon, so the island controller decides what each click does. Neither tray protocol
// shows a text beside the icon, so the "menuBarName" setting can only change the tooltip.

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <optional>

#include "app/shell/HomeIslandController.h"

class QMenu;

namespace ovra {

class SystemTray final : public QObject, public TrayItem {
    Q_OBJECT
  public:
    // `secondary`, and the screen the icon shows on.
    using ClickHandler = std::function<void(bool secondary, const IslandScreen& screen)>;

    explicit SystemTray(ClickHandler onClick);
    ~SystemTray() override;

    // Shows the icon; false when no tray is there (yet: the icon appears when one starts).
    bool show();
    bool trayAvailable() const;

    void showName(bool show) override;
    void popUpMenu(const std::vector<MenuEntry>& entries,
                   std::function<void(const std::string& id)> picked) override;

    QSystemTrayIcon& icon() { return *icon_; }
    // Where the icon shows on the screen, when the tray tells (an XEmbed tray does, a
    // StatusNotifierItem host does not).
    std::optional<Rect> iconFrame() const;

  private:
    void activated(QSystemTrayIcon::ActivationReason reason);

    ClickHandler onClick_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QMenu> menu_;
};

}  // namespace ovra
